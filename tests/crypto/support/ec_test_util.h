#pragma once

// Helpers of the elliptic-curve tests: hexadecimal constants, the curve table, and affine point
// arithmetic written from the textbook formulas, independent of the library's projective code.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/ec_curve.h"

namespace vlrp11::ec_test {

using Value = std::array<Limb, EC_MAX_LIMBS>;

// Big-endian hexadecimal to native limbs, the unused ones zero.
Value limbs_from_hex(std::string_view hex);
std::string hex_of(const Limb* value, std::size_t n);

struct NamedCurve {
    const char* name;
    const CurveDescriptor* curve;
};
// All thirteen descriptors with a printable name each.
const std::vector<NamedCurve>& all_curves();

struct AffinePoint {
    Value x{};
    Value y{};
    bool infinity = false;
};

bool on_curve(const CurveDescriptor& curve, const AffinePoint& p);
AffinePoint negate(const CurveDescriptor& curve, const AffinePoint& p);
AffinePoint affine_add(const CurveDescriptor& curve, const AffinePoint& p, const AffinePoint& q);
AffinePoint base_point(const CurveDescriptor& curve);

}  // namespace vlrp11::ec_test
