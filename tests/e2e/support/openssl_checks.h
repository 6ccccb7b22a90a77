#pragma once

// OpenSSL as the outside judge of what the device's keys did: RSA and ECDSA verification with
// the public key as the device gave it, and RSA public-key operations that make ciphertexts for
// the device to decrypt.

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace vlrp11::testing {

struct PkeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

// An RSA public key from its RSAPublicKey DER.
Pkey rsa_public(const std::vector<std::uint8_t>& der);

// PKCS#1 v1.5 verification of a signature over a hash made with the named digest.
bool rsa_verifies(EVP_PKEY* key, const char* hash_name, const std::vector<std::uint8_t>& hash,
                  const std::vector<std::uint8_t>& signature);

// ECDSA verification on the curve with public point X ‖ Y and a signature r ‖ s.
bool ecdsa_verifies(int nid, const std::vector<std::uint8_t>& xy, const std::vector<std::uint8_t>& hash,
                    const std::vector<std::uint8_t>& signature);

// The RSA public-key operation with the padding (RSA_PKCS1_PADDING, RSA_NO_PADDING).
std::vector<std::uint8_t> rsa_public_op(EVP_PKEY* key, const std::vector<std::uint8_t>& input, int padding);

}  // namespace vlrp11::testing
