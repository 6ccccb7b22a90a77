#include "crypto/ec_prime_coz.h"

// Formulas of Goundar, Joye, Miyaji, Rivain and Venelli, "Scalar multiplication on Weierstraß
// elliptic curves from Co-Z arithmetic" (2011): XYcZ-ADD costs 4M + 2S, XYcZ-ADDC 5M + 3S.

namespace vlrp11 {

template <std::size_t N>
void coz_add(const PrimeField<N>& f, CozPoint& p, CozPoint& q, Limb* z_factor) noexcept
{
    Limb t[EC_MAX_LIMBS], a[EC_MAX_LIMBS], b[EC_MAX_LIMBS], c[EC_MAX_LIMBS], d[EC_MAX_LIMBS];
    f.sub(t, q.x, p.x);
    if (z_factor != nullptr) {
        for (std::size_t i = 0; i < f.n; ++i)
            z_factor[i] = t[i];
    }
    f.sqr(a, t);             // A = (X2 - X1)²
    f.mul(b, p.x, a);        // B = X1·A
    f.mul(c, q.x, a);        // C = X2·A
    f.sub(d, q.y, p.y);      // D = Y2 - Y1
    f.sub(t, c, b);
    f.mul(p.y, p.y, t);      // Y1' = Y1·(C - B)
    f.sqr(q.x, d);
    f.sub(q.x, q.x, b);
    f.sub(q.x, q.x, c);      // X3 = D² - B - C
    f.sub(t, b, q.x);
    f.mul(q.y, d, t);
    f.sub(q.y, q.y, p.y);    // Y3 = D·(B - X3) - Y1'
    for (std::size_t i = 0; i < f.n; ++i)
        p.x[i] = b[i];       // X1' = B
}

template <std::size_t N>
void coz_add_conjugate(const PrimeField<N>& f, CozPoint& p, CozPoint& q) noexcept
{
    Limb t[EC_MAX_LIMBS], a[EC_MAX_LIMBS], b[EC_MAX_LIMBS], c[EC_MAX_LIMBS];
    Limb d[EC_MAX_LIMBS], s[EC_MAX_LIMBS], e[EC_MAX_LIMBS];
    f.sub(t, q.x, p.x);
    f.sqr(a, t);             // A = (X2 - X1)²
    f.mul(b, p.x, a);        // B = X1·A
    f.mul(c, q.x, a);        // C = X2·A
    f.sub(d, q.y, p.y);      // D = Y2 - Y1
    f.add(s, q.y, p.y);      // S = Y2 + Y1, the D of P + (-Q)
    f.sub(t, c, b);
    f.mul(e, p.y, t);        // E = Y1·(C - B)
    f.sqr(q.x, d);
    f.sub(q.x, q.x, b);
    f.sub(q.x, q.x, c);      // X(P + Q) = D² - B - C
    f.sub(t, b, q.x);
    f.mul(q.y, d, t);
    f.sub(q.y, q.y, e);      // Y(P + Q) = D·(B - X) - E
    f.sqr(p.x, s);
    f.sub(p.x, p.x, b);
    f.sub(p.x, p.x, c);      // X(P - Q) = S² - B - C
    f.sub(t, p.x, b);
    f.mul(p.y, s, t);
    f.sub(p.y, p.y, e);      // Y(P - Q) = S·(X - B) - E
}

template <std::size_t N>
std::uint8_t coz_initial_double(const PrimeField<N>& f, CozPoint& twice, CozPoint& once,
                                const Limb* x, const Limb* y) noexcept
{
    if (limbs_is_zero(y, f.n))
        return EC_INVALID_POINT;
    Limb m[EC_MAX_LIMBS], t[EC_MAX_LIMBS], one[EC_MAX_LIMBS] = {1};
    f.sqr(m, x);
    f.sub(m, m, one);
    f.add(t, m, m);
    f.add(m, t, m);          // M = 3(x² - 1) = 3x² + a
    f.sqr(t, y);             // y²
    f.add(t, t, t);          // 2y²
    f.sqr(once.y, t);
    f.add(once.y, once.y, once.y);  // 8y⁴ = y·(2y)³
    f.mul(once.x, x, t);
    f.add(once.x, once.x, once.x);  // S = 4x·y² = x·(2y)²
    f.sqr(twice.x, m);
    f.sub(twice.x, twice.x, once.x);
    f.sub(twice.x, twice.x, once.x);  // X = M² - 2S
    f.sub(t, once.x, twice.x);
    f.mul(twice.y, m, t);
    f.sub(twice.y, twice.y, once.y);  // Y = M·(S - X) - 8y⁴
    return EC_OK;
}

// The limb counts of the prime curves: P-192, P-256, P-384, P-521.
#define VLRP11_COZ_INSTANCES(N)                                                              \
    template void coz_add<N>(const PrimeField<N>&, CozPoint&, CozPoint&, Limb*) noexcept;   \
    template void coz_add_conjugate<N>(const PrimeField<N>&, CozPoint&, CozPoint&) noexcept; \
    template std::uint8_t coz_initial_double<N>(const PrimeField<N>&, CozPoint&, CozPoint&, \
                                                const Limb*, const Limb*) noexcept;
VLRP11_COZ_INSTANCES(3)
VLRP11_COZ_INSTANCES(4)
VLRP11_COZ_INSTANCES(6)
VLRP11_COZ_INSTANCES(9)
#undef VLRP11_COZ_INSTANCES

}  // namespace vlrp11
