#include "crypto/ec_nist_field.h"

#include <array>
#include <cstdint>

#include "crypto/ec_limbs_fixed.h"
#include "crypto/ec_nist_primes.h"
#include "crypto/ec_p256_field.h"

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
    p256::mul(r, a, b);
}

void p256_field_sqr(Limb* r, const Limb* a) noexcept
{
    p256::sqr(r, a);
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
