#include "crypto/sha_compress.h"

#include <atomic>

#include "crypto/cpu_support.h"

namespace vlrp11 {

namespace {

constexpr std::uint8_t undecided = 2;

// Written without a lock: concurrent first calls all compute and store the same value.
std::atomic<std::uint8_t> chosen_path{undecided};
std::atomic<std::uint8_t> chosen_512_path{undecided};

ShaPath decided(std::atomic<std::uint8_t>& chosen, bool (*supported)() noexcept) noexcept
{
    std::uint8_t path = chosen.load(std::memory_order_relaxed);
    if (path == undecided) {
        path = static_cast<std::uint8_t>(supported() ? ShaPath::instructions : ShaPath::portable);
        chosen.store(path, std::memory_order_relaxed);
    }
    return static_cast<ShaPath>(path);
}

}  // namespace

ShaPath sha_path() noexcept
{
    return decided(chosen_path, sha_instructions_supported);
}

ShaPath sha512_path() noexcept
{
    return decided(chosen_512_path, sha512_instructions_supported);
}

bool sha512_instructions_supported() noexcept
{
    return avx2_supported() && bmi_supported();
}

void sha_set_path(ShaPath path) noexcept
{
    chosen_path.store(static_cast<std::uint8_t>(path), std::memory_order_relaxed);
}

void sha512_set_path(ShaPath path) noexcept
{
    chosen_512_path.store(static_cast<std::uint8_t>(path), std::memory_order_relaxed);
}

}  // namespace vlrp11
