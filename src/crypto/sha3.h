#pragma once

#include <cstddef>
#include <cstdint>

// SHA3-224/256/384/512 (FIPS 202). The context is a plain record owned by the caller, with no
// interior pointer: it may be copied to fork a running digest. Final writes 4 * capacity_words
// bytes, wipes the context and leaves it initialised for the same variant.

namespace vlrp11 {

struct Sha3Context {
    std::uint64_t pending;          // input bytes not yet forming a whole lane, little-endian
    std::uint64_t lanes[25];        // Keccak-f[1600] state
    std::uint8_t output[200];       // unused: final copies straight from the lanes
    std::uint16_t byte_index;       // bytes held in pending (0..7)
    std::uint16_t word_index;       // next lane to absorb into
    std::uint16_t capacity_words;   // 7, 8, 12, 16: output length in 32-bit words, capacity in lanes
};
static_assert(sizeof(Sha3Context) == 416);

// capacity_words is 7, 8, 12 or 16 for SHA3-224, -256, -384, -512. Any other value is stored
// as 0: the context then absorbs safely and final writes nothing.
void sha3_init(Sha3Context& ctx, unsigned capacity_words) noexcept;
void sha3_update(Sha3Context& ctx, const void* data, std::size_t length) noexcept;
void sha3_final(Sha3Context& ctx, std::uint8_t* out) noexcept;

}  // namespace vlrp11
