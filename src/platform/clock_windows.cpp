#include "platform/clock.h"

#include <windows.h>

namespace vlrp11 {

void sleep_ms(std::uint32_t milliseconds) noexcept
{
    Sleep(milliseconds);
}

std::uint64_t system_time_filetime() noexcept
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::int64_t system_time_unix_seconds() noexcept
{
    return static_cast<std::int64_t>(_time64(nullptr));
}

bool utc_now(std::tm& out) noexcept
{
    __time64_t now = _time64(nullptr);
    return _gmtime64_s(&out, &now) == 0;
}

}  // namespace vlrp11
