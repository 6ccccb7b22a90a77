// Key wrapping with GOST 28147-89: a session key of 32 bytes wraps any secret key whose 32-byte
// value the host holds.
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/key_template.h"
#include "api/template_screen.h"
#include "api/library_lock.h"
#include "api/output.h"
#include "api/session_record.h"
#include "crypto/gost28147_sbox.h"
#include "device/status.h"
#include "objects/device_random.h"
#include "objects/key_wrap.h"
#include "objects/key_kinds.h"
#include "objects/object_create.h"
#include "objects/object_record.h"
#include "platform/wipe.h"
#include "vlrp11/pkcs11_vendor.h"

#include <algorithm>

namespace vlrp11 {
namespace {

constexpr std::uint32_t gost28147_key_value_bytes = 32;

// CKM_GOST28147_KEY_WRAP with no parameter or the default S-box in packed form, the only one
// the wrap takes.
CK_RV check_wrap_mechanism(const CK_MECHANISM& mechanism) noexcept
{
    if (mechanism.mechanism != CKM_GOST28147_KEY_WRAP)
        return CKR_MECHANISM_INVALID;
    if (mechanism.ulParameterLen == 0)
        return CKR_OK;
    const auto* sbox = static_cast<const std::uint8_t*>(mechanism.pParameter);
    if (sbox == nullptr || mechanism.ulParameterLen != gost28147_sbox_bytes ||
        !std::equal(sbox, sbox + gost28147_sbox_bytes, gost28147_default_sbox_packed.begin()))
        return CKR_MECHANISM_PARAM_INVALID;
    return CKR_OK;
}

// A boolean of the unwrap template that must be false (`nonzero` false) or true; any other value
// or length is CKR_ATTRIBUTE_VALUE_INVALID.
CK_RV require_unwrap_bool(const CK_ATTRIBUTE& attribute, bool nonzero) noexcept
{
    return entry_bool(attribute) == nonzero ? CKR_OK : CKR_ATTRIBUTE_VALUE_INVALID;
}

// One entry of C_UnwrapKey's template: what the unwrapped key is, a session GOST 28147-89 key,
// may only be confirmed; key-pair attributes have no place in it.
CK_RV apply_unwrap_attribute(const CK_ATTRIBUTE& attribute, ObjectHeader& header) noexcept
{
    switch (attribute.type) {
    case CKA_CLASS:
        return entry_ulong(attribute) == CKO_SECRET_KEY ? CKR_OK : CKR_ATTRIBUTE_VALUE_INVALID;
    case CKA_KEY_TYPE:
        return entry_ulong(attribute) == CKK_GOST28147 ? CKR_OK : CKR_ATTRIBUTE_VALUE_INVALID;
    case CKA_TOKEN:
    case CKA_SENSITIVE:
        return require_unwrap_bool(attribute, false);
    case CKA_ENCRYPT:
    case CKA_DECRYPT:
    case CKA_WRAP:
    case CKA_UNWRAP:
    case CKA_SIGN:
    case CKA_VERIFY:
    case CKA_DESTROYABLE:
        return require_unwrap_bool(attribute, true);
    case CKA_EXTRACTABLE:
        return apply_key_flag(attribute, KEY_FLAG_EXTRACTABLE, header);
    case CKA_LABEL:
        return copy_header_text(attribute, header.label, header.labelLength);
    case CKA_APPLICATION:
        return copy_header_text(attribute, header.application, header.applicationLength);
    case CKA_ID:
        return copy_header_text(attribute, header.id, header.idLength);
    default:
        if ((attribute.type >= CKA_MODULUS && attribute.type <= CKA_COEFFICIENT) || attribute.type == CKA_EC_PARAMS ||
            attribute.type == CKA_EC_POINT)
            return CKR_ATTRIBUTE_TYPE_INVALID;
        return CKR_OK;
    }
}

}  // namespace

CK_RV C_WrapKey(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hWrappingKey,
                CK_OBJECT_HANDLE hKey, CK_BYTE_PTR pWrappedKey, CK_ULONG_PTR pulWrappedKeyLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pMechanism == nullptr || hKey == 0 || pulWrappedKeyLen == nullptr)
        return CKR_ARGUMENTS_BAD;
    if (CK_RV rv = check_wrap_mechanism(*pMechanism); rv != CKR_OK)
        return rv;
    // The length is answered before either key is looked at.
    if (CK_RV rv; length_answered(pWrappedKey, gost_wrapped_key_bytes, pulWrappedKeyLen, rv))
        return rv;
    const ObjectRecord* wrapping = resolveObject(resolved, hWrappingKey);
    if (wrapping == nullptr)
        return CKR_WRAPPING_KEY_HANDLE_INVALID;
    if (!gost_wrapping_key_fits(*wrapping))
        return CKR_WRAPPING_KEY_TYPE_INCONSISTENT;
    const ObjectRecord* key = resolveObject(resolved, hKey);
    if (key == nullptr)
        return CKR_KEY_HANDLE_INVALID;
    if ((key->header.flags & KEY_FLAG_EXTRACTABLE) == 0)
        return CKR_KEY_UNEXTRACTABLE;
    // Only a 32-byte value the host holds can be wrapped: a device key has none here.
    if (!gost_wrapped_key_fits(*key))
        return CKR_KEY_NOT_WRAPPABLE;
    Wiped<std::uint8_t[gost_wrap_ukm_bytes]> ukm;
    const std::uint32_t status = device_random(*resolved.connection, ukm.value, gost_wrap_ukm_bytes);
    if (status != DEVICE_OK) {
        resolved.session->deviceError = status;
        return CKR_DEVICE_ERROR;
    }
    gost_key_wrap(wrapping->value, ukm.value, key->value, pWrappedKey);
    return CKR_OK;
}

