#include "crypto/sha512.h"

#include <bit>
#include <cstring>

#include "crypto/block_buffer.h"
#include "crypto/byte_order.h"
#include "crypto/cpu_support.h"
#include "crypto/sha512_rounds.h"
#include "crypto/sha_compress.h"
#include "platform/wipe.h"

namespace vlrp11 {

namespace {

using sha512_rounds::round;
using sha512_rounds::round_constants;

constexpr std::uint64_t initial_384[8] = {
    0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17, 0x152fecd8f70e5939,
    0x67332667ffc00b31, 0x8eb44a8768581511, 0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4,
};
constexpr std::uint64_t initial_512[8] = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179,
};

inline std::uint64_t next_word(std::uint64_t w[16], int j)
{
    const std::uint64_t w15 = w[(j + 1) & 15];
    const std::uint64_t w2 = w[(j + 14) & 15];
    const std::uint64_t s0 = std::rotr(w15, 1) ^ std::rotr(w15, 8) ^ (w15 >> 7);
    const std::uint64_t s1 = std::rotr(w2, 19) ^ std::rotr(w2, 61) ^ (w2 >> 6);
    w[j] += s0 + w[(j + 9) & 15] + s1;
    return w[j];
}

// Sixteen rounds over the working variables v, with the message words already in w.
inline void sixteen_rounds(std::uint64_t v[8], std::uint64_t w[16], const std::uint64_t* k, bool schedule,
                           std::uint64_t& b_xor_c)
{
#pragma GCC unroll 16
    for (int j = 0; j < 16; ++j) {
        const std::uint64_t word = schedule ? next_word(w, j) : w[j];
        round(v[(0 - j) & 7], v[(1 - j) & 7], v[(3 - j) & 7], v[(4 - j) & 7], v[(5 - j) & 7], v[(6 - j) & 7],
              v[(7 - j) & 7], k[j] + word, b_xor_c);
    }
}

[[gnu::always_inline]] inline void compress_blocks(std::uint64_t state[8], const std::uint8_t* blocks,
                                                   std::size_t count) noexcept
{
    for (; count > 0; --count, blocks += 128) {
        std::uint64_t w[16];
        for (int j = 0; j < 16; ++j)
            w[j] = load_be64(blocks + 8 * j);
        std::uint64_t v[8];
        std::memcpy(v, state, sizeof v);
        std::uint64_t b_xor_c = v[1] ^ v[2];
        sixteen_rounds(v, w, round_constants, false, b_xor_c);
        for (int t = 16; t < 80; t += 16)
            sixteen_rounds(v, w, round_constants + t, true, b_xor_c);
        for (int i = 0; i < 8; ++i)
            state[i] += v[i];
    }
}

void compress_baseline(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept
{
    compress_blocks(state, blocks, count);
}

// The same C++ compiled with the three-operand rotate, which spares a register copy in most
// of the rotations of a round.
[[gnu::target("bmi,bmi2")]] void compress_bmi(std::uint64_t state[8], const std::uint8_t* blocks,
                                              std::size_t count) noexcept
{
    compress_blocks(state, blocks, count);
}

void add_to_total(Sha512Context& ctx, std::size_t length) noexcept
{
    ctx.total[0] += length;
    if (ctx.total[0] < length)
        ++ctx.total[1];
}

}  // namespace

void sha512_compress_portable(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept
{
    static const auto chosen = bmi_supported() ? compress_bmi : compress_baseline;
    chosen(state, blocks, count);
}

void sha512_init(Sha512Context& ctx, bool is384) noexcept
{
    std::memset(&ctx, 0, sizeof ctx);
    std::memcpy(ctx.state, is384 ? initial_384 : initial_512, sizeof ctx.state);
    ctx.is384 = is384 ? 1 : 0;
}

// Fills a partial block first, then compresses whole blocks straight from the input and keeps
// the rest; the byte count tells how much of the block is pending.
void sha512_update(Sha512Context& ctx, const void* data, std::size_t length) noexcept
{
    const std::size_t pending = ctx.total[0] & 127;
    add_to_total(ctx, length);
    absorb_blocks(ctx.block, 128, pending, static_cast<const std::uint8_t*>(data), length,
                  [&](const std::uint8_t* blocks, std::size_t count) { sha512_compress(ctx.state, blocks, count); });
}

void sha512_final(Sha512Context& ctx, std::uint8_t* out) noexcept
{
    // The 128-bit bit length: the byte count shifted left by three across both words.
    std::uint8_t length_field[16];
    store_be64(length_field, ctx.total[1] << 3 | ctx.total[0] >> 61);
    store_be64(length_field + 8, ctx.total[0] << 3);
    pad_and_compress(ctx.block, 128, ctx.total[0] & 127, length_field, sizeof length_field,
                     [&](const std::uint8_t* blocks, std::size_t count) { sha512_compress(ctx.state, blocks, count); });

    const bool is384 = ctx.is384 != 0;
    const int words = is384 ? 6 : 8;
    for (int i = 0; i < words; ++i)
        store_be64(out + 8 * i, ctx.state[i]);
    secure_wipe(ctx);
    sha512_init(ctx, is384);
}

}  // namespace vlrp11
