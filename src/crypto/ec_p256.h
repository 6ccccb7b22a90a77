#pragma once

// P-256 operations of the secure-channel handshake: key generation, ECDH and ECDSA verification.
// Byte forms are fixed: coordinates, scalars and signature halves are 32 big-endian bytes; a
// public key is x ‖ y (64 bytes, no format byte); a signature is r ‖ s (64 bytes). A private
// scalar is 4 native limbs and never leaves the library in byte form.

#include <cstddef>
#include <cstdint>

#include "crypto/ec_bignum.h"

namespace vlrp11 {

inline constexpr std::size_t P256_LIMBS = 4;
inline constexpr std::size_t P256_COORDINATE_BYTES = 32;
inline constexpr std::size_t P256_PUBLIC_KEY_BYTES = 64;
inline constexpr std::size_t P256_SIGNATURE_BYTES = 64;

// The caller's random generator: fills ⌈bits / 8⌉ bytes at out, the spare high bits of the last
// byte cleared, and returns 0 or its own error status.
struct RandomSource {
    void* context;
    std::uint8_t (*generate)(void* context, std::uint8_t* out, std::size_t bits);
};

// d ← a uniform value in [1, n - 1] by rejection sampling; byte i of the generated string
// becomes bits 8i … 8i + 7 of d. Returns 0, or the random source's status at its first failure.
std::uint8_t ec_generate_scalar(Limb* d, const Limb* n, std::size_t limb_count,
                                const RandomSource& random_source) noexcept;

// out (64 bytes) ← d·G; *out_len ← 64. d = 0 or d ≥ n: EC_BAD_PRIVATE_KEY, out untouched.
// Runs in the same time for every valid d.
std::uint8_t ec_public_from_private(std::uint8_t* out, std::size_t* out_len,
                                    const Limb* d) noexcept;

// out (32 bytes) ← x of d·peer. *out_len is 0 until success, then 32. An invalid peer point
// gives EC_INVALID_POINT, a bad d EC_BAD_PRIVATE_KEY.
std::uint8_t ec_shared_secret(std::uint8_t* out, std::size_t* out_len, const Limb* d,
                              const std::uint8_t* peer) noexcept;

// 0 when signature (r ‖ s) is valid for the 32-byte hash under public_key (x ‖ y, not checked
// to lie on the curve); EC_SIGNATURE_INVALID when rejected; EC_INVALID_POINT for a key with
// y = 0; EC_INVERSE_OF_ZERO when u1·G + u2·Q is the point at infinity. A hash ≡ 0 mod n
// (u1 = 0) and u1·G = u2·Q are verified like any other.
std::uint8_t ecdsa_verify(const std::uint8_t* public_key, const std::uint8_t* hash,
                          const std::uint8_t* signature) noexcept;

// R ← R + Q for two affine P-256 points; equal x coordinates give EC_INVERSE_OF_ZERO.
std::uint8_t ec_point_add_affine(Limb* rx, Limb* ry, const Limb* qx, const Limb* qy) noexcept;

// EC_INVALID_POINT unless (x, y) is an affine point of P-256 with coordinates below p.
std::uint8_t ec_valid_point(const Limb* x, const Limb* y) noexcept;

}  // namespace vlrp11
