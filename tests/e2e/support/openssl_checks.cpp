#define OPENSSL_SUPPRESS_DEPRECATED  // EC_KEY

#include "support/openssl_checks.h"

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace vlrp11::testing {

Pkey rsa_public(const std::vector<std::uint8_t>& der)
{
    const std::uint8_t* p = der.data();
    return Pkey(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(der.size())));
}

bool rsa_verifies(EVP_PKEY* key, const char* hash_name, const std::vector<std::uint8_t>& hash,
                  const std::vector<std::uint8_t>& signature)
{
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    EVP_PKEY_verify_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    EVP_PKEY_CTX_set_signature_md(ctx, EVP_get_digestbyname(hash_name));
    const int result = EVP_PKEY_verify(ctx, signature.data(), signature.size(), hash.data(), hash.size());
    EVP_PKEY_CTX_free(ctx);
    return result == 1;
}

bool ecdsa_verifies(int nid, const std::vector<std::uint8_t>& xy, const std::vector<std::uint8_t>& hash,
                    const std::vector<std::uint8_t>& signature)
{
    EC_KEY* key = EC_KEY_new_by_curve_name(nid);
    std::vector<std::uint8_t> point{0x04};
    point.insert(point.end(), xy.begin(), xy.end());
    EC_POINT* q = EC_POINT_new(EC_KEY_get0_group(key));
    EC_POINT_oct2point(EC_KEY_get0_group(key), q, point.data(), point.size(), nullptr);
    EC_KEY_set_public_key(key, q);
    const std::size_t half = signature.size() / 2;
    ECDSA_SIG* sig = ECDSA_SIG_new();
    ECDSA_SIG_set0(sig, BN_bin2bn(signature.data(), static_cast<int>(half), nullptr),
                   BN_bin2bn(signature.data() + half, static_cast<int>(half), nullptr));
    const int result = ECDSA_do_verify(hash.data(), static_cast<int>(hash.size()), sig, key);
    ECDSA_SIG_free(sig);
    EC_POINT_free(q);
    EC_KEY_free(key);
    return result == 1;
}

std::vector<std::uint8_t> rsa_public_op(EVP_PKEY* key, const std::vector<std::uint8_t>& input, int padding)
{
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    EVP_PKEY_encrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, padding);
    std::size_t length = 0;
    EVP_PKEY_encrypt(ctx, nullptr, &length, input.data(), input.size());
    std::vector<std::uint8_t> out(length);
    EXPECT_EQ(EVP_PKEY_encrypt(ctx, out.data(), &length, input.data(), input.size()), 1);
    EVP_PKEY_CTX_free(ctx);
    out.resize(length);
    return out;
}

}  // namespace vlrp11::testing
