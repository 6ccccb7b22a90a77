// Owning handles for the OpenSSL objects the device keeps, and the byte conversions every key
// operation needs. Nothing here holds state between calls.
#pragma once

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vlrp11::sim {

struct BnDelete { void operator()(BIGNUM* p) const { BN_clear_free(p); } };
struct BnCtxDelete { void operator()(BN_CTX* p) const { BN_CTX_free(p); } };
struct EcGroupDelete { void operator()(EC_GROUP* p) const { EC_GROUP_free(p); } };
struct EcPointDelete { void operator()(EC_POINT* p) const { EC_POINT_clear_free(p); } };
struct PkeyDelete { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct PkeyCtxDelete { void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); } };
struct CipherCtxDelete { void operator()(EVP_CIPHER_CTX* p) const { EVP_CIPHER_CTX_free(p); } };

using Bn = std::unique_ptr<BIGNUM, BnDelete>;
using BnCtx = std::unique_ptr<BN_CTX, BnCtxDelete>;
using EcGroup = std::unique_ptr<EC_GROUP, EcGroupDelete>;
using EcPoint = std::unique_ptr<EC_POINT, EcPointDelete>;
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDelete>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDelete>;
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDelete>;

inline Bn bn_new() { return Bn(BN_new()); }
inline BnCtx bn_ctx_new() { return BnCtx(BN_CTX_new()); }

// Big-endian bytes to a number; an empty span gives 0.
Bn bn_from_bytes(std::span<const std::uint8_t> bytes);
// Hexadecimal digits, most significant first, to a number (for the fixed curve tables).
Bn bn_from_hex(const char* hex);
// The number as exactly `length` big-endian bytes; false when it does not fit.
bool bn_to_bytes(const BIGNUM* value, std::size_t length, std::uint8_t* out);
std::vector<std::uint8_t> bn_to_vector(const BIGNUM* value, std::size_t length);

// Fills with bytes from OpenSSL's generator; false when it fails.
bool random_bytes(std::span<std::uint8_t> out);

// Overwrites key material that the device no longer needs.
void wipe(std::span<std::uint8_t> bytes);
void wipe(std::vector<std::uint8_t>& bytes);

}  // namespace vlrp11::sim
