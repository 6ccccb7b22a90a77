// The device's EC (NIST P-256/384/521) and RSA keys, kept as DER and used through OpenSSL:
// generation, the public key as the device reports it, ECDSA and the raw RSA private-key
// operation. Every call parses the stored key afresh, so nothing outlives a command.
#pragma once

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vlrp11::sim {

// Field size in bytes of the NIST curve with this CurveId (4, 8, 16); 0 for any other.
std::size_t nist_curve_bytes(std::uint16_t curve_id);

// A new key as SEC 1 ECPrivateKey DER; empty on failure or an unknown CurveId.
std::vector<std::uint8_t> ec_generate(std::uint16_t curve_id);
// X ‖ Y, each of the curve's field size; empty when the key does not parse.
std::vector<std::uint8_t> ec_public_point(std::span<const std::uint8_t> private_der);
// ECDSA over the given hash (used as given, as ECDSA truncates it): r ‖ s, each of the field
// size; empty on failure.
std::vector<std::uint8_t> ecdsa_sign(std::span<const std::uint8_t> private_der, std::size_t field_bytes,
                                     std::span<const std::uint8_t> hash);
std::vector<std::uint8_t> ecdsa_sign(EVP_PKEY* key, std::size_t field_bytes, std::span<const std::uint8_t> hash);

// A new key with public exponent 65537 as PKCS#1 RSAPrivateKey DER; empty on failure.
std::vector<std::uint8_t> rsa_generate(unsigned bits);
// The PKCS#1 RSAPublicKey DER; empty when the key does not parse.
std::vector<std::uint8_t> rsa_public_key(std::span<const std::uint8_t> private_der);
// m^d mod n for an input of exactly the modulus length and below the modulus; empty otherwise.
std::vector<std::uint8_t> rsa_private_operation(std::span<const std::uint8_t> private_der,
                                                std::span<const std::uint8_t> input);

}  // namespace vlrp11::sim
