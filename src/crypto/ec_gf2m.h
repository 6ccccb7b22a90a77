#pragma once

// Arithmetic in GF(2^m), polynomial basis: bit i of a value (bit i % 64 of limb i / 64) is the
// coefficient of x^i. The reduction polynomial is given by its exponents {m, k1, k2, k3}, middle
// ones descending and 0 where absent; x^m and 1 are always terms.

#include <cstddef>
#include <cstdint>

#include "crypto/ec_bignum.h"

namespace vlrp11 {

struct Gf2Product {
    Limb low;
    Limb high;
};

// 64 × 64 → 128-bit carry-less product from a 16-entry table of multiples of a.
Gf2Product gf2_mul_1x1(Limb a, Limb b) noexcept;

// r (2n limbs, must not alias a or b) = a · b, or a², without reduction. gf2_mul takes the
// carry-less multiply instruction when the processor has it; the _table and _clmul forms are
// the two implementations, with identical results (_clmul only where gf2_has_clmul()).
void gf2_mul(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept;
void gf2_sqr(Limb* r, const Limb* a, std::size_t n) noexcept;
void gf2_mul_table(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept;
void gf2_sqr_table(Limb* r, const Limb* a, std::size_t n) noexcept;
void gf2_mul_clmul(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept;
void gf2_sqr_clmul(Limb* r, const Limb* a, std::size_t n) noexcept;
bool gf2_has_clmul() noexcept;

inline std::size_t gf2_limbs(const std::uint64_t* poly) noexcept
{
    return static_cast<std::size_t>((poly[0] + 63) / 64);
}

namespace gf2_detail {

inline void xor_at_bit(Limb* r, Limb w, std::size_t bit) noexcept
{
    const unsigned shift = bit % 64;
    r[bit / 64] ^= w << shift;
    if (shift != 0)
        r[bit / 64 + 1] ^= w >> (64 - shift);
}

// Adds w·x^bit·(x^k1 + x^k2 + x^k3 + 1): the image of w·x^(bit + m).
inline void fold(Limb* r, Limb w, std::size_t bit, const std::uint64_t* poly) noexcept
{
    xor_at_bit(r, w, bit);
    for (int t = 1; t < 4 && poly[t] != 0; ++t)
        xor_at_bit(r, w, bit + poly[t]);
}

}  // namespace gf2_detail

// Reduces the 2n-limb value r in place; the result is in its low n limbs. Every middle exponent
// lies at least 64 below m, so a folded word lands wholly in lower words.
inline void gf2_reduce(Limb* r, const std::uint64_t* poly) noexcept
{
    const std::size_t m = poly[0];
    const std::size_t n = gf2_limbs(poly);
    for (std::size_t i = 2 * n - 1; i >= n; --i) {
        const Limb w = r[i];
        r[i] = 0;
        gf2_detail::fold(r, w, 64 * i - m, poly);
    }
    const unsigned top_bits = m % 64;
    if (top_bits != 0) {
        const Limb w = r[n - 1] >> top_bits;
        r[n - 1] &= (Limb{1} << top_bits) - 1;
        gf2_detail::fold(r, w, 0, poly);
    }
}

// r = a⁻¹ in the field; a = 0 gives EC_INVERSE_OF_ZERO.
std::uint8_t gf2_inv(Limb* r, const Limb* a, const std::uint64_t* poly) noexcept;

// The generic field operations of a binary curve: product, reduction, copy of the low limbs.
template <std::uint64_t M, std::uint64_t K1, std::uint64_t K2, std::uint64_t K3>
void gf2m_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    constexpr std::uint64_t poly[4] = {M, K1, K2, K3};
    constexpr std::size_t n = (M + 63) / 64;
    Limb t[2 * n];
    gf2_mul(t, a, b, n);
    gf2_reduce(t, poly);
    for (std::size_t i = 0; i < n; ++i)
        r[i] = t[i];
}

template <std::uint64_t M, std::uint64_t K1, std::uint64_t K2, std::uint64_t K3>
void gf2m_field_sqr(Limb* r, const Limb* a) noexcept
{
    constexpr std::uint64_t poly[4] = {M, K1, K2, K3};
    constexpr std::size_t n = (M + 63) / 64;
    Limb t[2 * n];
    gf2_sqr(t, a, n);
    gf2_reduce(t, poly);
    for (std::size_t i = 0; i < n; ++i)
        r[i] = t[i];
}

}  // namespace vlrp11
