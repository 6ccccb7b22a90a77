#pragma once

// The per-curve operations shared by the descriptors of one field kind.

#include "crypto/ec_curve.h"

namespace vlrp11 {

// The scalar and the point of one point_mul call: k·G when only k_base is given, k·(px, py)
// when only k_point is. Neither or both give false.
struct PointMulOperands {
    const Limb* k;
    const Limb* x;
    const Limb* y;
};

inline bool point_mul_operands(const CurveDescriptor& curve, const Limb* k_base, const Limb* px,
                               const Limb* py, const Limb* k_point, PointMulOperands& out) noexcept
{
    if ((k_base == nullptr) == (k_point == nullptr))
        return false;
    out = k_base != nullptr ? PointMulOperands{k_base, curve.gx, curve.gy}
                            : PointMulOperands{k_point, px, py};
    return true;
}

// Co-Z Montgomery ladder on a prime curve y² = x³ - 3x + b. The two inputs the ladder cannot
// finish are answered around it: the scalar n - 1 gives -P, and a point with x = 0 is
// multiplied as 2P by k/2 mod n.
std::uint8_t prime_point_mul(const CurveDescriptor& curve, Limb* rx, Limb* ry,
                             const Limb* k_base, const Limb* px, const Limb* py,
                             const Limb* k_point) noexcept;
// 3k signed binary method in López–Dahab coordinates on y² + xy = x³ + a·x² + b.
std::uint8_t binary_point_mul(const CurveDescriptor& curve, Limb* rx, Limb* ry,
                              const Limb* k_base, const Limb* px, const Limb* py,
                              const Limb* k_point) noexcept;

// A value of a prime curve's field size is below 2n: one conditional subtraction.
void prime_reduce_mod_order(const CurveDescriptor& curve, Limb* value) noexcept;
// Binary curves subtract n until the value is below it.
void binary_reduce_mod_order(const CurveDescriptor& curve, Limb* value) noexcept;

}  // namespace vlrp11
