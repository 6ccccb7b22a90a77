#pragma once

// Big numbers for the elliptic-curve library: arrays of 64-bit limbs, least significant limb
// first. Every operation takes the limb count N; outputs may alias inputs unless noted.

#include <cstddef>
#include <cstdint>

#include "crypto/ec_status.h"

namespace vlrp11 {

using Limb = std::uint64_t;
using DoubleLimb = unsigned __int128;

// The widest value the curves need: 571 bits (K-571, B-571) and 521 bits (P-521).
inline constexpr std::size_t EC_MAX_LIMBS = 9;

// Places the big-endian string of `length` bytes into (length + 7) / 8 limbs.
void bytes_to_native(Limb* limbs, const std::uint8_t* bytes, std::size_t length) noexcept;
// The reverse: writes the low 8·length bits of the limbs as `length` big-endian bytes.
void native_to_bytes(std::uint8_t* bytes, std::size_t length, const Limb* limbs) noexcept;

// +1, 0 or -1 by the sign of left - right. Runs the full subtraction whatever the values, so
// its time depends on n alone.
int limbs_compare(const Limb* left, const Limb* right, std::size_t n) noexcept;

bool limbs_is_zero(const Limb* a, std::size_t n) noexcept;
// Number of significant bits: 0 for zero.
std::size_t limbs_bit_length(const Limb* a, std::size_t n) noexcept;

inline bool limbs_bit(const Limb* a, std::size_t i) noexcept
{
    return ((a[i / 64] >> (i % 64)) & 1) != 0;
}

// r = a + b, returns the carry out; r = a - b, returns the borrow out.
Limb limbs_add(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept;
Limb limbs_sub(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept;

// r = a shifted left by bits (0..63); returns the bits shifted out of the top limb.
Limb lshift(Limb* r, const Limb* a, std::size_t n, unsigned bits) noexcept;

// product (2n limbs, must not alias the inputs) = a · b, or a².
void limbs_mul(Limb* product, const Limb* a, const Limb* b, std::size_t n) noexcept;
void limbs_square(Limb* product, const Limb* a, std::size_t n) noexcept;

// r (n limbs) = product (2n limbs) mod modulus, by a fixed sequence of shift-and-subtract steps.
void limbs_mod_reduce(Limb* r, const Limb* product, const Limb* modulus, std::size_t n) noexcept;

// Modular arithmetic for a, b below the modulus.
void mod_add(Limb* r, const Limb* a, const Limb* b, const Limb* modulus, std::size_t n) noexcept;
void mod_sub(Limb* r, const Limb* a, const Limb* b, const Limb* modulus, std::size_t n) noexcept;
void mod_mult(Limb* r, const Limb* a, const Limb* b, const Limb* modulus, std::size_t n) noexcept;
// r = a⁻¹ mod modulus (odd modulus). Inverting zero gives r = 0 and EC_INVERSE_OF_ZERO.
std::uint8_t mod_inv(Limb* r, const Limb* a, const Limb* modulus, std::size_t n) noexcept;

}  // namespace vlrp11
