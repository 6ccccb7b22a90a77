#pragma once

// P-256 helpers on OpenSSL for tests and benchmarks that play a device: keys, the byte forms
// the device protocol uses (X ‖ Y and r ‖ s, 32 bytes each, big-endian) and signatures over
// SHA-256.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/obj_mac.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace vlrp11::testing {

inline EC_KEY* new_p256_key()
{
    EC_KEY* key = EC_KEY_new_by_curve_name(NID_X9_62_prime256v1);
    EC_KEY_generate_key(key);
    return key;
}

// The simulator's development root key, which the library trusts by default.
inline EC_KEY* development_root_key()
{
    FILE* file = std::fopen(VLRP11_SOURCE_DIR "/sim/dev_root_key.pem", "r");
    EC_KEY* key = file ? PEM_read_ECPrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
    if (file)
        std::fclose(file);
    return key;
}

inline std::vector<std::uint8_t> public_key_bytes(const EC_KEY* key)
{
    std::vector<std::uint8_t> out(64);
    BIGNUM* x = BN_new();
    BIGNUM* y = BN_new();
    EC_POINT_get_affine_coordinates(EC_KEY_get0_group(key), EC_KEY_get0_public_key(key), x, y, nullptr);
    BN_bn2binpad(x, out.data(), 32);
    BN_bn2binpad(y, out.data() + 32, 32);
    BN_free(x);
    BN_free(y);
    return out;
}

// r ‖ s of an ECDSA signature over SHA-256 of the message.
inline std::vector<std::uint8_t> sign_sha256(EC_KEY* key, const std::uint8_t* message, std::size_t length)
{
    std::uint8_t hash[32];
    SHA256(message, length, hash);
    ECDSA_SIG* sig = ECDSA_do_sign(hash, 32, key);
    std::vector<std::uint8_t> out(64);
    BN_bn2binpad(ECDSA_SIG_get0_r(sig), out.data(), 32);
    BN_bn2binpad(ECDSA_SIG_get0_s(sig), out.data() + 32, 32);
    ECDSA_SIG_free(sig);
    return out;
}

}  // namespace vlrp11::testing
