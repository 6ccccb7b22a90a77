// Key generation: session secret keys made from the device's random bytes, key pairs made by
// the device in its directory. A template can only confirm the properties these keys have.
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/key_template.h"
#include "api/template_screen.h"
#include "api/library_lock.h"
#include "api/session_record.h"
#include "objects/curve_parameters.h"
#include "objects/key_generate.h"
#include "objects/key_kinds.h"
#include "vlrp11/pkcs11_vendor.h"

#include <algorithm>
#include <cstring>

namespace vlrp11 {
namespace {

bool read_only(const SessionRecord& session) noexcept
{
    return (session.flags & CKF_RW_SESSION) == 0;
}

void set_header_parameter(ObjectHeader& header, CK_ULONG value) noexcept
{
    header.length[0] = static_cast<std::uint8_t>(value);
    header.length[1] = static_cast<std::uint8_t>(value >> 8);
}

struct SecretKeyMechanism {
    CK_MECHANISM_TYPE mechanism;
    std::uint8_t kind;
    std::uint16_t onlyLength;  // the length a kind takes without CKA_VALUE_LEN; 0: it must be given
};

constexpr SecretKeyMechanism secret_key_mechanisms[] = {
    {CKM_AES_KEY_GEN, KEY_KIND_AES, 0},
    {CKM_GOST28147_KEY_GEN, KEY_KIND_GOST28147, 32},
    {CKM_KALYNA_128_KEY_GEN, KEY_KIND_KALYNA_128, 0},
    {CKM_KALYNA_256_KEY_GEN, KEY_KIND_KALYNA_256, 0},
    {CKM_KALYNA_512_KEY_GEN, KEY_KIND_KALYNA_512, 64},
};

// One entry of C_GenerateKey's template into the header. CKA_VALUE_LEN gives the key length,
// which the generation checks against the kind.
CK_RV apply_secret_key_attribute(const CK_ATTRIBUTE& attribute, ObjectHeader& header) noexcept
{
    switch (attribute.type) {
    case CKA_CLASS:
        return require_class(attribute, CKO_SECRET_KEY);
    case CKA_TOKEN:
    case CKA_EXTRACTABLE:
    case CKA_ALWAYS_AUTHENTICATE:
        return require_bool(attribute, false);
    case CKA_PRIVATE:
    case CKA_SENSITIVE:
    case CKA_ENCRYPT:
    case CKA_DECRYPT:
    case CKA_WRAP:
        return require_bool(attribute, true);
    case CKA_LABEL:
        return copy_header_text(attribute, header.label, header.labelLength);
    case CKA_APPLICATION:
        return copy_header_text(attribute, header.application, header.applicationLength);
    case CKA_VALUE_LEN:
        set_header_parameter(header, std::min<CK_ULONG>(entry_ulong(attribute), 0xFFFF));
        return CKR_OK;
    default:
        return CKR_OK;
    }
}

// What the two templates of C_GenerateKeyPair make of the header.
struct KeyPairTemplate {
    ObjectHeader header;
    bool labelFromPrivate;
    bool applicationFromPrivate;
};

CK_RV apply_curve(const CK_ATTRIBUTE& attribute, CK_MECHANISM_TYPE mechanism, ObjectHeader& header) noexcept
{
    if (mechanism != CKM_EC_KEY_PAIR_GEN && mechanism != CKM_DSTU4145_KEY_PAIR_GEN)
        return CKR_ATTRIBUTE_TYPE_INVALID;
    if (attribute.pValue == nullptr && attribute.ulValueLen != 0)
        return CKR_ATTRIBUTE_VALUE_INVALID;
    const auto* bytes = static_cast<const std::uint8_t*>(attribute.pValue);
    const std::uint16_t curve = mechanism == CKM_EC_KEY_PAIR_GEN ? match_nist_curve(bytes, attribute.ulValueLen)
                                                                 : match_dstu_curve(bytes, attribute.ulValueLen);
    if (curve == 0)
        return CKR_CURVE_NOT_SUPPORTED;
    set_header_parameter(header, curve);
    return CKR_OK;
}

CK_RV apply_private_attribute(const CK_ATTRIBUTE& attribute, CK_MECHANISM_TYPE mechanism,
                              KeyPairTemplate& pair) noexcept
{
    ObjectHeader& header = pair.header;
    switch (attribute.type) {
    case CKA_CLASS:
        return require_class(attribute, CKO_PRIVATE_KEY);
    case CKA_TOKEN:
    case CKA_PRIVATE:
    case CKA_SENSITIVE:
    case CKA_SIGN:
        return require_bool(attribute, true);
    case CKA_EXTRACTABLE:
    case CKA_ALWAYS_AUTHENTICATE:
        return require_bool(attribute, false);
    case CKA_DERIVE:
        if (mechanism == CKM_RSA_PKCS_KEY_PAIR_GEN)
            return CKR_TEMPLATE_INCONSISTENT;
        return apply_key_flag(attribute, KEY_FLAG_DERIVE, header);
    case CKA_LABEL:
        pair.labelFromPrivate = true;
        return copy_header_text(attribute, header.label, header.labelLength);
    case CKA_APPLICATION:
        pair.applicationFromPrivate = true;
        return copy_header_text(attribute, header.application, header.applicationLength);
    case CKA_EC_PARAMS:
        return apply_curve(attribute, mechanism, header);
    default:
        return CKR_OK;
    }
}

bool rsa_modulus_bits_offered(CK_ULONG bits) noexcept
{
    return bits == 1024 || bits == 1536 || bits == 2048 || bits == 3072 || bits == 4096;
}

CK_RV apply_public_attribute(const CK_ATTRIBUTE& attribute, CK_MECHANISM_TYPE mechanism, bool curveSet,
                             KeyPairTemplate& pair) noexcept
{
    ObjectHeader& header = pair.header;
    const bool rsa = mechanism == CKM_RSA_PKCS_KEY_PAIR_GEN;
    switch (attribute.type) {
    case CKA_CLASS:
        return require_class(attribute, CKO_PUBLIC_KEY);
    case CKA_LABEL:
        return pair.labelFromPrivate ? CKR_OK : copy_header_text(attribute, header.label, header.labelLength);
    case CKA_APPLICATION:
        return pair.applicationFromPrivate
                   ? CKR_OK
                   : copy_header_text(attribute, header.application, header.applicationLength);
    case CKA_MODULUS_BITS: {
        if (!rsa)
            return CKR_ATTRIBUTE_TYPE_INVALID;
        const CK_ULONG bits = entry_ulong(attribute);
        if (!rsa_modulus_bits_offered(bits))
            return CKR_TEMPLATE_INCONSISTENT;
        set_header_parameter(header, bits);
        return CKR_OK;
    }
    case CKA_PUBLIC_EXPONENT: {
        if (!rsa)
            return CKR_ATTRIBUTE_TYPE_INVALID;
        static constexpr std::uint8_t f4[] = {0x01, 0x00, 0x01};
        const bool isF4 = attribute.pValue != nullptr && attribute.ulValueLen == sizeof f4 &&
                          std::memcmp(attribute.pValue, f4, sizeof f4) == 0;
        return isF4 ? CKR_OK : CKR_TEMPLATE_INCONSISTENT;
    }
    case CKA_EC_PARAMS:
        return curveSet ? CKR_OK : apply_curve(attribute, mechanism, header);
    default:
        return CKR_OK;
    }
}

std::uint8_t key_pair_kind(CK_MECHANISM_TYPE mechanism) noexcept
{
    switch (mechanism) {
    case CKM_RSA_PKCS_KEY_PAIR_GEN:
        return KEY_KIND_RSA_GENERATED;
    case CKM_EC_KEY_PAIR_GEN:
        return KEY_KIND_EC;
    case CKM_DSTU4145_KEY_PAIR_GEN:
        return KEY_KIND_DSTU4145_FIRST;
    default:
        return 0;
    }
}

CK_RV read_key_pair_templates(CK_MECHANISM_TYPE mechanism, const CK_ATTRIBUTE* publicTemplate, CK_ULONG publicCount,
                              const CK_ATTRIBUTE* privateTemplate, CK_ULONG privateCount,
                              KeyPairTemplate& pair) noexcept
{
    if (CK_RV rv = screen_template(privateTemplate, privateCount); rv != CKR_OK)
        return rv;
    if (CK_RV rv = screen_template(publicTemplate, publicCount); rv != CKR_OK)
        return rv;
    for (CK_ULONG i = 0; i < privateCount; ++i)
        if (CK_RV rv = apply_private_attribute(privateTemplate[i], mechanism, pair); rv != CKR_OK)
            return rv;
    const bool curveSet = header_parameter(pair.header) != 0;
    for (CK_ULONG i = 0; i < publicCount; ++i)
        if (CK_RV rv = apply_public_attribute(publicTemplate[i], mechanism, curveSet, pair); rv != CKR_OK)
            return rv;
    // A key pair needs its size and a label.
    if (header_parameter(pair.header) == 0 || pair.header.labelLength == 0)
        return CKR_TEMPLATE_INCOMPLETE;
    return CKR_OK;
}

}  // namespace

CK_RV C_GenerateKey(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_ATTRIBUTE_PTR pTemplate,
                    CK_ULONG ulCount, CK_OBJECT_HANDLE_PTR phKey)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (read_only(*resolved.session))
        return CKR_SESSION_READ_ONLY;
    if (pMechanism == nullptr || phKey == nullptr || !template_readable(pTemplate, ulCount))
        return CKR_ARGUMENTS_BAD;
    const auto* row = std::find_if(std::begin(secret_key_mechanisms), std::end(secret_key_mechanisms),
                                   [&](const SecretKeyMechanism& r) { return r.mechanism == pMechanism->mechanism; });
    if (row == std::end(secret_key_mechanisms))
        return CKR_MECHANISM_INVALID;
    ObjectHeader header{};
    header.keyKind = row->kind;
    set_header_parameter(header, row->onlyLength);
    if (CK_RV rv = screen_template(pTemplate, ulCount); rv != CKR_OK)
        return rv;
    for (CK_ULONG i = 0; i < ulCount; ++i)
        if (CK_RV rv = apply_secret_key_attribute(pTemplate[i], header); rv != CKR_OK)
            return rv;
    return generate_secret_key(object_context(resolved), resolved.session->deviceError, header, *phKey);
}

