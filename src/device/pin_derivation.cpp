#include "device/pin_derivation.h"

#include "crypto/sha512.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {

void derive_pin(const std::uint8_t* pin, std::size_t pin_length, std::uint8_t a_out16[16],
                std::uint8_t b_out16[16]) noexcept
{
    constexpr int rounds = 10000;
    Sha512Context context;
    std::uint8_t digest[64];
    sha512_init(context, false);
    sha512_update(context, pin, pin_length);
    sha512_final(context, digest);
    for (int i = 1; i < rounds; ++i) {
        sha512_update(context, digest, sizeof digest);
        sha512_final(context, digest);
    }
    std::memcpy(a_out16, digest, 16);
    std::memcpy(b_out16, digest + 32, 16);
    secure_wipe(digest, sizeof digest);
    secure_wipe(context);
}

}  // namespace vlrp11
