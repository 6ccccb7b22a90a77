#include "crypto/gost34311.h"

#include "crypto/block_buffer.h"
#include "crypto/byte_order.h"
#include "crypto/gost28147_rounds.h"
#include "platform/wipe.h"

#include <cstddef>
#include <cstring>

namespace vlrp11 {

using gost28147_detail::DefaultRound;
using gost28147_detail::LookupRound;

namespace {

// The 168 bytes that init clears and final wipes; sbox follows them.
constexpr std::size_t state_bytes = offsetof(Gost34311Context, sbox);
static_assert(state_bytes == 168);

using Words = std::uint64_t[4];  // a 256-bit value, least significant word first

// Temporaries of the step function. They derive from the message, which may be secret (key
// derivation hashes shared secrets), so each call wipes them once when it is done.
struct Scratch {
    Words u;
    Words v;
    Words w;
    Words s;
    Words m;
    std::uint32_t key[8];
    std::uint16_t psi[16 + 12 + 1 + 61];
};

// C3 = ff00ffff000000ff ff0000ff00ffff00 00ff00ff00ff00ff ff00ff00ff00ff00 (C2 = C4 = 0).
constexpr std::uint64_t c3[4] = {0xff00ff00ff00ff00u, 0x00ff00ff00ff00ffu, 0xff0000ff00ffff00u,
                                 0xff00ffff000000ffu};

void load_words(const std::uint8_t* bytes, std::uint64_t* words) noexcept
{
    for (int i = 0; i < 4; ++i) {
        words[i] = load_le64(bytes + 8 * i);
    }
}

// A(y4 || y3 || y2 || y1) = (y1 ^ y2) || y4 || y3 || y2.
void transform_a(std::uint64_t* y) noexcept
{
    const std::uint64_t y1 = y[0];
    y[0] = y[1];
    y[1] = y[2];
    y[2] = y[3];
    y[3] = y1 ^ y[0];
}

// P transposes W as a 4 x 8 byte matrix: key word t takes byte t of each 64-bit word of W.
void transform_p(const std::uint64_t* w, std::uint32_t* key) noexcept
{
    for (int t = 0; t < 8; ++t) {
        const int shift = 8 * t;
        key[t] = static_cast<std::uint32_t>((w[0] >> shift) & 0xFF) |
                 static_cast<std::uint32_t>((w[1] >> shift) & 0xFF) << 8 |
                 static_cast<std::uint32_t>((w[2] >> shift) & 0xFF) << 16 |
                 static_cast<std::uint32_t>((w[3] >> shift) & 0xFF) << 24;
    }
}

// psi shifts the 16-bit words of a 256-bit value down by one and puts
// w1 ^ w2 ^ w3 ^ w4 ^ w13 ^ w16 on top, so psi^n(Y) is words n..n+15 of the sequence that
// starts with Y and continues by that rule. The mixing step psi^61(H ^ psi(M ^ psi^12(S)))
// runs the sequence on, folding M and H in where they enter.
void mix(std::uint64_t* h, const std::uint64_t* m, const std::uint64_t* s,
         std::uint16_t* w) noexcept
{
    auto extend = [w](int from, int count) {
        for (int t = from; t < from + count; ++t) {
            w[t + 16] = static_cast<std::uint16_t>(w[t] ^ w[t + 1] ^ w[t + 2] ^ w[t + 3] ^
                                                   w[t + 12] ^ w[t + 15]);
        }
    };
    auto fold = [w](int at, const std::uint64_t* v) {
        for (int j = 0; j < 16; ++j) {
            w[at + j] ^= static_cast<std::uint16_t>(v[j / 4] >> (16 * (j % 4)));
        }
    };
    for (int j = 0; j < 16; ++j) {
        w[j] = static_cast<std::uint16_t>(s[j / 4] >> (16 * (j % 4)));
    }
    extend(0, 12);
    fold(12, m);
    extend(12, 1);
    fold(13, h);
    extend(13, 61);
    for (int i = 0; i < 4; ++i) {
        const std::uint16_t* top = w + 74 + 4 * i;
        h[i] = static_cast<std::uint64_t>(top[0]) | static_cast<std::uint64_t>(top[1]) << 16 |
               static_cast<std::uint64_t>(top[2]) << 32 | static_cast<std::uint64_t>(top[3]) << 48;
    }
}

// The step function H <- f(H, M).
template <typename Round>
void step(std::uint64_t* h, const std::uint64_t* m, Round f, Scratch& t) noexcept
{
    auto& u = t.u;
    auto& v = t.v;
    auto& w = t.w;
    auto& s = t.s;
    auto& key = t.key;
    std::memcpy(u, h, sizeof u);
    std::memcpy(v, m, sizeof v);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            transform_a(u);
            if (i == 2) {
                for (int j = 0; j < 4; ++j) {
                    u[j] ^= c3[j];
                }
            }
            transform_a(v);
            transform_a(v);
        }
        for (int j = 0; j < 4; ++j) {
            w[j] = u[j] ^ v[j];
        }
        transform_p(w, key);
        auto n1 = static_cast<std::uint32_t>(h[i]);
        auto n2 = static_cast<std::uint32_t>(h[i] >> 32);
        gost28147_detail::encrypt_words(n1, n2, key, f);
        s[i] = static_cast<std::uint64_t>(n2) << 32 | n1;
    }
    mix(h, m, s, t.psi);
}

