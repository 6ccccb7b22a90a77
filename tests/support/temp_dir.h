#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace vlrp11::testing {

// A new empty directory of its own under the system's temporary directory, removed with
// everything in it when the object goes. Its name is random and created exclusively, so tests
// running at the same time never share one.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "vlrp11-test")
    {
        std::random_device random;
        std::error_code error;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, error))
                path_ = candidate;
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Empty when no directory could be made.
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace vlrp11::testing
