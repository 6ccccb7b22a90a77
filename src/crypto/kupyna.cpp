#include "crypto/kupyna.h"

#include <cstring>

#include "crypto/block_buffer.h"
#include "crypto/byte_order.h"
#include "crypto/kupyna_tables.h"
#include "platform/wipe.h"

namespace vlrp11 {

namespace {

// Row shifts of ShiftBytes: row r moves r columns, except row 7 of the 1024-bit state, which
// moves 11.
template <int Columns>
constexpr int row_shift(int row)
{
    return (Columns == 16 && row == 7) ? 11 : row;
}

// SubBytes, ShiftBytes and MixColumns of one round: output column c gathers row r from input
// column c - shift(r).
template <int Columns>
[[gnu::always_inline]] inline void mix_round(const std::uint64_t in[Columns], std::uint64_t out[Columns])
{
#pragma GCC unroll 16
    for (int c = 0; c < Columns; ++c) {
        std::uint64_t column = 0;
#pragma GCC unroll 8
        for (int r = 0; r < 8; ++r) {
            const std::uint64_t source = in[(c - row_shift<Columns>(r) + Columns) % Columns];
            column ^= kupyna_t_tables[r][(source >> (8 * r)) & 0xff];
        }
        out[c] = column;
    }
}

constexpr int rounds_for(int columns)
{
    return columns == 8 ? 10 : 14;
}

template <int Columns>
[[gnu::always_inline]] inline void add_xor_constants(std::uint64_t s[Columns], int round)
{
    for (int c = 0; c < Columns; ++c)
        s[c] ^= static_cast<std::uint64_t>((c << 4) ^ round);
}

template <int Columns>
[[gnu::always_inline]] inline void add_plus_constants(std::uint64_t s[Columns], int round)
{
    for (int c = 0; c < Columns; ++c)
        s[c] += 0x00f0f0f0f0f0f0f3 ^ (static_cast<std::uint64_t>(((Columns - 1 - c) << 4) ^ round) << 56);
}

// T-xor: the round constant (column number and round number) XORed into row 0. Two rounds per
// pass, so the state moves between s and t without copies.
template <int Columns>
void permute_xor(std::uint64_t s[Columns])
{
    std::uint64_t t[Columns];
    for (int round = 0; round < rounds_for(Columns); round += 2) {
        add_xor_constants<Columns>(s, round);
        mix_round<Columns>(s, t);
        add_xor_constants<Columns>(t, round + 1);
        mix_round<Columns>(t, s);
    }
}

// T-xor of p and T-plus of q (the round constant added to each column as a 64-bit
// little-endian integer), run side by side: the two are independent, and interleaving their
// table lookups keeps more loads in flight.
template <int Columns>
void permute_xor_and_plus(std::uint64_t p[Columns], std::uint64_t q[Columns])
{
    std::uint64_t pt[Columns], qt[Columns];
    for (int round = 0; round < rounds_for(Columns); round += 2) {
        add_xor_constants<Columns>(p, round);
        add_plus_constants<Columns>(q, round);
        mix_round<Columns>(p, pt);
        mix_round<Columns>(q, qt);
        add_xor_constants<Columns>(pt, round + 1);
        add_plus_constants<Columns>(qt, round + 1);
        mix_round<Columns>(pt, p);
        mix_round<Columns>(qt, q);
    }
}

// H <- T-xor(H ^ M) ^ T-plus(M) ^ H, for each block.
template <int Columns>
void compress(std::uint64_t h[Columns], const std::uint8_t* blocks, std::size_t count)
{
    for (; count > 0; --count, blocks += 8 * Columns) {
        std::uint64_t p[Columns], q[Columns];
        for (int c = 0; c < Columns; ++c) {
            q[c] = load_le64(blocks + 8 * c);
            p[c] = h[c] ^ q[c];
        }
        permute_xor_and_plus<Columns>(p, q);
        for (int c = 0; c < Columns; ++c)
            h[c] ^= p[c] ^ q[c];
    }
}

void compress_blocks(KupynaContext& ctx, const std::uint8_t* blocks, std::size_t count)
{
    if (ctx.block_size == 64)
        compress<8>(ctx.state, blocks, count);
    else
        compress<16>(ctx.state, blocks, count);
}

// H <- T-xor(H) ^ H.
void output_transform(KupynaContext& ctx)
{
    std::uint64_t p[16];
    std::memcpy(p, ctx.state, sizeof p);
    if (ctx.block_size == 64)
        permute_xor<8>(p);
    else
        permute_xor<16>(p);
    for (int c = 0; c < 16; ++c)
        ctx.state[c] ^= p[c];
    secure_wipe(p);
}

}  // namespace

void kupyna_init(KupynaContext& ctx, std::size_t output_size) noexcept
{
    std::memset(&ctx, 0, sizeof ctx);
    ctx.output_size = output_size < 64 ? output_size : 64;
    ctx.block_size = ctx.output_size <= 32 ? 64 : 128;
    ctx.state[0] = ctx.block_size;
}

void kupyna_update(KupynaContext& ctx, const void* data, std::size_t length) noexcept
{
    auto* in = static_cast<const std::uint8_t*>(data);
    const std::uint64_t bits = std::uint64_t{length} << 3;
    ctx.bit_length[0] += bits;
    ctx.bit_length[1] += (ctx.bit_length[0] < bits) + (std::uint64_t{length} >> 61);

    ctx.index = absorb_blocks(ctx.block, ctx.block_size, ctx.index, in, length,
                              [&](const std::uint8_t* blocks, std::size_t count) { compress_blocks(ctx, blocks, count); });
}

// Pads with 0x80, zeros and the 96-bit little-endian bit length (the low 64 bits, then the low
// 32 bits of the high word) in the last 12 bytes.
void kupyna_final(KupynaContext& ctx, std::uint8_t* out) noexcept
{
    const std::size_t block_size = ctx.block_size;
    std::uint8_t length_field[12];
    store_le64(length_field, ctx.bit_length[0]);
    const std::uint32_t high = static_cast<std::uint32_t>(ctx.bit_length[1]);
    std::memcpy(length_field + 8, &high, sizeof high);
    pad_and_compress(ctx.block, block_size, ctx.index, length_field, sizeof length_field,
                     [&](const std::uint8_t* blocks, std::size_t count) { compress_blocks(ctx, blocks, count); });
    output_transform(ctx);

    std::uint8_t state_bytes[128];
    for (std::size_t c = 0; c < block_size / 8; ++c)
        store_le64(state_bytes + 8 * c, ctx.state[c]);
    std::memcpy(out, state_bytes + block_size - ctx.output_size, ctx.output_size);
    secure_wipe(state_bytes);
    secure_wipe(ctx.state);
    secure_wipe(ctx.block);
    secure_wipe(ctx.bit_length);
    ctx.index = 0;
}

}  // namespace vlrp11
