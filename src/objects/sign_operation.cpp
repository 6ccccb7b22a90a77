#include "objects/sign_operation.h"

#include "device/status.h"
#include "objects/key_kinds.h"
#include "objects/private_key.h"
#include "objects/sign_format.h"
#include "platform/wipe.h"
#include "vlrp11/pkcs11_vendor.h"

#include <cstdint>

namespace vlrp11 {

namespace {

struct SignMechanism {
    CK_MECHANISM_TYPE mechanism;
    std::uint8_t keyKindFirst;
    std::uint8_t keyKindLast;
};

// The MAC mechanisms of AES (0x1083, 0x1084, 0x108A, 0x108B, 0x108E) and GOST 28147-89 are taken
// with their keys only for the hash set-up to refuse them.
constexpr SignMechanism sign_mechanisms[] = {
    {CKM_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_SHA1_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_SHA224_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_SHA256_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_SHA384_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_SHA512_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_SHA3_224_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_SHA3_256_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_SHA3_384_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_SHA3_512_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED},
    {CKM_ECDSA, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_ECDSA_SHA1, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_ECDSA_SHA224, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_ECDSA_SHA256, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_ECDSA_SHA384, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_ECDSA_SHA512, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_ECDSA_SHA3_224, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_ECDSA_SHA3_256, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_ECDSA_SHA3_384, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_ECDSA_SHA3_512, KEY_KIND_EC, KEY_KIND_EC},
    {CKM_DSTU4145, KEY_KIND_DSTU4145_FIRST, KEY_KIND_DSTU4145_LAST},
    {CKM_DSTU4145_GOST34311, KEY_KIND_DSTU4145_FIRST, KEY_KIND_DSTU4145_LAST},
    {CKM_DSTU4145_KUPYNA_256, KEY_KIND_DSTU4145_FIRST, KEY_KIND_DSTU4145_LAST},
    {CKM_DSTU4145_KUPYNA_384, KEY_KIND_DSTU4145_FIRST, KEY_KIND_DSTU4145_LAST},
    {CKM_DSTU4145_KUPYNA_512, KEY_KIND_DSTU4145_FIRST, KEY_KIND_DSTU4145_LAST},
    {CKM_AES_MAC, KEY_KIND_AES, KEY_KIND_AES},
    {CKM_AES_MAC_GENERAL, KEY_KIND_AES, KEY_KIND_AES},
    {CKM_AES_CMAC, KEY_KIND_AES, KEY_KIND_AES},
    {CKM_AES_CMAC_GENERAL, KEY_KIND_AES, KEY_KIND_AES},
    {CKM_AES_GMAC, KEY_KIND_AES, KEY_KIND_AES},
    {CKM_GOST28147_MAC, KEY_KIND_GOST28147, KEY_KIND_GOST28147},
};

const SignMechanism* find_sign_mechanism(CK_MECHANISM_TYPE mechanism) noexcept
{
    for (const SignMechanism& row : sign_mechanisms) {
        if (row.mechanism == mechanism)
            return &row;
    }
    return nullptr;
}

bool on_device(const ObjectRecord& key) noexcept
{
    return key.token == 1 && key.connection != nullptr;
}

CK_RV device_failure(std::uint32_t status, std::uint32_t& device_error) noexcept
{
    device_error = status;
    return CKR_DEVICE_ERROR;
}

// PKCS#1 v1.5 block of the key's size around the hash, signed by the device's raw RSA step.
CK_RV sign_rsa(const ObjectRecord& key, HashKind kind, const std::uint8_t* hash, std::size_t hash_length,
               std::uint8_t* out, CK_ULONG* out_length, std::uint32_t& device_error) noexcept
{
    RsaKeyHandle handle{};
    std::uint32_t status = rsa_key_handle(*key.connection, key.deviceIndex, handle);
    if (status != DEVICE_OK)
        return device_failure(status, device_error);
    const std::uint32_t k = (handle.modulusBits + 7) / 8;
    if (*out_length < k)
        return device_failure(OUTPUT_TOO_SHORT, device_error);
    if (k > rsa_max_modulus_bytes)
        return device_failure(ENCODING_FAILED, device_error);
    std::uint8_t em[rsa_max_modulus_bytes];
    status = encode_em(kind, hash, hash_length, em, k);
    if (status == DEVICE_OK)
        status = rsa_private_op(handle, em, out);
    secure_wipe(em, k);
    if (status != DEVICE_OK)
        return device_failure(status, device_error);
    *out_length = k;
    return CKR_OK;
}

}  // namespace

bool signs_raw_data(CK_MECHANISM_TYPE mechanism) noexcept
{
    return mechanism == CKM_RSA_PKCS || mechanism == CKM_ECDSA || mechanism == CKM_DSTU4145;
}

bool raw_sign_length_fits(CK_MECHANISM_TYPE mechanism, std::size_t length) noexcept
{
    constexpr std::size_t raw_input_max = 128;
    if (!signs_raw_data(mechanism) || length > raw_input_max)
        return false;
    if (mechanism == CKM_RSA_PKCS)
        return true;
    for (std::size_t hash_length : {20, 28, 32, 48, 64}) {
        if (length == hash_length)
            return true;
    }
    return false;
}

CK_RV sign_init(const ObjectRecord& key, const CK_MECHANISM* mechanism, DigestContext& digest) noexcept
{
    if (mechanism == nullptr)
        return CKR_ARGUMENTS_BAD;
    const SignMechanism* row = find_sign_mechanism(mechanism->mechanism);
    if (row == nullptr)
        return CKR_MECHANISM_INVALID;
    const std::uint8_t kind = key.header.keyKind;
    if (kind < row->keyKindFirst || kind > row->keyKindLast)
        return CKR_KEY_TYPE_INCONSISTENT;
    // A private key off the device has nothing to sign with.
    if (is_private_key_kind(kind) && !on_device(key))
        return CKR_KEY_TYPE_INCONSISTENT;
    if (signs_raw_data(mechanism->mechanism))
        return CKR_OK;
    return digest_init(digest, mechanism);
}

CK_RV sign_final(const ObjectRecord& key, CK_MECHANISM_TYPE mechanism, HashKind hash_kind, const std::uint8_t* input,
                 std::size_t length, std::uint8_t* out, CK_ULONG* out_length, std::uint32_t& device_error) noexcept
{
    const std::uint32_t signature_bytes = signature_length(key.header);
    if (signature_bytes == 0 || !on_device(key))
        return CKR_FUNCTION_FAILED;
    if (out == nullptr) {
        *out_length = signature_bytes;
        return CKR_OK;
    }
    if (*out_length < signature_bytes)
        return CKR_BUFFER_TOO_SMALL;

    const SignMechanism* row = find_sign_mechanism(mechanism);
    if (row == nullptr)
        return CKR_MECHANISM_INVALID;
    if (mechanism == CKM_RSA_PKCS) {
        const HashKind kind = match_digest_info(input, length);
        if (kind == HASH_NONE)
            return CKR_DATA_INVALID;
        const std::size_t prefix = digest_info_prefix(kind).size();
        if (length - prefix != digest_length(kind))
            return CKR_TEMPLATE_INCONSISTENT;
        return sign_rsa(key, kind, input + prefix, length - prefix, out, out_length, device_error);
    }
    if (row->keyKindFirst == KEY_KIND_RSA)
        return sign_rsa(key, hash_kind, input, length, out, out_length, device_error);

    auto reply_length = static_cast<std::uint32_t>(*out_length < UINT32_MAX ? *out_length : UINT32_MAX);
    const std::uint32_t status = private_key_op(*key.connection, key.deviceIndex, input, length, out, &reply_length);
    if (status != DEVICE_OK)
        return device_failure(status, device_error);
    *out_length = reply_length;
    return CKR_OK;
}

}  // namespace vlrp11
