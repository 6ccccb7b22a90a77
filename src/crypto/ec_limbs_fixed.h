#pragma once

// Limb arithmetic for a limb count known at compile time, inline so that the per-curve code of
// the hot paths compiles to straight carry chains.

#include <immintrin.h>

#include <cstddef>
#include <utility>

#include "crypto/ec_bignum.h"

namespace vlrp11::fixed {

// The carry intrinsics compile to plain add-with-carry chains on every x86-64 compiler.
template <std::size_t N>
inline Limb add(Limb* r, const Limb* a, const Limb* b) noexcept
{
    unsigned char carry = 0;
    for (std::size_t i = 0; i < N; ++i) {
        unsigned long long s;
        carry = _addcarry_u64(carry, a[i], b[i], &s);
        r[i] = s;
    }
    return carry;
}

template <std::size_t N>
inline Limb sub(Limb* r, const Limb* a, const Limb* b) noexcept
{
    unsigned char borrow = 0;
    for (std::size_t i = 0; i < N; ++i) {
        unsigned long long d;
        borrow = _subborrow_u64(borrow, a[i], b[i], &d);
        r[i] = d;
    }
    return borrow;
}

// r = mask ? a : b for a mask of all ones or zero.
template <std::size_t N>
inline void select(Limb* r, Limb mask, const Limb* a, const Limb* b) noexcept
{
    for (std::size_t i = 0; i < N; ++i)
        r[i] = (a[i] & mask) | (b[i] & ~mask);
}

// r = a + b mod m for a, b < m: subtract m when the sum carried out or is not below m.
template <std::size_t N>
inline void mod_add(Limb* r, const Limb* a, const Limb* b, const Limb* m) noexcept
{
    Limb sum[N], reduced[N];
    const Limb carry = add<N>(sum, a, b);
    const Limb borrow = sub<N>(reduced, sum, m);
    select<N>(r, 0 - (carry | (borrow ^ 1)), reduced, sum);
}

// r = a - b mod m: add m back when the subtraction borrowed.
template <std::size_t N>
inline void mod_sub(Limb* r, const Limb* a, const Limb* b, const Limb* m) noexcept
{
    Limb diff[N], masked[N];
    const Limb mask = 0 - sub<N>(diff, a, b);
    for (std::size_t i = 0; i < N; ++i)
        masked[i] = m[i] & mask;
    add<N>(r, diff, masked);
}

// Product scanning: column k of the product collects every a[i]·b[k - i] in a three-limb
// accumulator before its low limb is stored. Columns and terms are expanded at compile time:
// left as loops with varying bounds, compilers keep them rolled.
struct Accumulator {
    DoubleLimb low = 0;
    Limb high = 0;

    void add(DoubleLimb t) noexcept { high += __builtin_add_overflow(low, t, &low); }
    void twice() noexcept
    {
        high = (high << 1) | static_cast<Limb>(low >> 127);
        low <<= 1;
    }
    Limb take() noexcept
    {
        const Limb out = static_cast<Limb>(low);
        low = (low >> 64) | (DoubleLimb{high} << 64);
        high = 0;
        return out;
    }
};

template <std::size_t N, std::size_t K, std::size_t... I>
inline void mul_column(Accumulator& acc, const Limb* a, const Limb* b,
                       std::index_sequence<I...>) noexcept
{
    ((I <= K && K - I < N ? acc.add(DoubleLimb{a[I]} * b[K - I]) : void()), ...);
}

// The cross products a[i]·a[k - i], i < k - i, of column k.
template <std::size_t N, std::size_t K, std::size_t... I>
inline void cross_column(Accumulator& acc, const Limb* a, std::index_sequence<I...>) noexcept
{
    ((I <= K && K - I < N && I < K - I ? acc.add(DoubleLimb{a[I]} * a[K - I]) : void()), ...);
}

template <std::size_t N>
inline void mul(Limb* product, const Limb* a, const Limb* b) noexcept
{
    Accumulator acc;
    [&]<std::size_t... K>(std::index_sequence<K...>) {
        ((mul_column<N, K>(acc, a, b, std::make_index_sequence<N>{}), product[K] = acc.take()),
         ...);
    }(std::make_index_sequence<2 * N - 1>{});
    product[2 * N - 1] = acc.take();
}

// The cross products are summed once and doubled before the square term is added.
template <std::size_t N, std::size_t K>
inline void square_column(Accumulator& acc, const Limb* a) noexcept
{
    Accumulator cross;
    cross_column<N, K>(cross, a, std::make_index_sequence<N>{});
    cross.twice();
    acc.add(cross.low);
    acc.high += cross.high;
    if constexpr (K % 2 == 0)
        acc.add(DoubleLimb{a[K / 2]} * a[K / 2]);
}

template <std::size_t N>
inline void square(Limb* product, const Limb* a) noexcept
{
    Accumulator acc;
    [&]<std::size_t... K>(std::index_sequence<K...>) {
        ((square_column<N, K>(acc, a), product[K] = acc.take()), ...);
    }(std::make_index_sequence<2 * N - 1>{});
    product[2 * N - 1] = acc.take();
}

}  // namespace vlrp11::fixed
