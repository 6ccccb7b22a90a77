#include "crypto/ec_nist_field.h"

#include <array>
#include <cstdint>

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

// Sums the signed terms word by word, then folds the signed carry above the prime's width back
// with `fold` (the 32-bit words of 2^width mod p, signed) until none is left. The sum is then
// below 2^width < 2p, so one conditional subtraction finishes.
template <std::size_t W, std::size_t T>
void solinas_reduce(Limb* r, const Limb* product, const std::array<SolinasTerm<W>, T>& terms,
                    const std::array<std::int8_t, W>& fold, const Limb* prime) noexcept
{
    std::uint32_t c[2 * W];
    for (std::size_t i = 0; i < W; ++i) {
        c[2 * i] = static_cast<std::uint32_t>(product[i]);
        c[2 * i + 1] = static_cast<std::uint32_t>(product[i] >> 32);
    }
    std::int64_t acc[W];
    for (std::size_t j = 0; j < W; ++j)
        acc[j] = c[j];
    for (const auto& term : terms) {
        for (std::size_t j = 0; j < W; ++j) {
            if (term.word[j] >= 0)
                acc[j] += term.sign * static_cast<std::int64_t>(c[term.word[j]]);
        }
    }
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
    const Limb keep = 0 - limbs_sub(reduced, sum, prime, n);
    for (std::size_t i = 0; i < n; ++i)
        r[i] = (sum[i] & keep) | (reduced[i] & ~keep);
}

// FIPS 186-4 D.2.1: p192 = 2^192 - 2^64 - 1; T + S1 + S2 + S3, words c0..c11.
constexpr std::array<SolinasTerm<6>, 3> P192_TERMS{{
    {1, {6, 7, 6, 7, -1, -1}},
    {1, {-1, -1, 8, 9, 8, 9}},
    {1, {10, 11, 10, 11, 10, 11}},
}};
constexpr std::array<std::int8_t, 6> P192_FOLD{1, 0, 1, 0, 0, 0};

// D.2.3: p256 = 2^256 - 2^224 + 2^192 + 2^96 - 1; T + 2S1 + 2S2 + S3 + S4 - D1 - D2 - D3 - D4.
constexpr std::array<SolinasTerm<8>, 10> P256_TERMS{{
    {1, {-1, -1, -1, 11, 12, 13, 14, 15}},
    {1, {-1, -1, -1, 11, 12, 13, 14, 15}},
    {1, {-1, -1, -1, 12, 13, 14, 15, -1}},
    {1, {-1, -1, -1, 12, 13, 14, 15, -1}},
    {1, {8, 9, 10, -1, -1, -1, 14, 15}},
    {1, {9, 10, 11, 13, 14, 15, 13, 8}},
    {-1, {11, 12, 13, -1, -1, -1, 8, 10}},
    {-1, {12, 13, 14, 15, -1, -1, 9, 11}},
    {-1, {13, 14, 15, 8, 9, 10, -1, 12}},
    {-1, {14, 15, -1, 9, 10, 11, -1, 13}},
}};
constexpr std::array<std::int8_t, 8> P256_FOLD{1, 0, 0, -1, 0, 0, -1, 1};

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

}  // namespace

void p192_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    Limb t[6];
    limbs_mul(t, a, b, 3);
    solinas_reduce(r, t, P192_TERMS, P192_FOLD, P192_PRIME.data());
}

void p192_field_sqr(Limb* r, const Limb* a) noexcept
{
    Limb t[6];
    limbs_square(t, a, 3);
    solinas_reduce(r, t, P192_TERMS, P192_FOLD, P192_PRIME.data());
}

void p256_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    Limb t[8];
    limbs_mul(t, a, b, 4);
    solinas_reduce(r, t, P256_TERMS, P256_FOLD, P256_PRIME.data());
}

void p256_field_sqr(Limb* r, const Limb* a) noexcept
{
    Limb t[8];
    limbs_square(t, a, 4);
    solinas_reduce(r, t, P256_TERMS, P256_FOLD, P256_PRIME.data());
}

void p384_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    Limb t[12];
    limbs_mul(t, a, b, 6);
    solinas_reduce(r, t, P384_TERMS, P384_FOLD, P384_PRIME.data());
}

void p384_field_sqr(Limb* r, const Limb* a) noexcept
{
    Limb t[12];
    limbs_square(t, a, 6);
    solinas_reduce(r, t, P384_TERMS, P384_FOLD, P384_PRIME.data());
}

void p521_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    Limb t[18];
    limbs_mul(t, a, b, 9);
    p521_reduce(r, t);
}

void p521_field_sqr(Limb* r, const Limb* a) noexcept
{
    Limb t[18];
    limbs_square(t, a, 9);
    p521_reduce(r, t);
}

}  // namespace vlrp11
