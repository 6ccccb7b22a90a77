#include "crypto/ec_gf2m.h"

#include "platform/cpu_features.h"

namespace vlrp11 {
namespace {

// CPUID leaf 1, ECX bit 1: PCLMULQDQ. Read once when the library loads.
const bool has_clmul = (cpuid(1).ecx & (1u << 1)) != 0;

// The three top bits of a stay out of the table so that its entries (a_low times a polynomial
// of degree below 4) fit 64 bits; they are added afterwards as shifted copies of b.
Gf2Product mul_1x1(Limb a, Limb b) noexcept
{
    const Limb a1 = a & 0x1FFFFFFFFFFFFFFF;
    const Limb a2 = a1 << 1;
    const Limb a4 = a1 << 2;
    const Limb a8 = a1 << 3;
    const Limb table[16] = {
        0,       a1,           a2,           a1 ^ a2,      a4,           a1 ^ a4,
        a2 ^ a4, a1 ^ a2 ^ a4, a8,           a1 ^ a8,      a2 ^ a8,      a1 ^ a2 ^ a8,
        a4 ^ a8, a1 ^ a4 ^ a8, a2 ^ a4 ^ a8, a1 ^ a2 ^ a4 ^ a8,
    };
    Limb low = table[b & 15];
    Limb high = 0;
    for (unsigned i = 4; i < 64; i += 4) {
        const Limb s = table[(b >> i) & 15];
        low ^= s << i;
        high ^= s >> (64 - i);
    }
    for (unsigned i = 61; i < 64; ++i) {
        const Limb mask = 0 - ((a >> i) & 1);
        low ^= (b << i) & mask;
        high ^= (b >> (64 - i)) & mask;
    }
    return {low, high};
}

// (a1·x + a0)(b1·x + b0), x = 2^64, with three 1×1 products.
void mul_2x2(Limb* r, Limb a0, Limb a1, Limb b0, Limb b1) noexcept
{
    const Gf2Product low = mul_1x1(a0, b0);
    const Gf2Product high = mul_1x1(a1, b1);
    const Gf2Product mid = mul_1x1(a0 ^ a1, b0 ^ b1);
    r[0] = low.low;
    r[1] = low.high ^ mid.low ^ low.low ^ high.low;
    r[2] = high.low ^ mid.high ^ low.high ^ high.high;
    r[3] = high.high;
}

Limb spread_bits(std::uint32_t half) noexcept
{
    Limb x = half;
    x = (x | (x << 16)) & 0x0000FFFF0000FFFF;
    x = (x | (x << 8)) & 0x00FF00FF00FF00FF;
    x = (x | (x << 4)) & 0x0F0F0F0F0F0F0F0F;
    x = (x | (x << 2)) & 0x3333333333333333;
    x = (x | (x << 1)) & 0x5555555555555555;
    return x;
}

std::size_t degree(const Limb* a, std::size_t n) noexcept
{
    return limbs_bit_length(a, n) - 1;
}

// r ^= a·x^shift, all n limbs wide; bits shifted past the top are dropped.
void xor_shifted(Limb* r, const Limb* a, std::size_t n, std::size_t shift) noexcept
{
    const std::size_t words = shift / 64;
    const unsigned bits = shift % 64;
    for (std::size_t i = n; i-- > words;) {
        Limb w = a[i - words] << bits;
        if (bits != 0 && i > words)
            w |= a[i - words - 1] >> (64 - bits);
        r[i] ^= w;
    }
}

void swap_limbs(Limb* a, Limb* b, std::size_t n) noexcept
{
    for (std::size_t i = 0; i < n; ++i) {
        const Limb t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

}  // namespace

Gf2Product gf2_mul_1x1(Limb a, Limb b) noexcept
{
    return mul_1x1(a, b);
}

bool gf2_has_clmul() noexcept
{
    return has_clmul;
}

void gf2_mul_table(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept
{
    const std::size_t pairs = (n + 1) / 2;
    Limb wide[4 * ((EC_MAX_LIMBS + 1) / 2)] = {};
    for (std::size_t i = 0; i < pairs; ++i) {
        const Limb a0 = a[2 * i];
        const Limb a1 = 2 * i + 1 < n ? a[2 * i + 1] : 0;
        for (std::size_t j = 0; j < pairs; ++j) {
            Limb part[4];
            mul_2x2(part, a0, a1, b[2 * j], 2 * j + 1 < n ? b[2 * j + 1] : 0);
            for (std::size_t t = 0; t < 4; ++t)
                wide[2 * (i + j) + t] ^= part[t];
        }
    }
    for (std::size_t i = 0; i < 2 * n; ++i)
        r[i] = wide[i];
}

void gf2_sqr_table(Limb* r, const Limb* a, std::size_t n) noexcept
{
    for (std::size_t i = 0; i < n; ++i) {
        r[2 * i] = spread_bits(static_cast<std::uint32_t>(a[i]));
        r[2 * i + 1] = spread_bits(static_cast<std::uint32_t>(a[i] >> 32));
    }
}

void gf2_mul(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept
{
    if (a == b)
        gf2_sqr(r, a, n);
    else if (has_clmul)
        gf2_mul_clmul(r, a, b, n);
    else
        gf2_mul_table(r, a, b, n);
}

void gf2_sqr(Limb* r, const Limb* a, std::size_t n) noexcept
{
    if (has_clmul)
        gf2_sqr_clmul(r, a, n);
    else
        gf2_sqr_table(r, a, n);
}

std::uint8_t gf2_inv(Limb* r, const Limb* a, const std::uint64_t* poly) noexcept
{
    const std::size_t n = gf2_limbs(poly);
    if (limbs_is_zero(a, n)) {
        for (std::size_t i = 0; i < n; ++i)
            r[i] = 0;
        return EC_INVERSE_OF_ZERO;
    }
    Limb u[EC_MAX_LIMBS], v[EC_MAX_LIMBS] = {}, b[EC_MAX_LIMBS] = {1}, c[EC_MAX_LIMBS] = {};
    for (std::size_t i = 0; i < n; ++i)
        u[i] = a[i];
    v[0] = 1;
    for (int t = 0; t < 4 && poly[t] != 0; ++t)
        v[poly[t] / 64] |= Limb{1} << (poly[t] % 64);
    // Invariants: b·a ≡ u and c·a ≡ v (mod f); the degree of u or v falls at every step.
    while (degree(u, n) != 0) {
        if (degree(u, n) < degree(v, n)) {
            swap_limbs(u, v, n);
            swap_limbs(b, c, n);
        }
        const std::size_t j = degree(u, n) - degree(v, n);
        xor_shifted(u, v, n, j);
        xor_shifted(b, c, n, j);
    }
    for (std::size_t i = 0; i < n; ++i)
        r[i] = b[i];
    return EC_OK;
}

}  // namespace vlrp11
