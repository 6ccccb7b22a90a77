#include "core/p256.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <algorithm>
#include <vector>

namespace vlrp11::sim {
namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct ContextFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct SignatureFree {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, ContextFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;
using Signature = std::unique_ptr<ECDSA_SIG, SignatureFree>;

char group_name[] = "prime256v1";

}  // namespace

EvpKey p256_generate()
{
    return EvpKey(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", group_name));
}

EvpKey p256_private_from_pem(const std::string& pem)
{
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) {
        return nullptr;
    }
    EvpKey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key || !EVP_PKEY_is_a(key.get(), "EC")) {
        return nullptr;
    }
    return key;
}

std::string p256_private_to_pem(EVP_PKEY* key)
{
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        return {};
    }
    char* data = nullptr;
    long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

EvpKey p256_public_from_point(std::span<const std::uint8_t, 64> point)
{
    std::array<unsigned char, 65> encoded;
    encoded[0] = 0x04;
    std::copy(point.begin(), point.end(), encoded.begin() + 1);
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group_name, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, encoded.data(), encoded.size()),
        OSSL_PARAM_construct_end(),
    };
    KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1) {
        return nullptr;
    }
    EvpKey result(key);
    // Decoding already refuses points off the curve; the check makes that explicit.
    KeyContext check(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (!check || EVP_PKEY_public_check(check.get()) != 1) {
        return nullptr;
    }
    return result;
}

P256Point p256_public_point(EVP_PKEY* key)
{
    std::array<unsigned char, 65> encoded{};
    std::size_t length = 0;
    P256Point point{};
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, encoded.data(), encoded.size(),
                                        &length) == 1 &&
        length == encoded.size() && encoded[0] == 0x04) {
        std::copy(encoded.begin() + 1, encoded.end(), point.begin());
    }
    return point;
}

std::optional<P256Signature> p256_sign_sha256(EVP_PKEY* key, std::span<const std::uint8_t> message)
{
    DigestContext context(EVP_MD_CTX_new());
    std::array<unsigned char, 80> der{};
    std::size_t der_length = der.size();
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
        EVP_DigestSign(context.get(), der.data(), &der_length, message.data(), message.size()) != 1) {
        return std::nullopt;
    }
    const unsigned char* cursor = der.data();
    Signature signature(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(der_length)));
    if (!signature) {
        return std::nullopt;
    }
    P256Signature result;
    if (BN_bn2binpad(ECDSA_SIG_get0_r(signature.get()), result.data(), 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(signature.get()), result.data() + 32, 32) != 32) {
        return std::nullopt;
    }
    return result;
}

bool p256_verify_sha256(EVP_PKEY* public_key, std::span<const std::uint8_t> message,
                        std::span<const std::uint8_t, 64> signature)
{
    Signature parsed(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (!parsed || !r || !s || ECDSA_SIG_set0(parsed.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    int der_length = i2d_ECDSA_SIG(parsed.get(), &der);
    if (der_length <= 0) {
        return false;
    }
    DigestContext context(EVP_MD_CTX_new());
    bool valid = context &&
                 EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, public_key) == 1 &&
                 EVP_DigestVerify(context.get(), der, static_cast<std::size_t>(der_length),
                                  message.data(), message.size()) == 1;
    OPENSSL_free(der);
    return valid;
}

std::optional<std::array<std::uint8_t, 32>> p256_shared_x(EVP_PKEY* private_key, EVP_PKEY* peer)
{
    KeyContext context(EVP_PKEY_CTX_new_from_pkey(nullptr, private_key, nullptr));
    std::array<std::uint8_t, 32> secret{};
    std::size_t length = secret.size();
    if (!context || EVP_PKEY_derive_init(context.get()) != 1 ||
        EVP_PKEY_derive_set_peer(context.get(), peer) != 1 ||
        EVP_PKEY_derive(context.get(), secret.data(), &length) != 1 || length != secret.size()) {
        return std::nullopt;
    }
    return secret;
}

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> data)
{
    std::array<std::uint8_t, 32> digest;
    SHA256(data.data(), data.size(), digest.data());
    return digest;
}

}  // namespace vlrp11::sim
