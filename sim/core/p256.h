#pragma once

// NIST P-256 through OpenSSL, in the byte formats of the device protocol: public keys as X then
// Y (32 bytes each, big-endian), signatures as r then s over SHA-256 of the message.

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vlrp11::sim {

struct EvpKeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using EvpKey = std::unique_ptr<EVP_PKEY, EvpKeyFree>;

using P256Point = std::array<std::uint8_t, 64>;
using P256Signature = std::array<std::uint8_t, 64>;

EvpKey p256_generate();
EvpKey p256_private_from_pem(const std::string& pem);
std::string p256_private_to_pem(EVP_PKEY* key);
// Null when the bytes are not a point of the curve.
EvpKey p256_public_from_point(std::span<const std::uint8_t, 64> point);
P256Point p256_public_point(EVP_PKEY* key);
std::optional<P256Signature> p256_sign_sha256(EVP_PKEY* key, std::span<const std::uint8_t> message);
bool p256_verify_sha256(EVP_PKEY* public_key, std::span<const std::uint8_t> message,
                        std::span<const std::uint8_t, 64> signature);
// X coordinate of private · peer; nullopt on failure.
std::optional<std::array<std::uint8_t, 32>> p256_shared_x(EVP_PKEY* private_key, EVP_PKEY* peer);
std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> data);

}  // namespace vlrp11::sim
