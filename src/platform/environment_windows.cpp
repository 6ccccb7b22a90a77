#include <windows.h>

#include <new>

#include "platform/environment.h"

namespace vlrp11 {

// The process environment block, not the C runtime's copy of it, so that a variable the
// application set with SetEnvironmentVariable after start-up is seen too.
bool read_environment(const char* name, std::string& value) noexcept
{
    value.clear();
    try {
        DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
        while (size != 0) {
            value.resize(size);
            const DWORD written = GetEnvironmentVariableA(name, value.data(), size);
            if (written < size) {
                value.resize(written);
                return true;
            }
            size = written;  // the variable grew in between; try again with its new size
        }
    } catch (const std::bad_alloc&) {
    }
    value.clear();
    return false;
}

}  // namespace vlrp11
