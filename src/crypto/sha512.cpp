#include "crypto/sha512.h"

#include <bit>
#include <cstring>

#include "crypto/block_buffer.h"
#include "crypto/byte_order.h"
#include "crypto/cpu_support.h"
#include "platform/wipe.h"

namespace vlrp11 {

namespace {

constexpr std::uint64_t initial_384[8] = {
    0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17, 0x152fecd8f70e5939,
    0x67332667ffc00b31, 0x8eb44a8768581511, 0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4,
};
constexpr std::uint64_t initial_512[8] = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179,
};

constexpr std::uint64_t round_constants[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

// One round with the eight working variables named by position; the caller rotates the names
// instead of moving values, so the compiler keeps everything in registers. Maj(a, b, c) is
// ((a ^ b) & (b ^ c)) ^ b, and this round's a ^ b is the next round's b ^ c.
inline void round(std::uint64_t a, std::uint64_t b, std::uint64_t& d, std::uint64_t e, std::uint64_t f,
                  std::uint64_t g, std::uint64_t& h, std::uint64_t k_plus_w, std::uint64_t& b_xor_c)
{
    const std::uint64_t t1 = h + k_plus_w + (std::rotr(e, 14) ^ std::rotr(e, 18) ^ std::rotr(e, 41)) + (((f ^ g) & e) ^ g);
    const std::uint64_t a_xor_b = a ^ b;
    const std::uint64_t t2 = (std::rotr(a, 28) ^ std::rotr(a, 34) ^ std::rotr(a, 39)) + ((a_xor_b & b_xor_c) ^ b);
    b_xor_c = a_xor_b;
    d += t1;
    h = t1 + t2;
}

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

void compress(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept
{
    static const auto chosen = bmi_supported() ? compress_bmi : compress_baseline;
    chosen(state, blocks, count);
}

void add_to_total(Sha512Context& ctx, std::size_t length) noexcept
{
    ctx.total[0] += length;
    if (ctx.total[0] < length)
        ++ctx.total[1];
}

}  // namespace

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
                  [&](const std::uint8_t* blocks, std::size_t count) { compress(ctx.state, blocks, count); });
}

void sha512_final(Sha512Context& ctx, std::uint8_t* out) noexcept
{
    // The 128-bit bit length: the byte count shifted left by three across both words.
    std::uint8_t length_field[16];
    store_be64(length_field, ctx.total[1] << 3 | ctx.total[0] >> 61);
    store_be64(length_field + 8, ctx.total[0] << 3);
    pad_and_compress(ctx.block, 128, ctx.total[0] & 127, length_field, sizeof length_field,
                     [&](const std::uint8_t* blocks, std::size_t count) { compress(ctx.state, blocks, count); });

    const bool is384 = ctx.is384 != 0;
    const int words = is384 ? 6 : 8;
    for (int i = 0; i < words; ++i)
        store_be64(out + 8 * i, ctx.state[i]);
    secure_wipe(ctx);
    sha512_init(ctx, is384);
}

}  // namespace vlrp11