void add_256(std::uint64_t* acc, const std::uint64_t* x) noexcept
{
    std::uint64_t carry = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t sum = acc[i] + x[i];
        const std::uint64_t next_carry = (sum < acc[i]) ? 1u : 0u;
        acc[i] = sum + carry;
        carry = next_carry | ((acc[i] < sum) ? 1u : 0u);
    }
}

template <typename Round>
void compress(Gost34311Context& ctx, const std::uint8_t* block, Round f, Scratch& t) noexcept
{
    load_words(block, t.m);
    step(ctx.hash, t.m, f, t);
    add_256(ctx.sum, t.m);
}

template <typename Round>
void absorb(Gost34311Context& ctx, const std::uint8_t* data, std::size_t length, Round f) noexcept
{
    Scratch t;
    ctx.index = static_cast<std::uint32_t>(absorb_blocks(
        ctx.block, gost34311_block_bytes, ctx.index, data, length,
        [&](const std::uint8_t* blocks, std::size_t count) {
            for (std::size_t i = 0; i < count; ++i) {
                compress(ctx, blocks + i * gost34311_block_bytes, f, t);
            }
        }));
    secure_wipe(t);
}

template <typename Round>
void finish(Gost34311Context& ctx, std::uint8_t* out, Round f) noexcept
{
    Scratch t;
    if (ctx.index > 0) {
        std::memset(ctx.block + ctx.index, 0, gost34311_block_bytes - ctx.index);
        compress(ctx, ctx.block, f, t);
    }
    step(ctx.hash, ctx.length, f, t);
    step(ctx.hash, ctx.sum, f, t);
    secure_wipe(t);
    for (int i = 0; i < 4; ++i) {
        store_le64(out + 8 * i, ctx.hash[i]);
    }
}

}  // namespace

void gost34311_init(Gost34311Context& ctx) noexcept
{
    std::memset(&ctx, 0, state_bytes);
    ctx.sbox = nullptr;
}

void gost34311_update(Gost34311Context& ctx, const std::uint8_t* data, std::size_t length) noexcept
{
    if (length == 0) {
        return;
    }
    const std::uint64_t bits[4] = {static_cast<std::uint64_t>(length) << 3,
                                   static_cast<std::uint64_t>(length) >> 61, 0, 0};
    add_256(ctx.length, bits);
    if (ctx.sbox == nullptr) {
        absorb(ctx, data, length, DefaultRound{});
    } else {
        absorb(ctx, data, length, LookupRound{ctx.sbox});
    }
}

void gost34311_final(Gost34311Context& ctx, std::uint8_t* out) noexcept
{
    if (ctx.sbox == nullptr) {
        finish(ctx, out, DefaultRound{});
    } else {
        finish(ctx, out, LookupRound{ctx.sbox});
    }
    secure_wipe(&ctx, state_bytes);
}

void gost34311_digest(const std::uint8_t* data, std::size_t length, std::uint8_t* out) noexcept
{
    Gost34311Context ctx;
    gost34311_init(ctx);
    gost34311_update(ctx, data, length);
    gost34311_final(ctx, out);
}

}  // namespace vlrp11
