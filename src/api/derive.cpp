// Key derivation from a DSTU 4145 agreement: the device computes the shared secret with the base
// key, the host hashes it into a 32-byte session secret key.
#include "api/device_status.h"
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/session_record.h"
#include "objects/key_derive.h"
#include "objects/key_kinds.h"
#include "objects/object_record.h"
#include "objects/private_key.h"
#include "platform/wipe.h"
#include "vlrp11/pkcs11_vendor.h"

namespace vlrp11 {
namespace {

// The kind of key a derive mechanism makes; 0 for a mechanism that does not derive.
std::uint8_t derived_key_kind(CK_MECHANISM_TYPE mechanism) noexcept
{
    if (mechanism == CKM_DSTU4145_DERIVE)
        return KEY_KIND_GOST28147;
    if (mechanism == CKM_DSTU4145_DERIVE_KALYNA_256)
        return KEY_KIND_KALYNA_256;
    return 0;
}

// The derive parameters when the structure is whole; null otherwise.
const CK_ECDH1_DERIVE_PARAMS* derive_parameters(const CK_MECHANISM& mechanism) noexcept
{
    const auto* params = static_cast<const CK_ECDH1_DERIVE_PARAMS*>(mechanism.pParameter);
    return mechanism.ulParameterLen == sizeof(CK_ECDH1_DERIVE_PARAMS) ? params : nullptr;
}

// Whether the parameters carry a peer public key the device takes, at most 100 bytes of shared
// data, and no null pointer with a length.
bool derive_data_fits(const CK_ECDH1_DERIVE_PARAMS& params) noexcept
{
    if (params.pPublicData == nullptr || !agreement_public_data_fits(params.pPublicData, params.ulPublicDataLen))
        return false;
    return params.ulSharedDataLen <= derive_shared_data_max &&
           (params.pSharedData != nullptr || params.ulSharedDataLen == 0);
}

// The new session secret key with the derived value.
CK_RV store_derived_key(const ResolvedSession& resolved, std::uint8_t kind, const std::uint8_t* value,
                        CK_OBJECT_HANDLE_PTR phKey) noexcept
{
    const ObjectContext context = object_context(resolved);
    ObjectRecord* record = nullptr;
    CK_OBJECT_HANDLE handle = 0;
    if (CK_RV rv = allocate_session_record(context, record, handle); rv != CKR_OK)
        return rv;
    record->objectClass = CKO_SECRET_KEY;
    record->isPrivate = 1;
    record->header.keyKind = kind;
    record->header.secretKeyLength = derived_key_bytes;
    if (CK_RV rv = set_object_value(*record, value, derived_key_bytes); rv != CKR_OK) {
        release_record(context, handle);
        *phKey = 0;
        return rv;
    }
    *phKey = handle;
    return CKR_OK;
}

}  // namespace

CK_RV C_DeriveKey(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hBaseKey,
                  CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulAttributeCount, CK_OBJECT_HANDLE_PTR phKey)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pMechanism == nullptr || pTemplate == nullptr || ulAttributeCount == 0 || phKey == nullptr)
        return CKR_ARGUMENTS_BAD;
    const std::uint8_t kind = derived_key_kind(pMechanism->mechanism);
    if (kind == 0)
        return CKR_MECHANISM_INVALID;
    const CK_ECDH1_DERIVE_PARAMS* params = derive_parameters(*pMechanism);
    if (params == nullptr)
        return CKR_MECHANISM_PARAM_INVALID;
    const ObjectRecord* base = resolveObject(resolved, hBaseKey);
    if (base == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    // The agreement runs with the private key on the device; its public view cannot stand in.
    if ((base->header.flags & KEY_FLAG_DERIVE) == 0 || base->connection == nullptr || is_public_view(hBaseKey))
        return CKR_KEY_TYPE_INCONSISTENT;
    if (!derive_data_fits(*params))
        return CKR_MECHANISM_PARAM_INVALID;
    Wiped<std::uint8_t[agreement_secret_max]> z;
    std::uint32_t zLength = agreement_secret_max;
    const std::uint32_t status = device_key_agreement(*base->connection, base->deviceIndex, params->pPublicData,
                                                      params->ulPublicDataLen, z.value, &zLength);
    if (status != DEVICE_OK)
        return mapDeviceStatus(resolved, status);
    Wiped<std::uint8_t[derived_key_bytes]> key;
    if (!derive_agreement_key(pMechanism->mechanism, z.value, zLength, params->pSharedData, params->ulSharedDataLen,
                              key.value))
        return CKR_FUNCTION_FAILED;
    return store_derived_key(resolved, kind, key.value, phKey);
}

}  // namespace vlrp11
