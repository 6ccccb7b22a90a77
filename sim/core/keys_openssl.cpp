#include "core/keys_openssl.h"

#include "core/crypto_openssl.h"

#include <openssl/core_names.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace vlrp11::sim {
namespace {

struct NistCurve {
    std::uint16_t curve_id;
    const char* name;
    std::size_t field_bytes;
};

constexpr NistCurve kNistCurves[] = {{4, "P-256", 32}, {8, "P-384", 48}, {16, "P-521", 66}};

Pkey parse_private(int type, std::span<const std::uint8_t> der) {
    const unsigned char* p = der.data();
    return Pkey(d2i_PrivateKey(type, nullptr, &p, static_cast<long>(der.size())));
}

template <typename Encode>
std::vector<std::uint8_t> encode(EVP_PKEY* key, Encode i2d) {
    int length = i2d(key, nullptr);
    if (length <= 0) return {};
    std::vector<std::uint8_t> out(static_cast<std::size_t>(length));
    unsigned char* p = out.data();
    if (i2d(key, &p) != length) return {};
    return out;
}

std::vector<std::uint8_t> private_der(EVP_PKEY* key) { return encode(key, i2d_PrivateKey); }

}  // namespace

std::size_t nist_curve_bytes(std::uint16_t curve_id) {
    for (const NistCurve& curve : kNistCurves)
        if (curve.curve_id == curve_id) return curve.field_bytes;
    return 0;
}

std::vector<std::uint8_t> ec_generate(std::uint16_t curve_id) {
    for (const NistCurve& curve : kNistCurves) {
        if (curve.curve_id != curve_id) continue;
        Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", curve.name));
        return key ? private_der(key.get()) : std::vector<std::uint8_t>{};
    }
    return {};
}

std::vector<std::uint8_t> ec_public_point(std::span<const std::uint8_t> der) {
    Pkey key = parse_private(EVP_PKEY_EC, der);
    if (!key) return {};
    std::size_t length = 0;
    if (!EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, nullptr, 0, &length) || length < 3)
        return {};
    std::vector<std::uint8_t> point(length);
    if (!EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), length, &length) ||
        point[0] != 0x04)
        return {};
    point.erase(point.begin());  // the uncompressed-form marker
    return point;
}

std::vector<std::uint8_t> ecdsa_sign(std::span<const std::uint8_t> der, std::size_t field_bytes,
                                     std::span<const std::uint8_t> hash) {
    Pkey key = parse_private(EVP_PKEY_EC, der);
    return key ? ecdsa_sign(key.get(), field_bytes, hash) : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> ecdsa_sign(EVP_PKEY* key, std::size_t field_bytes, std::span<const std::uint8_t> hash) {
    if (hash.empty()) return {};
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    std::size_t length = 0;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 ||
        EVP_PKEY_sign(ctx.get(), nullptr, &length, hash.data(), hash.size()) != 1)
        return {};
    std::vector<std::uint8_t> der_signature(length);
    if (EVP_PKEY_sign(ctx.get(), der_signature.data(), &length, hash.data(), hash.size()) != 1) return {};
    const unsigned char* p = der_signature.data();
    ECDSA_SIG* parsed = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(length));
    if (!parsed) return {};
    std::vector<std::uint8_t> signature(2 * field_bytes);
    bool ok = bn_to_bytes(ECDSA_SIG_get0_r(parsed), field_bytes, signature.data()) &&
              bn_to_bytes(ECDSA_SIG_get0_s(parsed), field_bytes, signature.data() + field_bytes);
    ECDSA_SIG_free(parsed);
    return ok ? signature : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> rsa_generate(unsigned bits) {
    Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(bits)));
    return key ? private_der(key.get()) : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> rsa_public_key(std::span<const std::uint8_t> der) {
    Pkey key = parse_private(EVP_PKEY_RSA, der);
    return key ? encode(key.get(), i2d_PublicKey) : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> rsa_private_operation(std::span<const std::uint8_t> der,
                                                std::span<const std::uint8_t> input) {
    Pkey key = parse_private(EVP_PKEY_RSA, der);
    if (!key || input.size() != static_cast<std::size_t>(EVP_PKEY_get_size(key.get()))) return {};
    PkeyCtx ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    std::size_t length = input.size();
    std::vector<std::uint8_t> out(length);
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING) != 1 ||
        EVP_PKEY_decrypt(ctx.get(), out.data(), &length, input.data(), input.size()) != 1)
        return {};
    out.resize(length);
    return out;
}

}  // namespace vlrp11::sim
