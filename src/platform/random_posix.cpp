#include "platform/random.h"

#include <cerrno>
#include <sys/random.h>

namespace vlrp11 {

bool system_random(std::uint8_t* buffer, std::size_t length) noexcept
{
    while (length > 0) {
        ssize_t got = getrandom(buffer, length, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        buffer += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace vlrp11
