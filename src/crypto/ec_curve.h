#pragma once

// Curve descriptors: one constant record per curve with its parameters and the four operations
// generic code reaches it through. Descriptors are constant and shared; every operation keeps its
// working storage on the caller's stack.

#include <cstddef>
#include <cstdint>

#include "crypto/ec_bignum.h"

namespace vlrp11 {

struct CurveDescriptor;

// r = a·b and r = a² in the curve's field; r may alias a or b.
using FieldMulFn = void (*)(Limb* r, const Limb* a, const Limb* b) noexcept;
using FieldSqrFn = void (*)(Limb* r, const Limb* a) noexcept;
// Reduces a value of the field's size modulo the group order n, in place.
using ReduceModOrderFn = void (*)(const CurveDescriptor& curve, Limb* value) noexcept;
// Exactly one of k_base (k·G) and k_point (k·P for P = (px, py)) is given; scalars have the
// order's limb count. The affine result goes to rx and, unless ry is null, to ry.
using PointMulFn = std::uint8_t (*)(const CurveDescriptor& curve, Limb* rx, Limb* ry,
                                    const Limb* k_base, const Limb* px, const Limb* py,
                                    const Limb* k_point) noexcept;

inline constexpr std::uint32_t FIELD_PRIME = 0;
inline constexpr std::uint32_t FIELD_BINARY = 1;

struct CurveDescriptor {
    std::uint32_t field_kind;  // FIELD_PRIME or FIELD_BINARY
    std::uint32_t a_flag;      // binary: the coefficient a (0 or 1); prime: 1, a given by `a`
    std::uint32_t field_bits;  // bit length of p, or m
    std::uint32_t order_bits;  // bit length of n
    const Limb* a;             // prime: p - 3; binary: null
    const Limb* b;
    // Prime: p as limbs. Binary: the reduction polynomial's exponents {m, k1, k2, k3}, middle
    // ones descending, 0 where the polynomial has fewer terms (x^m and 1 are always present).
    const std::uint64_t* modulus;
    const Limb* order;
    const Limb* gx;
    const Limb* gy;
    const void* reserved;  // null
    FieldMulFn field_mul;
    FieldSqrFn field_sqr;
    ReduceModOrderFn reduce_mod_order;
    PointMulFn point_mul;
};

inline std::size_t field_limbs(const CurveDescriptor& curve) noexcept
{
    return (curve.field_bits + 63) / 64;
}

inline std::size_t order_limbs(const CurveDescriptor& curve) noexcept
{
    return (curve.order_bits + 63) / 64;
}

extern const CurveDescriptor EC_P192;
extern const CurveDescriptor EC_P256;
extern const CurveDescriptor EC_P384;
extern const CurveDescriptor EC_P521;
extern const CurveDescriptor EC_B163;
extern const CurveDescriptor EC_DSTU4145_163;
extern const CurveDescriptor EC_DSTU4145_233;
extern const CurveDescriptor EC_DSTU4145_257;
extern const CurveDescriptor EC_DSTU4145_307;
extern const CurveDescriptor EC_DSTU4145_367;
extern const CurveDescriptor EC_DSTU4145_431;
extern const CurveDescriptor EC_K571;
extern const CurveDescriptor EC_B571;

}  // namespace vlrp11
