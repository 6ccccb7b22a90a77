#include "crypto/sha256.h"

#include <bit>
#include <cstring>

#include "crypto/block_buffer.h"
#include "crypto/byte_order.h"
#include "crypto/sha_compress.h"
#include "platform/wipe.h"

namespace vlrp11 {

namespace {

constexpr std::uint32_t initial_224[8] = {0xc1059ed8, 0x367cd507, 0x3070dd17, 0xf70e5939,
                                          0xffc00b31, 0x68581511, 0x64f98fa7, 0xbefa4fa4};
constexpr std::uint32_t initial_256[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

}  // namespace

alignas(16) const std::uint32_t sha256_round_constants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

namespace {

void add_to_total(Sha256Context& ctx, std::size_t length) noexcept
{
    const std::uint64_t total = (std::uint64_t{ctx.total[1]} << 32 | ctx.total[0]) + length;
    ctx.total[0] = static_cast<std::uint32_t>(total);
    ctx.total[1] = static_cast<std::uint32_t>(total >> 32);
}

}  // namespace

void sha256_compress_portable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept
{
    for (; count > 0; --count, blocks += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t)
            w[t] = load_be32(blocks + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = std::rotr(w[t - 15], 7) ^ std::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = std::rotr(w[t - 2], 17) ^ std::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t s1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
            const std::uint32_t t1 = h + s1 + ((e & f) ^ (~e & g)) + sha256_round_constants[t] + w[t];
            const std::uint32_t s0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
            const std::uint32_t t2 = s0 + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

void sha256_init(Sha256Context& ctx, bool is224) noexcept
{
    std::memset(&ctx, 0, sizeof ctx);
    std::memcpy(ctx.state, is224 ? initial_224 : initial_256, sizeof ctx.state);
    ctx.is224 = is224 ? 1 : 0;
}

// Fills a partial block first, then compresses whole blocks straight from the input and keeps
// the rest; the byte count tells how much of the block is pending.
void sha256_update(Sha256Context& ctx, const void* data, std::size_t length) noexcept
{
    const std::size_t pending = ctx.total[0] & 63;
    add_to_total(ctx, length);
    absorb_blocks(ctx.block, 64, pending, static_cast<const std::uint8_t*>(data), length,
                  [&](const std::uint8_t* blocks, std::size_t count) { sha256_compress(ctx.state, blocks, count); });
}

void sha256_final(Sha256Context& ctx, std::uint8_t* out) noexcept
{
    std::uint8_t length_field[8];
    store_be64(length_field, (std::uint64_t{ctx.total[1]} << 32 | ctx.total[0]) << 3);
    pad_and_compress(ctx.block, 64, ctx.total[0] & 63, length_field, sizeof length_field,
                     [&](const std::uint8_t* blocks, std::size_t count) { sha256_compress(ctx.state, blocks, count); });

    const bool is224 = ctx.is224 != 0;
    const int words = is224 ? 7 : 8;
    for (int i = 0; i < words; ++i)
        store_be32(out + 4 * i, ctx.state[i]);
    secure_wipe(ctx);
    sha256_init(ctx, is224);
}

void sha256_digest(const void* data, std::size_t length, std::uint8_t out[32]) noexcept
{
    Sha256Context ctx;
    sha256_init(ctx, false);
    sha256_update(ctx, data, length);
    sha256_final(ctx, out);
    secure_wipe(ctx);
}

}  // namespace vlrp11
