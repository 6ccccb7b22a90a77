#pragma once

// The NIST primes, shared by the fast reductions and the curve descriptors.

#include "crypto/ec_hex_limbs.h"

namespace vlrp11 {

inline constexpr auto P192_PRIME = hex_limbs<3>("fffffffffffffffffffffffffffffffeffffffffffffffff");
inline constexpr auto P256_PRIME =
    hex_limbs<4>("ffffffff00000001000000000000000000000000ffffffffffffffffffffffff");
inline constexpr auto P384_PRIME = hex_limbs<6>(
    "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffe"
    "ffffffff0000000000000000ffffffff");
inline constexpr auto P521_PRIME = hex_limbs<9>(
    "1ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
    "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff");

}  // namespace vlrp11
