#include "platform/random.h"

#include <windows.h>
#include <wincrypt.h>

namespace vlrp11 {

bool system_random(std::uint8_t* buffer, std::size_t length) noexcept
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return false;
    bool ok = true;
    while (ok && length > 0) {
        DWORD chunk = length > 0x40000000 ? 0x40000000 : static_cast<DWORD>(length);
        ok = CryptGenRandom(provider, chunk, buffer);
        buffer += chunk;
        length -= chunk;
    }
    CryptReleaseContext(provider, 0);
    return ok;
}

}  // namespace vlrp11
