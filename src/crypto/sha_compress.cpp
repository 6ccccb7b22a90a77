#include "crypto/sha_compress.h"

#include <atomic>

#include "crypto/cpu_support.h"

namespace vlrp11 {

namespace {

constexpr std::uint8_t undecided = 2;

// Written without a lock: concurrent first calls all compute and store the same value.
std::atomic<std::uint8_t> chosen_path{undecided};

}  // namespace

ShaPath sha_path() noexcept
{
    std::uint8_t path = chosen_path.load(std::memory_order_relaxed);
    if (path == undecided) {
        path = static_cast<std::uint8_t>(sha_instructions_supported() ? ShaPath::instructions : ShaPath::portable);
        chosen_path.store(path, std::memory_order_relaxed);
    }
    return static_cast<ShaPath>(path);
}

void sha_set_path(ShaPath path) noexcept
{
    chosen_path.store(static_cast<std::uint8_t>(path), std::memory_order_relaxed);
}

}  // namespace vlrp11
