#include "platform/wipe.h"

#include <windows.h>

namespace vlrp11 {

void secure_wipe(void* p, std::size_t n) noexcept
{
    SecureZeroMemory(p, n);
}

}  // namespace vlrp11
