#pragma once

// Arithmetic modulo the P-256 prime, inline for the point formulas of the fast P-256 paths: the
// product with the fast reduction, which the descriptor's field_mul and field_sqr are, and the
// Montgomery product the point code works with.

#include <cstdint>

#include "crypto/ec_limbs_fixed.h"
#include "crypto/ec_nist_primes.h"

namespace vlrp11::p256 {

// D.2.3: p256 = 2^256 - 2^224 + 2^192 + 2^96 - 1. T + 2S1 + 2S2 + S3 + S4 - D1 - D2 - D3 - D4
// lies in (-4·2^256, 7·2^256); its carry above 2^256 (-4..6) is folded back as
// carry·(2^224 - 2^192 - 2^96 + 1). That leaves a carry of at most ±1, and a second fold none.
using SignedWide = __int128;

struct Limbs4 {
    Limb l0, l1, l2, l3;

    // Adds carry·2^256 ≡ carry·(2^224 - 2^192 - 2^96 + 1); returns the new carry.
    std::int64_t fold(std::int64_t carry) noexcept
    {
        const SignedWide shifted = SignedWide{carry} * 0x100000000;
        SignedWide a = SignedWide{l0} + carry;
        l0 = static_cast<Limb>(a);
        a = SignedWide{l1} - shifted + (a >> 64);
        l1 = static_cast<Limb>(a);
        a = SignedWide{l2} + (a >> 64);
        l2 = static_cast<Limb>(a);
        a = SignedWide{l3} + shifted - carry + (a >> 64);
        l3 = static_cast<Limb>(a);
        return static_cast<std::int64_t>(a >> 64);
    }
};

// The terms, as 64-bit limbs built from the product's high limbs t4..t7 (c8..c15 in 32-bit
// words), are summed column by column in 128-bit accumulators: the four columns have no carry
// between them until the end, which keeps the adds independent.
inline void reduce(Limb* r, const Limb* t) noexcept
{
    constexpr Limb LOW = 0xFFFFFFFF;
    constexpr Limb HIGH = ~LOW;
    const Limb t4 = t[4], t5 = t[5], t6 = t[6], t7 = t[7];
    const Limb c9_c10 = (t4 >> 32) | (t5 << 32);
    const Limb c13_c14 = (t6 >> 32) | (t7 << 32);
    using W = DoubleLimb;
    // Column i holds limb i of T + 2S1 + 2S2 + S3 + S4 - D1 - D2 - D3 - D4 (mod 2^128; the true
    // column sums lie well inside ±2^127).
    const W col0 = W{t[0]} + t4 + c9_c10 - ((t5 >> 32) | (t6 << 32)) - t6 - c13_c14 - t7;
    const W col1 = W{t[1]} + 2 * W{t5 & HIGH} + 2 * W{t6 << 32} + (t5 & LOW) +
                   ((t5 >> 32) | (t6 & HIGH)) - (t6 >> 32) - t7 - ((t7 >> 32) | (t4 << 32)) -
                   (t4 & HIGH);
    const W col2 = W{t[2]} + 2 * W{t6} + 2 * W{c13_c14} + t7 - c9_c10 - t5;
    const W col3 = W{t[3]} + 3 * W{t7} + 2 * W{t7 >> 32} + ((t6 >> 32) | (t4 << 32)) -
                   ((t4 & LOW) | (t5 << 32)) - ((t4 >> 32) | (t5 & HIGH)) - (t6 << 32) -
                   (t6 & HIGH);
    const auto carry = [](W column) {
        return static_cast<W>(static_cast<SignedWide>(column) >> 64);
    };
    Limbs4 v{};
    v.l0 = static_cast<Limb>(col0);
    W a = col1 + carry(col0);
    v.l1 = static_cast<Limb>(a);
    a = col2 + carry(a);
    v.l2 = static_cast<Limb>(a);
    a = col3 + carry(a);
    v.l3 = static_cast<Limb>(a);
    v.fold(v.fold(static_cast<std::int64_t>(static_cast<SignedWide>(a) >> 64)));
    // Kept in scalars: built in memory, the final selection gets vectorized into loads that
    // stall on the scalar stores just made.
    DoubleLimb d = DoubleLimb{v.l0} - 0xFFFFFFFFFFFFFFFF;
    const Limb d0 = static_cast<Limb>(d);
    d = DoubleLimb{v.l1} - 0x00000000FFFFFFFF - ((d >> 64) & 1);
    const Limb d1 = static_cast<Limb>(d);
    d = DoubleLimb{v.l2} - ((d >> 64) & 1);
    const Limb d2 = static_cast<Limb>(d);
    d = DoubleLimb{v.l3} - 0xFFFFFFFF00000001 - ((d >> 64) & 1);
    const Limb d3 = static_cast<Limb>(d);
    const Limb keep = 0 - static_cast<Limb>((d >> 64) & 1);
    r[0] = (v.l0 & keep) | (d0 & ~keep);
    r[1] = (v.l1 & keep) | (d1 & ~keep);
    r[2] = (v.l2 & keep) | (d2 & ~keep);
    r[3] = (v.l3 & keep) | (d3 & ~keep);
}

inline void mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    Limb t[8];
    fixed::mul<4>(t, a, b);
    reduce(r, t);
}

