// OpenSSL as the independent verifier of what the simulated device signs.
#pragma once

#include "core/crypto_openssl.h"

#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/sha.h>

#include <span>
#include <vector>

namespace vlrp11::sim::test {

inline std::vector<std::uint8_t> sha256(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> digest(32);
    SHA256(data.data(), data.size(), digest.data());
    return digest;
}

// An EC public key of the named group from X ‖ Y.
inline Pkey ec_public_key(const char* group, std::vector<std::uint8_t> xy) {
    xy.insert(xy.begin(), 0x04);
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(group), 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, xy.data(), xy.size()), OSSL_PARAM_construct_end()};
    PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1)
        return nullptr;
    return Pkey(key);
}

// OpenSSL's verdict on an r ‖ s ECDSA signature over the hash.
inline bool ecdsa_verifies(EVP_PKEY* key, std::span<const std::uint8_t> hash, std::span<const std::uint8_t> rs) {
    std::size_t half = rs.size() / 2;
    ECDSA_SIG* sig = ECDSA_SIG_new();
    ECDSA_SIG_set0(sig, bn_from_bytes(rs.first(half)).release(), bn_from_bytes(rs.subspan(half)).release());
    unsigned char* der = nullptr;
    int der_length = i2d_ECDSA_SIG(sig, &der);
    ECDSA_SIG_free(sig);
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    bool ok = der_length > 0 && ctx && EVP_PKEY_verify_init(ctx.get()) == 1 &&
              EVP_PKEY_verify(ctx.get(), der, static_cast<std::size_t>(der_length), hash.data(), hash.size()) == 1;
    OPENSSL_free(der);
    return ok;
}

}  // namespace vlrp11::sim::test
