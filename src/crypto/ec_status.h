#pragma once

#include <cstdint>

namespace vlrp11 {

// Statuses of the elliptic-curve library; 0 is success.
inline constexpr std::uint8_t EC_OK = 0;
// x = y = 0, a coordinate out of range, a point off the curve, or the point at infinity met
// where an affine point is needed.
inline constexpr std::uint8_t EC_INVALID_POINT = 202;
// point_mul given neither or both scalars, or a zero scalar.
inline constexpr std::uint8_t EC_BAD_SCALAR = 209;
// A private scalar that is zero or not below the group order.
inline constexpr std::uint8_t EC_BAD_PRIVATE_KEY = 212;
// Inversion of zero; also where an addition of two equal points ends.
inline constexpr std::uint8_t EC_INVERSE_OF_ZERO = 245;
// ECDSA signature rejected (-4 read as a signed byte).
inline constexpr std::uint8_t EC_SIGNATURE_INVALID = 252;

}  // namespace vlrp11
