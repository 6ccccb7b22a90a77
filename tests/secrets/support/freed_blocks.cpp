#include "support/freed_blocks.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

namespace vlrp11::testing {
namespace {

// Guards the active watch: blocks are freed on the simulator's server threads too.
std::mutex watch_mutex;
FreedBlockWatch* active_watch = nullptr;

}  // namespace

FreedBlockWatch::FreedBlockWatch(std::vector<Secret> secrets) : secrets_(std::move(secrets))
{
    std::lock_guard lock(watch_mutex);
    active_watch = this;
}

FreedBlockWatch::~FreedBlockWatch()
{
    std::lock_guard lock(watch_mutex);
    active_watch = nullptr;
}

void FreedBlockWatch::watch(const void* block, const char* name)
{
    std::lock_guard lock(watch_mutex);
    if (block != nullptr && count_ < std::size(watched_))
        watched_[count_++] = {block, name, false, -1};
}

bool FreedBlockWatch::freed(const void* block) const
{
    std::lock_guard lock(watch_mutex);
    for (unsigned i = 0; i < count_; ++i)
        if (watched_[i].block == block)
            return watched_[i].freed;
    return false;
}

void inspect_freed_block(const void* block, std::size_t size) noexcept
{
    std::lock_guard lock(watch_mutex);
    if (active_watch != nullptr)
        active_watch->inspect(block, size);
}

std::vector<std::string> FreedBlockWatch::findings() const
{
    // Copied under the lock, described outside it: building strings frees blocks.
    Watched copy[std::size(watched_)];
    unsigned count = 0;
    {
        std::lock_guard lock(watch_mutex);
        std::copy(watched_, watched_ + count_, copy);
        count = count_;
    }
    std::vector<std::string> found;
    for (unsigned i = 0; i < count; ++i)
        if (copy[i].secretFound >= 0)
            found.push_back(std::string(copy[i].name) + " holds " + secrets_[copy[i].secretFound].name);
    return found;
}

void FreedBlockWatch::inspect(const void* block, std::size_t size) noexcept
{
    for (unsigned i = 0; i < count_; ++i) {
        Watched& entry = watched_[i];
        if (entry.block != block || entry.freed)
            continue;
        entry.freed = true;
        const auto* bytes = static_cast<const std::uint8_t*>(block);
        for (std::size_t s = 0; s < secrets_.size() && entry.secretFound < 0; ++s)
            if (std::search(bytes, bytes + size, secrets_[s].bytes.begin(), secrets_[s].bytes.end()) != bytes + size)
                entry.secretFound = static_cast<int>(s);
    }
}

}  // namespace vlrp11::testing
