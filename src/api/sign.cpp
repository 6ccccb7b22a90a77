// Signing with a private key on the device: the hash runs in software in digestState, the
// private-key step on the device.
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/operation.h"
#include "api/output.h"
#include "objects/digest_context.h"
#include "objects/object_record.h"
#include "objects/sign_format.h"
#include "objects/sign_operation.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::size_t max_hash_bytes = 64;
constexpr std::size_t raw_sign_buffer_bytes = 128;

// The signing key of a running operation, or null when its handle names nothing any more.
ObjectRecord* operation_key(const ResolvedSession& resolved) noexcept
{
    return resolveObject(resolved, resolved.session->operationKey);
}

// Finishes the running hash and signs it.
CK_RV sign_hash(SessionRecord& session, const ObjectRecord& key, CK_BYTE_PTR pSignature,
                CK_ULONG_PTR pulSignatureLen) noexcept
{
    const HashKind kind = session.digestState.hashKind;
    const std::size_t length = digest_length(kind);
    Wiped<std::uint8_t[max_hash_bytes]> hash;
    if (length == 0 || !digest_final(session.digestState, hash.value))
        return CKR_FUNCTION_FAILED;
    return sign_final(key, session.operationMechanism, kind, hash.value, length, pSignature, pulSignatureLen,
                      session.deviceError);
}

}  // namespace

CK_RV C_SignInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    SessionRecord& session = *resolved.session;
    if (CK_RV rv = check_no_operation(session); rv != CKR_OK)
        return rv;
    if (pMechanism == nullptr)
        return CKR_ARGUMENTS_BAD;
    const ObjectRecord* key = resolveObject(resolved, hKey);
    if (key == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    // The public view of a key pair resolves to the private key's record, and must not sign.
    if (is_public_view(hKey))
        return CKR_KEY_TYPE_INCONSISTENT;
    if (CK_RV rv = sign_init(*key, pMechanism, session.digestState); rv != CKR_OK)
        return rv;
    begin_operation(session, OPERATION_SIGN, pMechanism->mechanism, hKey);
    return CKR_OK;
}

CK_RV C_SignUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolve_operation(hSession, OPERATION_SIGN, resolved); rv != CKR_OK)
        return rv;
    SessionRecord& session = *resolved.session;
    OperationEnd end(session);
    // Raw mechanisms sign the caller's data as it is, so there is no hash to add parts to.
    if (signs_raw_data(session.operationMechanism))
        return CKR_FUNCTION_FAILED;
    if (ulPartLen == 0)
        return end.keep(CKR_OK);
    if (pPart == nullptr)
        return CKR_DATA_INVALID;
    if (!digest_update(session.digestState, pPart, ulPartLen))
        return CKR_FUNCTION_FAILED;
    return end.keep(CKR_OK);
}

CK_RV C_SignFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSignature, CK_ULONG_PTR pulSignatureLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolve_operation(hSession, OPERATION_SIGN, resolved); rv != CKR_OK)
        return rv;
    SessionRecord& session = *resolved.session;
    OperationEnd end(session);
    if (pulSignatureLen == nullptr)
        return CKR_ARGUMENTS_BAD;
    const ObjectRecord* key = operation_key(resolved);
    if (key == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    const CK_ULONG length = signature_length(key->header);
    if (length == 0)
        return CKR_FUNCTION_FAILED;
    if (CK_RV rv; length_answered(pSignature, length, pulSignatureLen, rv))
        return end.keep(rv);
    return sign_hash(session, *key, pSignature, pulSignatureLen);
}

CK_RV C_Sign(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pSignature,
             CK_ULONG_PTR pulSignatureLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolve_operation(hSession, OPERATION_SIGN, resolved); rv != CKR_OK)
        return rv;
    SessionRecord& session = *resolved.session;
    OperationEnd end(session);
    if ((pData == nullptr && ulDataLen != 0) || pulSignatureLen == nullptr)
        return CKR_ARGUMENTS_BAD;
    const ObjectRecord* key = operation_key(resolved);
    if (key == nullptr)
        return end.keep(CKR_OBJECT_HANDLE_INVALID);
    const CK_ULONG length = signature_length(key->header);
    if (length == 0)
        return end.keep(CKR_FUNCTION_FAILED);
    if (CK_RV rv; length_answered(pSignature, length, pulSignatureLen, rv))
        return end.keep(rv);
    const CK_MECHANISM_TYPE mechanism = session.operationMechanism;
    if (!signs_raw_data(mechanism)) {
        if (!digest_update(session.digestState, pData, ulDataLen))
            return CKR_FUNCTION_FAILED;
        return sign_hash(session, *key, pSignature, pulSignatureLen);
    }
    if (!raw_sign_length_fits(mechanism, ulDataLen))
        return CKR_DATA_LEN_RANGE;
    Wiped<std::uint8_t[raw_sign_buffer_bytes]> data;
    if (ulDataLen != 0)
        std::memcpy(data.value, pData, ulDataLen);
    return sign_final(*key, mechanism, HASH_NONE, data.value, ulDataLen, pSignature, pulSignatureLen,
                      session.deviceError);
}

}  // namespace vlrp11
