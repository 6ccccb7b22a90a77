#pragma once

// P-256 helpers on OpenSSL's EVP interface for tests and benchmarks that play a device or check
// the library's elliptic-curve code: keys, the byte forms the device protocol uses (X ‖ Y and
// r ‖ s, 32 bytes each, big-endian), signatures over SHA-256 and ECDH.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace vlrp11::testing {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using P256Key = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;

inline P256Key new_p256_key()
{
    return P256Key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
}

// The simulator's development root key, which the library trusts by default.
inline P256Key development_root_key()
{
    FILE* file = std::fopen(VLRP11_SOURCE_DIR "/sim/dev_root_key.pem", "r");
    EVP_PKEY* key = file ? PEM_read_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
    if (file)
        std::fclose(file);
    return P256Key(key);
}

// X ‖ Y of the public key.
inline std::vector<std::uint8_t> public_key_bytes(const EVP_PKEY* key)
{
    std::uint8_t encoded[65] = {};
    std::size_t length = 0;
    EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, encoded, sizeof encoded, &length);
    return {encoded + 1, encoded + 65};
}

// A public key from X ‖ Y; null when the point is not on the curve.
inline P256Key p256_public_key(const std::uint8_t* xy)
{
    std::uint8_t encoded[65] = {0x04};
    std::copy(xy, xy + 64, encoded + 1);
    OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_utf8_string(builder, OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0);
    OSSL_PARAM_BLD_push_octet_string(builder, OSSL_PKEY_PARAM_PUB_KEY, encoded, sizeof encoded);
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(builder);
    PkeyCtx context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1)
        key = nullptr;
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(builder);
    return P256Key(key);
}

// r ‖ s of an ECDSA signature over a 32-byte hash.
inline std::vector<std::uint8_t> sign_hash(EVP_PKEY* key, const std::uint8_t* hash)
{
    PkeyCtx context(EVP_PKEY_CTX_new(key, nullptr));
    std::uint8_t der[80];
    std::size_t length = sizeof der;
    std::vector<std::uint8_t> rs(64);
    if (EVP_PKEY_sign_init(context.get()) != 1 || EVP_PKEY_sign(context.get(), der, &length, hash, 32) != 1)
        return rs;
    const std::uint8_t* p = der;
    ECDSA_SIG* signature = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(length));
    BN_bn2binpad(ECDSA_SIG_get0_r(signature), rs.data(), 32);
    BN_bn2binpad(ECDSA_SIG_get0_s(signature), rs.data() + 32, 32);
    ECDSA_SIG_free(signature);
    return rs;
}

// r ‖ s of an ECDSA signature over SHA-256 of the message.
inline std::vector<std::uint8_t> sign_sha256(EVP_PKEY* key, const std::uint8_t* message, std::size_t length)
{
    std::uint8_t hash[32];
    SHA256(message, length, hash);
    return sign_hash(key, hash);
}

// Whether r ‖ s is a valid signature of the key over the 32-byte hash.
inline bool verify_hash(EVP_PKEY* key, const std::uint8_t* hash, const std::uint8_t* rs)
{
    ECDSA_SIG* signature = ECDSA_SIG_new();
    ECDSA_SIG_set0(signature, BN_bin2bn(rs, 32, nullptr), BN_bin2bn(rs + 32, 32, nullptr));
    unsigned char* der = nullptr;
    int der_length = i2d_ECDSA_SIG(signature, &der);
    ECDSA_SIG_free(signature);
    PkeyCtx context(EVP_PKEY_CTX_new(key, nullptr));
    bool valid = der_length > 0 && EVP_PKEY_verify_init(context.get()) == 1 &&
                 EVP_PKEY_verify(context.get(), der, static_cast<std::size_t>(der_length), hash, 32) == 1;
    OPENSSL_free(der);
    return valid;
}

// The 32-byte X coordinate of own · peer.
inline std::vector<std::uint8_t> ecdh_x(EVP_PKEY* own, EVP_PKEY* peer)
{
    PkeyCtx context(EVP_PKEY_CTX_new(own, nullptr));
    std::vector<std::uint8_t> secret(32);
    std::size_t length = secret.size();
    if (EVP_PKEY_derive_init(context.get()) != 1 || EVP_PKEY_derive_set_peer(context.get(), peer) != 1 ||
        EVP_PKEY_derive(context.get(), secret.data(), &length) != 1)
        secret.clear();
    return secret;
}

}  // namespace vlrp11::testing
