#pragma once

// The GOST 28147-89 round function and round sequences, shared by the cipher, the MAC and the
// GOST 34.311-95 hash. Internal to src/crypto.

#include "crypto/byte_order.h"
#include "crypto/gost28147_sbox.h"

#include <array>
#include <bit>
#include <cstdint>

namespace vlrp11::gost28147_detail {

// Substitution of one byte through row k of an S-box in the lookup form.
constexpr std::uint32_t substitute_byte(const std::uint8_t* row, std::uint32_t v) noexcept
{
    return (row[v >> 4] & 0xF0u) | (row[v & 0x0Fu] & 0x0Fu);
}

using RoundTables = std::array<std::array<std::uint32_t, 256>, 4>;

// Table k maps byte k of the round sum straight to its substituted, shifted and rotated share
// of the round output, so a round costs four lookups instead of eight.
constexpr RoundTables make_round_tables(const Gost28147Sbox& sbox) noexcept
{
    RoundTables tables{};
    for (int k = 0; k < 4; ++k) {
        for (std::uint32_t v = 0; v < 256; ++v) {
            const std::uint32_t word = substitute_byte(sbox.data() + 16 * k, v) << (8 * k);
            tables[k][v] = std::rotl(word, 11);
        }
    }
    return tables;
}

inline constexpr RoundTables default_round_tables = make_round_tables(gost28147_default_sbox);

// Round output f(x) = rol11(S(x)) with the default S-box.
struct DefaultRound {
    std::uint32_t operator()(std::uint32_t x) const noexcept
    {
        const RoundTables& t = default_round_tables;
        return t[0][x & 0xFF] ^ t[1][(x >> 8) & 0xFF] ^ t[2][(x >> 16) & 0xFF] ^ t[3][x >> 24];
    }
};

// Round output with a caller's S-box in the lookup form.
struct LookupRound {
    const std::uint8_t* sbox;

    std::uint32_t operator()(std::uint32_t x) const noexcept
    {
        const std::uint32_t s = substitute_byte(sbox, x & 0xFF) |
                                substitute_byte(sbox + 16, (x >> 8) & 0xFF) << 8 |
                                substitute_byte(sbox + 32, (x >> 16) & 0xFF) << 16 |
                                substitute_byte(sbox + 48, x >> 24) << 24;
        return std::rotl(s, 11);
    }
};

// Eight rounds with keys K0..K7. The halves are never swapped: a and b take turns, so after an
// even number of rounds the result is N1 = b, N2 = a (no swap after the last round).
template <typename Round>
inline void rounds_forward(std::uint32_t& a, std::uint32_t& b, const std::uint32_t* k,
                           Round f) noexcept
{
    b ^= f(a + k[0]);
    a ^= f(b + k[1]);
    b ^= f(a + k[2]);
    a ^= f(b + k[3]);
    b ^= f(a + k[4]);
    a ^= f(b + k[5]);
    b ^= f(a + k[6]);
    a ^= f(b + k[7]);
}

// Eight rounds with keys K7..K0.
template <typename Round>
inline void rounds_backward(std::uint32_t& a, std::uint32_t& b, const std::uint32_t* k,
                            Round f) noexcept
{
    b ^= f(a + k[7]);
    a ^= f(b + k[6]);
    b ^= f(a + k[5]);
    a ^= f(b + k[4]);
    b ^= f(a + k[3]);
    a ^= f(b + k[2]);
    b ^= f(a + k[1]);
    a ^= f(b + k[0]);
}

// 32 encryption rounds on (N1, N2) in place.
template <typename Round>
inline void encrypt_words(std::uint32_t& n1, std::uint32_t& n2, const std::uint32_t* k,
                          Round f) noexcept
{
    std::uint32_t a = n1;
    std::uint32_t b = n2;
    rounds_forward(a, b, k, f);
    rounds_forward(a, b, k, f);
    rounds_forward(a, b, k, f);
    rounds_backward(a, b, k, f);
    n1 = b;
    n2 = a;
}

template <typename Round>
inline void encrypt_block(std::uint8_t* block, const std::uint32_t* k, Round f) noexcept
{
    std::uint32_t n1 = load_le32(block);
    std::uint32_t n2 = load_le32(block + 4);
    encrypt_words(n1, n2, k, f);
    store_le32(block, n1);
    store_le32(block + 4, n2);
}

}  // namespace vlrp11::gost28147_detail
