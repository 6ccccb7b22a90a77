#include "crypto/ec_bignum.h"

namespace vlrp11 {

void bytes_to_native(Limb* limbs, const std::uint8_t* bytes, std::size_t length) noexcept
{
    for (std::size_t i = 0; i < (length + 7) / 8; ++i)
        limbs[i] = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t bit = 8 * (length - 1 - i);
        limbs[bit / 64] |= Limb{bytes[i]} << (bit % 64);
    }
}

void native_to_bytes(std::uint8_t* bytes, std::size_t length, const Limb* limbs) noexcept
{
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t bit = 8 * (length - 1 - i);
        bytes[i] = static_cast<std::uint8_t>(limbs[bit / 64] >> (bit % 64));
    }
}

int limbs_compare(const Limb* left, const Limb* right, std::size_t n) noexcept
{
    Limb borrow = 0;
    Limb differs = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const DoubleLimb d = DoubleLimb{left[i]} - right[i] - borrow;
        differs |= static_cast<Limb>(d);
        borrow = static_cast<Limb>(d >> 64) & 1;
    }
    const int nonzero = static_cast<int>((differs | (0 - differs)) >> 63);
    return nonzero - 2 * static_cast<int>(borrow);
}

bool limbs_is_zero(const Limb* a, std::size_t n) noexcept
{
    Limb any = 0;
    for (std::size_t i = 0; i < n; ++i)
        any |= a[i];
    return any == 0;
}

std::size_t limbs_bit_length(const Limb* a, std::size_t n) noexcept
{
    for (std::size_t i = n; i-- > 0;) {
        if (a[i] != 0)
            return 64 * i + 64 - static_cast<std::size_t>(__builtin_clzll(a[i]));
    }
    return 0;
}

Limb limbs_add(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept
{
    Limb carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const DoubleLimb s = DoubleLimb{a[i]} + b[i] + carry;
        r[i] = static_cast<Limb>(s);
        carry = static_cast<Limb>(s >> 64);
    }
    return carry;
}

Limb limbs_sub(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept
{
    Limb borrow = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const DoubleLimb d = DoubleLimb{a[i]} - b[i] - borrow;
        r[i] = static_cast<Limb>(d);
        borrow = static_cast<Limb>(d >> 64) & 1;
    }
    return borrow;
}

Limb lshift(Limb* r, const Limb* a, std::size_t n, unsigned bits) noexcept
{
    if (bits == 0) {
        for (std::size_t i = 0; i < n; ++i)
            r[i] = a[i];
        return 0;
    }
    const Limb out = a[n - 1] >> (64 - bits);
    for (std::size_t i = n - 1; i > 0; --i)
        r[i] = (a[i] << bits) | (a[i - 1] >> (64 - bits));
    r[0] = a[0] << bits;
    return out;
}

namespace {

// r = mask ? a : b, without a branch on mask (all ones or zero).
void limbs_select(Limb* r, Limb mask, const Limb* a, const Limb* b, std::size_t n) noexcept
{
    for (std::size_t i = 0; i < n; ++i)
        r[i] = (a[i] & mask) | (b[i] & ~mask);
}

void rshift1(Limb* a, std::size_t n, Limb top) noexcept
{
    for (std::size_t i = 0; i + 1 < n; ++i)
        a[i] = (a[i] >> 1) | (a[i + 1] << 63);
    a[n - 1] = (a[n - 1] >> 1) | (top << 63);
}

// r = r / 2 mod modulus: odd values get the modulus added first, the carry entering the top bit.
void mod_half(Limb* r, const Limb* modulus, std::size_t n) noexcept
{
    Limb carry = 0;
    if (r[0] & 1)
        carry = limbs_add(r, r, modulus, n);
    rshift1(r, n, carry);
}

bool limbs_is_one(const Limb* a, std::size_t n) noexcept
{
    return a[0] == 1 && limbs_is_zero(a + 1, n - 1);
}

}  // namespace