inline void sqr(Limb* r, const Limb* a) noexcept
{
    Limb t[8];
    fixed::square<4>(t, a);
    reduce(r, t);
}

// Addition and subtraction in scalars: through the generic limb arrays the compiler keeps the
// intermediate values in memory, which costs more than the arithmetic.
inline void add(Limb* r, const Limb* a, const Limb* b) noexcept
{
    unsigned long long s0, s1, s2, s3, d0, d1, d2, d3;
    unsigned char c = _addcarry_u64(0, a[0], b[0], &s0);
    c = _addcarry_u64(c, a[1], b[1], &s1);
    c = _addcarry_u64(c, a[2], b[2], &s2);
    c = _addcarry_u64(c, a[3], b[3], &s3);
    const Limb carry = c;
    unsigned char w = _subborrow_u64(0, s0, P256_PRIME[0], &d0);
    w = _subborrow_u64(w, s1, P256_PRIME[1], &d1);
    w = _subborrow_u64(w, s2, P256_PRIME[2], &d2);
    w = _subborrow_u64(w, s3, P256_PRIME[3], &d3);
    // Keep the sum when it did not carry out and subtracting p borrowed.
    const Limb keep = 0 - (static_cast<Limb>(w) & (carry ^ 1));
    r[0] = (s0 & keep) | (d0 & ~keep);
    r[1] = (s1 & keep) | (d1 & ~keep);
    r[2] = (s2 & keep) | (d2 & ~keep);
    r[3] = (s3 & keep) | (d3 & ~keep);
}

inline void sub(Limb* r, const Limb* a, const Limb* b) noexcept
{
    unsigned long long d0, d1, d2, d3, s0, s1, s2, s3;
    unsigned char w = _subborrow_u64(0, a[0], b[0], &d0);
    w = _subborrow_u64(w, a[1], b[1], &d1);
    w = _subborrow_u64(w, a[2], b[2], &d2);
    w = _subborrow_u64(w, a[3], b[3], &d3);
    const Limb mask = 0 - static_cast<Limb>(w);
    unsigned char c = _addcarry_u64(0, d0, P256_PRIME[0] & mask, &s0);
    c = _addcarry_u64(c, d1, P256_PRIME[1] & mask, &s1);
    c = _addcarry_u64(c, d2, P256_PRIME[2] & mask, &s2);
    _addcarry_u64(c, d3, P256_PRIME[3] & mask, &s3);
    r[0] = s0;
    r[1] = s1;
    r[2] = s2;
    r[3] = s3;
}

// Montgomery form: a is held as a·2^256 mod p. With p ≡ -1 mod 2^64 each reduction step
// adds m·p for m the lowest limb itself, and m·p = m·2^256 - m·2^224 + m·2^192 + m·2^96 - m is
// two shifted halves of m and one product with 2^64 - 2^32 + 1. This reduction is a third of
// the fast one's work. Addition, subtraction and negation carry over unchanged.
// 1 in Montgomery form (2^256 mod p), and 2^512 mod p, which takes a value into the form.
inline constexpr Limb MONT_ONE[4] = {0x1, 0xffffffff00000000, 0xffffffffffffffff, 0xfffffffe};
inline constexpr Limb MONT_R2[4] = {0x3, 0xfffffffbffffffff, 0xfffffffffffffffe, 0x4fffffffd};

// r = t·2^-256 mod p for t < p·2^256 (8 limbs).
inline void mont_reduce(Limb* r, const Limb* t) noexcept
{
    constexpr Limb P3 = 0xFFFFFFFF00000001;
    Limb x[8] = {t[0], t[1], t[2], t[3]};
    // Step i clears limb i and adds into limbs i + 1 … i + 4, the last of them fresh.
    for (std::size_t i = 0; i < 4; ++i) {
        const Limb m = x[i];
        const DoubleLimb product = DoubleLimb{m} * P3;
        unsigned long long s1, s2, s3;
        unsigned char c = _addcarry_u64(0, x[i + 1], m << 32, &s1);
        c = _addcarry_u64(c, x[i + 2], m >> 32, &s2);
        c = _addcarry_u64(c, x[i + 3], static_cast<Limb>(product), &s3);
        x[i + 1] = s1;
        x[i + 2] = s2;
        x[i + 3] = s3;
        x[i + 4] = static_cast<Limb>(product >> 64) + c;
    }
    // The sum is below 2p, which is all add needs.
    add(r, x + 4, t + 4);
}

inline void mont_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    Limb t[8];
    fixed::mul<4>(t, a, b);
    mont_reduce(r, t);
}

inline void mont_sqr(Limb* r, const Limb* a) noexcept
{
    Limb t[8];
    fixed::square<4>(t, a);
    mont_reduce(r, t);
}

inline void to_mont(Limb* r, const Limb* a) noexcept
{
    mont_mul(r, a, MONT_R2);
}

inline void from_mont(Limb* r, const Limb* a) noexcept
{
    constexpr Limb one[4] = {1, 0, 0, 0};
    mont_mul(r, a, one);
}

}  // namespace vlrp11::p256
