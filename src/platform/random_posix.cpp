#include "platform/random.h"

#include <cerrno>
#include <sys/random.h>

namespace vlrp11 {

std::uint32_t system_random(std::uint8_t* buffer, std::size_t length) noexcept
{
    while (length > 0) {
        ssize_t got = getrandom(buffer, length, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return RANDOM_FAILED;
        }
        buffer += got;
        length -= static_cast<std::size_t>(got);
    }
    return 0;
}

}  // namespace vlrp11
