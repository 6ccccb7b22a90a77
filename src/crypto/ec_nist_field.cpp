#include "crypto/ec_nist_field.h"

#include <array>
#include <cstdint>

#include "crypto/ec_limbs_fixed.h"
#include "crypto/ec_nist_primes.h"

namespace vlrp11 {
namespace {

// One term of a Solinas reduction: a sign and, for each 32-bit word of the result from the least
// significant, the index of the product word placed there (-1 for a zero word).
template <std::size_t W>
struct SolinasTerm {
    int sign;
    std::array<std::int8_t, W> word;
};

// Folds the signed carry above the prime's width back with `fold` (the 32-bit words of
// 2^width mod p, signed) until none is left. The value is then below 2^width < 2p, so one
// conditional subtraction finishes.
template <std::size_t W>
void solinas_normalize(Limb* r, std::int64_t* acc, const std::array<std::int8_t, W>& fold,
                       const Limb* prime) noexcept
{
    std::int64_t top = 0;
    for (;;) {
        for (std::size_t j = 0; j < W; ++j)
            acc[j] += top * fold[j];
        for (std::size_t j = 0; j + 1 < W; ++j) {
            acc[j + 1] += acc[j] >> 32;
            acc[j] &= 0xFFFFFFFF;
        }
        top = acc[W - 1] >> 32;
        acc[W - 1] &= 0xFFFFFFFF;
        if (top == 0)
            break;
    }
    constexpr std::size_t n = W / 2;
    Limb sum[n];
    Limb reduced[n];
    for (std::size_t i = 0; i < n; ++i)
        sum[i] = static_cast<Limb>(acc[2 * i]) | (static_cast<Limb>(acc[2 * i + 1]) << 32);
    fixed::select<n>(r, 0 - fixed::sub<n>(reduced, sum, prime), sum, reduced);
}

template <std::size_t W>
void split_words(std::int64_t* c, const Limb* product) noexcept
{
    for (std::size_t i = 0; i < W; ++i) {
        c[2 * i] = static_cast<std::uint32_t>(product[i]);
        c[2 * i + 1] = static_cast<std::uint32_t>(product[i] >> 32);
    }
}

// Sums the signed terms word by word, then normalizes.
template <std::size_t W, std::size_t T>
void solinas_reduce(Limb* r, const Limb* product, const std::array<SolinasTerm<W>, T>& terms,
                    const std::array<std::int8_t, W>& fold, const Limb* prime) noexcept
{
    std::int64_t c[2 * W];
    split_words<W>(c, product);
    std::int64_t acc[W];
    for (std::size_t j = 0; j < W; ++j)
        acc[j] = c[j];
    for (const auto& term : terms) {
        for (std::size_t j = 0; j < W; ++j) {
            if (term.word[j] >= 0)
                acc[j] += term.sign * c[term.word[j]];
        }
    }
    solinas_normalize(r, acc, fold, prime);
}

// FIPS 186-4 D.2.1: p192 = 2^192 - 2^64 - 1; T + S1 + S2 + S3, words c0..c11.
constexpr std::array<SolinasTerm<6>, 3> P192_TERMS{{
    {1, {6, 7, 6, 7, -1, -1}},
    {1, {-1, -1, 8, 9, 8, 9}},
    {1, {10, 11, 10, 11, 10, 11}},
}};
constexpr std::array<std::int8_t, 6> P192_FOLD{1, 0, 1, 0, 0, 0};

// D.2.3: p256 = 2^256 - 2^224 + 2^192 + 2^96 - 1. T + 2S1 + 2S2 + S3 + S4 - D1 - D2 - D3 - D4
// lies in (-4·2^256, 7·2^256); its carry above 2^256 (-4..6) is folded back as
// carry·(2^224 - 2^192 - 2^96 + 1). That leaves a carry of at most ±1, and a second fold none.
using SignedWide = __int128;

struct P256Limbs {
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
void p256_reduce(Limb* r, const Limb* t) noexcept
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
    P256Limbs v{};
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

// D.2.4: p384 = 2^384 - 2^128 - 2^96 + 2^32 - 1; T + 2S1 + S2 + S3 + S4 + S5 + S6 - D1 - D2 - D3.
constexpr std::array<SolinasTerm<12>, 10> P384_TERMS{{
    {1, {-1, -1, -1, -1, 21, 22, 23, -1, -1, -1, -1, -1}},
    {1, {-1, -1, -1, -1, 21, 22, 23, -1, -1, -1, -1, -1}},
    {1, {12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23}},
    {1, {21, 22, 23, 12, 13, 14, 15, 16, 17, 18, 19, 20}},
    {1, {-1, 23, -1, 20, 12, 13, 14, 15, 16, 17, 18, 19}},
    {1, {-1, -1, -1, -1, 20, 21, 22, 23, -1, -1, -1, -1}},
    {1, {20, -1, -1, 21, 22, 23, -1, -1, -1, -1, -1, -1}},
    {-1, {23, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22}},
    {-1, {-1, 20, 21, 22, 23, -1, -1, -1, -1, -1, -1, -1}},
    {-1, {-1, -1, -1, 23, 23, -1, -1, -1, -1, -1, -1, -1}},
}};
constexpr std::array<std::int8_t, 12> P384_FOLD{1, -1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0};

// p521 = 2^521 - 1: the bits above 521 are added to the low 521 bits.
void p521_reduce(Limb* r, const Limb* product) noexcept
{
    Limb high[9];
    Limb low[9];
    for (std::size_t i = 0; i < 9; ++i) {
        high[i] = (product[i + 8] >> 9) | (product[i + 9] << 55);
        low[i] = product[i];
    }
    high[8] &= 0x1FF;
    low[8] &= 0x1FF;
    Limb sum[9];
    Limb reduced[9];
    limbs_add(sum, low, high, 9);
    const Limb keep = 0 - limbs_sub(reduced, sum, P521_PRIME.data(), 9);
    for (std::size_t i = 0; i < 9; ++i)
        r[i] = (sum[i] & keep) | (reduced[i] & ~keep);
}

void p192_reduce(Limb* r, const Limb* t) noexcept
{
    solinas_reduce(r, t, P192_TERMS, P192_FOLD, P192_PRIME.data());
}

void p384_reduce(Limb* r, const Limb* t) noexcept
{
    solinas_reduce(r, t, P384_TERMS, P384_FOLD, P384_PRIME.data());
}

template <std::size_t N, void (*Reduce)(Limb*, const Limb*) noexcept>
void reduced_product(Limb* r, const Limb* a, const Limb* b) noexcept
{
    Limb t[2 * N];
    fixed::mul<N>(t, a, b);
    Reduce(r, t);
}

template <std::size_t N, void (*Reduce)(Limb*, const Limb*) noexcept>
void reduced_square(Limb* r, const Limb* a) noexcept
{
    Limb t[2 * N];
    fixed::square<N>(t, a);
    Reduce(r, t);
}

}  // namespace

void p192_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    reduced_product<3, p192_reduce>(r, a, b);
}

void p192_field_sqr(Limb* r, const Limb* a) noexcept
{
    reduced_square<3, p192_reduce>(r, a);
}

void p256_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    reduced_product<4, p256_reduce>(r, a, b);
}

void p256_field_sqr(Limb* r, const Limb* a) noexcept
{
    reduced_square<4, p256_reduce>(r, a);
}

void p384_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    reduced_product<6, p384_reduce>(r, a, b);
}

void p384_field_sqr(Limb* r, const Limb* a) noexcept
{
    reduced_square<6, p384_reduce>(r, a);
}

void p521_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    reduced_product<9, p521_reduce>(r, a, b);
}

void p521_field_sqr(Limb* r, const Limb* a) noexcept
{
    reduced_square<9, p521_reduce>(r, a);
}

}  // namespace vlrp11
