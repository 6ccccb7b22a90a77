#include <cstdlib>
#include <new>

#include "platform/environment.h"

namespace vlrp11 {

bool read_environment(const char* name, std::string& value) noexcept
{
    value.clear();
    const char* const text = std::getenv(name);
    if (text == nullptr) {
        return false;
    }
    try {
        value = text;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace vlrp11
