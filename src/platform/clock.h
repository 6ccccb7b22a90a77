#pragma once

#include <cstdint>
#include <ctime>

namespace vlrp11 {

// Blocks the calling thread for at least the given number of milliseconds.
void sleep_ms(std::uint32_t milliseconds) noexcept;

// Current UTC time as 100-nanosecond intervals since 1601-01-01 (the Windows FILETIME count).
std::uint64_t system_time_filetime() noexcept;

// Current UTC time as whole seconds since 1970-01-01.
std::int64_t system_time_unix_seconds() noexcept;

// Current UTC time broken down, as gmtime gives it; false when the clock cannot be read.
bool utc_now(std::tm& out) noexcept;

}  // namespace vlrp11
