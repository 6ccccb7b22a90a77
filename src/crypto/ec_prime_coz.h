#pragma once

// Co-Z arithmetic on a prime curve y² = x³ - 3x + b: two points in Jacobian coordinates that
// share one Z, of which only X and Y are kept. Each operation multiplies the common Z by a known
// factor, which is how the caller recovers Z at the end.

#include <cstddef>

#include "crypto/ec_curve.h"

namespace vlrp11 {

// Field arithmetic of one prime curve through its descriptor.
struct PrimeField {
    const CurveDescriptor& curve;
    std::size_t n;

    explicit PrimeField(const CurveDescriptor& c) noexcept : curve(c), n(field_limbs(c)) {}

    void mul(Limb* r, const Limb* a, const Limb* b) const noexcept { curve.field_mul(r, a, b); }
    void sqr(Limb* r, const Limb* a) const noexcept { curve.field_sqr(r, a); }
    void add(Limb* r, const Limb* a, const Limb* b) const noexcept
    {
        mod_add(r, a, b, curve.modulus, n);
    }
    void sub(Limb* r, const Limb* a, const Limb* b) const noexcept
    {
        mod_sub(r, a, b, curve.modulus, n);
    }
};

// X and Y of a co-Z point.
struct CozPoint {
    Limb x[EC_MAX_LIMBS];
    Limb y[EC_MAX_LIMBS];
};

// XYcZ-ADD: q ← p + q, p ← p on the new common Z. The common Z is multiplied by x(q) - x(p);
// z_factor, when given, receives that factor.
void coz_add(const PrimeField& f, CozPoint& p, CozPoint& q, Limb* z_factor = nullptr) noexcept;

// XYcZ-ADDC (conjugate addition): q ← p + q, p ← p - q, on a new common Z.
void coz_add_conjugate(const PrimeField& f, CozPoint& p, CozPoint& q) noexcept;

// Doubling of the affine point (x, y) on Z = 1 (a = -3): twice ← 2P, once ← P, sharing Z = 2y.
// y = 0 (a zero Z, the point at infinity) gives EC_INVALID_POINT.
std::uint8_t coz_initial_double(const PrimeField& f, CozPoint& twice, CozPoint& once,
                                const Limb* x, const Limb* y) noexcept;

}  // namespace vlrp11
