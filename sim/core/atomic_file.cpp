#include "core/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace vlrp11::sim {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and reports whether the close (which may flush) succeeded.
    bool close()
    {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool fail(std::string& error, const std::string& what, const std::filesystem::path& path)
{
    error = what + " " + path.string() + ": " + std::strerror(errno);
    return false;
}

bool write_all(int fd, std::span<const std::uint8_t> content)
{
    while (!content.empty()) {
        ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content = content.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

bool write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> content,
                           std::string& error)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (file.get() < 0) {
        return fail(error, "cannot create", temporary);
    }
    if (!write_all(file.get(), content) || ::fsync(file.get()) != 0 || !file.close()) {
        fail(error, "cannot write", temporary);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        fail(error, "cannot rename to", path);
        ::unlink(temporary.c_str());
        return false;
    }
    std::filesystem::path directory = path.parent_path().empty() ? "." : path.parent_path();
    FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || ::fsync(dir.get()) != 0) {
        return fail(error, "cannot flush directory", directory);
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> read_whole_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> content((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return content;
}

}  // namespace vlrp11::sim