CK_RV C_UnwrapKey(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hUnwrappingKey,
                  CK_BYTE_PTR pWrappedKey, CK_ULONG ulWrappedKeyLen, CK_ATTRIBUTE_PTR pTemplate,
                  CK_ULONG ulAttributeCount, CK_OBJECT_HANDLE_PTR phKey)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pMechanism == nullptr || hUnwrappingKey == 0 || phKey == nullptr ||
        (pWrappedKey == nullptr && ulWrappedKeyLen != 0) || !template_readable(pTemplate, ulAttributeCount))
        return CKR_ARGUMENTS_BAD;
    if (CK_RV rv = check_wrap_mechanism(*pMechanism); rv != CKR_OK)
        return rv;
    if (ulWrappedKeyLen != gost_wrapped_key_bytes)
        return CKR_WRAPPED_KEY_LEN_RANGE;
    const ObjectRecord* unwrapping = resolveObject(resolved, hUnwrappingKey);
    if (unwrapping == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    // The unwrapping key is read as 32 bytes the host holds, like the wrapping key.
    if (!gost_wrapping_key_fits(*unwrapping))
        return CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT;
    ObjectHeader header{};
    if (CK_RV rv = screen_template(pTemplate, ulAttributeCount); rv != CKR_OK)
        return rv;
    for (CK_ULONG i = 0; i < ulAttributeCount; ++i)
        if (CK_RV rv = apply_unwrap_attribute(pTemplate[i], header); rv != CKR_OK)
            return rv;
    header.keyKind = KEY_KIND_GOST28147;
    header.length[0] = static_cast<std::uint8_t>(gost28147_key_value_bytes);
    Wiped<std::uint8_t[gost28147_key_value_bytes]> key;
    if (gost_key_unwrap(unwrapping->value, pWrappedKey, key.value) != DEVICE_OK)
        return CKR_WRAPPED_KEY_INVALID;
    const CreationDescriptor descriptor{CKO_SECRET_KEY, true, false, header, key.value, gost28147_key_value_bytes};
    const ObjectContext context = object_context(resolved);
    return create_object(context, resolved.session->deviceError, descriptor, *phKey);
}

}  // namespace vlrp11