CK_RV C_GenerateKeyPair(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_ATTRIBUTE_PTR pPublicKeyTemplate,
                        CK_ULONG ulPublicKeyAttributeCount, CK_ATTRIBUTE_PTR pPrivateKeyTemplate,
                        CK_ULONG ulPrivateKeyAttributeCount, CK_OBJECT_HANDLE_PTR phPublicKey,
                        CK_OBJECT_HANDLE_PTR phPrivateKey)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (read_only(*resolved.session))
        return CKR_SESSION_READ_ONLY;
    if (pMechanism == nullptr || pPublicKeyTemplate == nullptr || pPrivateKeyTemplate == nullptr ||
        phPublicKey == nullptr || phPrivateKey == nullptr)
        return CKR_ARGUMENTS_BAD;
    KeyPairTemplate pair{};
    // Any other mechanism would fall into the RSA generation.
    pair.header.keyKind = key_pair_kind(pMechanism->mechanism);
    if (pair.header.keyKind == 0)
        return CKR_MECHANISM_INVALID;
    if (pMechanism->pParameter != nullptr || pMechanism->ulParameterLen != 0)
        return CKR_MECHANISM_PARAM_INVALID;
    if (CK_RV rv = read_key_pair_templates(pMechanism->mechanism, pPublicKeyTemplate, ulPublicKeyAttributeCount,
                                           pPrivateKeyTemplate, ulPrivateKeyAttributeCount, pair);
        rv != CKR_OK)
        return rv;
    return generate_key_pair(object_context(resolved), resolved.session->deviceError, pair.header, *phPrivateKey,
                             *phPublicKey);
}

}  // namespace vlrp11
