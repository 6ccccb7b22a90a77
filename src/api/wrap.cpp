// Key wrapping with GOST 28147-89: a session key of 32 bytes wraps any secret key whose 32-byte
// value the host holds.
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/output.h"
#include "api/session_record.h"
#include "crypto/gost28147_sbox.h"
#include "device/status.h"
#include "objects/device_random.h"
#include "objects/key_wrap.h"
#include "objects/object_record.h"
#include "platform/wipe.h"
#include "vlrp11/pkcs11_vendor.h"

#include <algorithm>

namespace vlrp11 {
namespace {

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

}  // namespace vlrp11
