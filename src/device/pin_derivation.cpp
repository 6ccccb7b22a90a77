#include "device/pin_derivation.h"

#include "crypto/byte_order.h"
#include "crypto/sha512.h"
#include "crypto/sha_compress.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {

void derive_pin(const std::uint8_t* pin, std::size_t pin_length, std::uint8_t a_out16[16],
                std::uint8_t b_out16[16]) noexcept
{
    constexpr int rounds = 10000;
    constexpr std::size_t digest_bytes = 64;
    // Every round after the first hashes a 64-byte digest: one block whose padding and length
    // (512 bits) never change, so each round is one compression of that block from the initial
    // state, the digest written over the block's first half.
    Wiped<std::uint8_t[128]> block;
    Wiped<std::uint64_t[8]> state;
    Sha512Context context;
    sha512_init(context, false);
    sha512_update(context, pin, pin_length);
    sha512_final(context, block.value);  // leaves the context initialised: its state is the IV
    std::memset(block.value + digest_bytes, 0, sizeof block.value - digest_bytes);
    block.value[digest_bytes] = 0x80;
    block.value[126] = 0x02;
    for (int i = 1; i < rounds; ++i) {
        std::memcpy(state.value, context.state, sizeof state.value);
        sha512_compress(state.value, block.value, 1);
        for (int j = 0; j < 8; ++j)
            store_be64(block.value + 8 * j, state.value[j]);
    }
    std::memcpy(a_out16, block.value, 16);
    std::memcpy(b_out16, block.value + 32, 16);
    secure_wipe(context);
}

}  // namespace vlrp11
