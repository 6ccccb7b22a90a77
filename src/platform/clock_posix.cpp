#include "platform/clock.h"

#include <cerrno>
#include <time.h>

namespace vlrp11 {

void sleep_ms(std::uint32_t milliseconds) noexcept
{
    timespec rest{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

std::uint64_t system_time_filetime() noexcept
{
    constexpr std::uint64_t unix_epoch_in_filetime = 116444736000000000ULL;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return unix_epoch_in_filetime + static_cast<std::uint64_t>(now.tv_sec) * 10000000ULL +
           static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

std::int64_t system_time_unix_seconds() noexcept
{
    return static_cast<std::int64_t>(time(nullptr));
}

bool utc_now(std::tm& out) noexcept
{
    time_t now = time(nullptr);
    return gmtime_r(&now, &out) != nullptr;
}

}  // namespace vlrp11
