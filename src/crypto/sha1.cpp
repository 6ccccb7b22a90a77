#include "crypto/sha1.h"

#include <bit>
#include <cstring>

#include "crypto/block_buffer.h"
#include "crypto/byte_order.h"
#include "crypto/sha_compress.h"
#include "platform/wipe.h"

namespace vlrp11 {

namespace {

constexpr std::uint32_t initial_state[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};

constexpr std::uint32_t choose_and_round_constant(int t, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                                                  std::uint32_t& k)
{
    if (t < 20) {
        k = 0x5a827999;
        return (b & c) | (~b & d);
    }
    if (t < 40) {
        k = 0x6ed9eba1;
        return b ^ c ^ d;
    }
    if (t < 60) {
        k = 0x8f1bbcdc;
        return (b & c) | (b & d) | (c & d);
    }
    k = 0xca62c1d6;
    return b ^ c ^ d;
}

}  // namespace

void sha1_compress_portable(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count) noexcept
{
    for (; count > 0; --count, blocks += 64) {
        std::uint32_t w[80];
        for (int t = 0; t < 16; ++t)
            w[t] = load_be32(blocks + 4 * t);
        for (int t = 16; t < 80; ++t)
            w[t] = std::rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        for (int t = 0; t < 80; ++t) {
            std::uint32_t k;
            const std::uint32_t f = choose_and_round_constant(t, b, c, d, k);
            const std::uint32_t next = std::rotl(a, 5) + f + e + k + w[t];
            e = d;
            d = c;
            c = std::rotl(b, 30);
            b = a;
            a = next;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}

void sha1_init(Sha1Context& ctx) noexcept
{
    std::memset(&ctx, 0, sizeof ctx);
    std::memcpy(ctx.state, initial_state, sizeof ctx.state);
}

// Whole blocks are compressed straight from the input; only a partial block is staged.
void sha1_update(Sha1Context& ctx, const void* data, std::size_t length) noexcept
{
    ctx.bit_length += std::uint64_t{length} << 3;
    ctx.index = static_cast<std::uint32_t>(
        absorb_blocks(ctx.block, 64, ctx.index, static_cast<const std::uint8_t*>(data), length,
                      [&](const std::uint8_t* blocks, std::size_t count) { sha1_compress(ctx.state, blocks, count); }));
}

void sha1_final(Sha1Context& ctx, std::uint8_t out[20]) noexcept
{
    std::uint8_t length_field[8];
    store_be64(length_field, ctx.bit_length);
    pad_and_compress(ctx.block, 64, ctx.index, length_field, sizeof length_field,
                     [&](const std::uint8_t* blocks, std::size_t count) { sha1_compress(ctx.state, blocks, count); });
    for (int i = 0; i < 5; ++i)
        store_be32(out + 4 * i, ctx.state[i]);
    secure_wipe(ctx);
    sha1_init(ctx);
}

void sha1_digest(const void* data, std::size_t length, std::uint8_t out[20]) noexcept
{
    Sha1Context ctx;
    sha1_init(ctx);
    sha1_update(ctx, data, length);
    sha1_final(ctx, out);
    secure_wipe(ctx);
}

}  // namespace vlrp11
