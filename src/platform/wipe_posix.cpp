#include "platform/wipe.h"

#include <string.h>

namespace vlrp11 {

void secure_wipe(void* p, std::size_t n) noexcept
{
    explicit_bzero(p, n);
}

}  // namespace vlrp11