void mod_add(Limb* r, const Limb* a, const Limb* b, const Limb* modulus, std::size_t n) noexcept
{
    Limb sum[EC_MAX_LIMBS];
    Limb reduced[EC_MAX_LIMBS];
    const Limb carry = limbs_add(sum, a, b, n);
    const Limb borrow = limbs_sub(reduced, sum, modulus, n);
    limbs_select(r, 0 - (carry | (borrow ^ 1)), reduced, sum, n);
}

void mod_sub(Limb* r, const Limb* a, const Limb* b, const Limb* modulus, std::size_t n) noexcept
{
    Limb diff[EC_MAX_LIMBS];
    Limb masked[EC_MAX_LIMBS];
    const Limb mask = 0 - limbs_sub(diff, a, b, n);
    for (std::size_t i = 0; i < n; ++i)
        masked[i] = modulus[i] & mask;
    limbs_add(r, diff, masked, n);
}

void mod_mult(Limb* r, const Limb* a, const Limb* b, const Limb* modulus, std::size_t n) noexcept
{
    Limb product[2 * EC_MAX_LIMBS];
    limbs_mul(product, a, b, n);
    limbs_mod_reduce(r, product, modulus, n);
}

void limbs_mod_reduce(Limb* r, const Limb* product, const Limb* modulus, std::size_t n) noexcept
{
    const std::size_t wide = 2 * n;
    const std::size_t shift = 128 * n - limbs_bit_length(modulus, n);
    Limb rem[2 * EC_MAX_LIMBS];
    Limb aligned[2 * EC_MAX_LIMBS] = {};
    Limb trial[2 * EC_MAX_LIMBS];
    for (std::size_t i = 0; i < wide; ++i)
        rem[i] = product[i];
    for (std::size_t i = 0; i < n; ++i)
        aligned[i + shift / 64] = modulus[i];
    lshift(aligned, aligned, wide, static_cast<unsigned>(shift % 64));
    for (std::size_t step = 0; step <= shift; ++step) {
        const Limb borrow = limbs_sub(trial, rem, aligned, wide);
        limbs_select(rem, borrow - 1, trial, rem, wide);
        rshift1(aligned, wide, 0);
    }
    for (std::size_t i = 0; i < n; ++i)
        r[i] = rem[i];
}

std::uint8_t mod_inv(Limb* r, const Limb* a, const Limb* modulus, std::size_t n) noexcept
{
    if (limbs_is_zero(a, n)) {
        for (std::size_t i = 0; i < n; ++i)
            r[i] = 0;
        return EC_INVERSE_OF_ZERO;
    }
    Limb u[EC_MAX_LIMBS], v[EC_MAX_LIMBS], x1[EC_MAX_LIMBS] = {1}, x2[EC_MAX_LIMBS] = {};
    for (std::size_t i = 0; i < n; ++i) {
        u[i] = a[i];
        v[i] = modulus[i];
    }
    // Invariants: x1·a ≡ u and x2·a ≡ v (mod m). For a prime modulus u and v stay positive
    // and one of them reaches 1.
    for (;;) {
        while ((u[0] & 1) == 0) {
            rshift1(u, n, 0);
            mod_half(x1, modulus, n);
        }
        while ((v[0] & 1) == 0) {
            rshift1(v, n, 0);
            mod_half(x2, modulus, n);
        }
        const Limb* result = limbs_is_one(u, n) ? x1 : limbs_is_one(v, n) ? x2 : nullptr;
        if (result != nullptr) {
            for (std::size_t i = 0; i < n; ++i)
                r[i] = result[i];
            return EC_OK;
        }
        if (limbs_compare(u, v, n) >= 0) {
            limbs_sub(u, u, v, n);
            mod_sub(x1, x1, x2, modulus, n);
        } else {
            limbs_sub(v, v, u, n);
            mod_sub(x2, x2, x1, modulus, n);
        }
        if (limbs_is_zero(u, n) || limbs_is_zero(v, n))
            break;
    }
    // a shares a factor with the modulus: no inverse exists.
    for (std::size_t i = 0; i < n; ++i)
        r[i] = 0;
    return EC_INVERSE_OF_ZERO;
}

}  // namespace vlrp11
