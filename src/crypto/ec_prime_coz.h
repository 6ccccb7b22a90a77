#pragma once

// Co-Z arithmetic on a prime curve y² = x³ - 3x + b: two points in Jacobian coordinates that
// share one Z, of which only X and Y are kept. Each operation multiplies the common Z by a known
// factor, which is how the caller recovers Z at the end.

#include <cstddef>

#include "crypto/ec_curve.h"
#include "crypto/ec_limbs_fixed.h"

namespace vlrp11 {

// Field arithmetic of one prime curve of N limbs through its descriptor.
template <std::size_t N>
struct PrimeField {
    static constexpr std::size_t n = N;
    const CurveDescriptor& curve;

    explicit PrimeField(const CurveDescriptor& c) noexcept : curve(c) {}

    void mul(Limb* r, const Limb* a, const Limb* b) const noexcept { curve.field_mul(r, a, b); }
    void sqr(Limb* r, const Limb* a) const noexcept { curve.field_sqr(r, a); }
    void add(Limb* r, const Limb* a, const Limb* b) const noexcept
    {
        fixed::mod_add<N>(r, a, b, curve.modulus);
    }
    void sub(Limb* r, const Limb* a, const Limb* b) const noexcept
    {
        fixed::mod_sub<N>(r, a, b, curve.modulus);
    }
};

// X and Y of a co-Z point (the first N limbs of each are used).
struct CozPoint {
    Limb x[EC_MAX_LIMBS];
    Limb y[EC_MAX_LIMBS];
};

// XYcZ-ADD: q ← p + q, p ← p on the new common Z. The common Z is multiplied by x(q) - x(p);
// z_factor, when given, receives that factor.
template <std::size_t N>
void coz_add(const PrimeField<N>& f, CozPoint& p, CozPoint& q, Limb* z_factor = nullptr) noexcept;

// XYcZ-ADDC (conjugate addition): q ← p + q, p ← p - q, on a new common Z.
template <std::size_t N>
void coz_add_conjugate(const PrimeField<N>& f, CozPoint& p, CozPoint& q) noexcept;

// Doubling of the affine point (x, y) on Z = 1 (a = -3): twice ← 2P, once ← P, sharing Z = 2y.
// y = 0 (a zero Z, the point at infinity) gives EC_INVALID_POINT.
template <std::size_t N>
std::uint8_t coz_initial_double(const PrimeField<N>& f, CozPoint& twice, CozPoint& once,
                                const Limb* x, const Limb* y) noexcept;

}  // namespace vlrp11
