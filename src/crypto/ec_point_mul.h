#pragma once

// The per-curve operations shared by the descriptors of one field kind.

#include "crypto/ec_curve.h"

namespace vlrp11 {

// Co-Z Montgomery ladder on a prime curve y² = x³ - 3x + b.
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
