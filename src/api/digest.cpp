// Digesting: one software hash per session in digestState, started by C_DigestInit and finished
// by C_Digest or C_DigestFinal.
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/operation.h"
#include "api/output.h"
#include "objects/digest_context.h"

namespace vlrp11 {

CK_RV C_DigestInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    SessionRecord& session = *resolved.session;
    if (CK_RV rv = check_no_operation(session); rv != CKR_OK)
        return rv;
    if (CK_RV rv = digest_init(session.digestState, pMechanism); rv != CKR_OK)
        return rv;
    begin_operation(session, OPERATION_DIGEST, pMechanism->mechanism, 0);
    return CKR_OK;
}

CK_RV C_DigestUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolve_operation(hSession, OPERATION_DIGEST, resolved); rv != CKR_OK)
        return rv;
    SessionRecord& session = *resolved.session;
    OperationEnd end(session);
    if (pPart == nullptr && ulPartLen != 0)
        return CKR_ARGUMENTS_BAD;
    if (!digest_update(session.digestState, pPart, ulPartLen))
        return CKR_FUNCTION_FAILED;
    session.operationStarted = 1;
    return end.keep(CKR_OK);
}

namespace {

// C_DigestFinal, and C_Digest with its data (`singlePart`): a length answer leaves the operation
// running, every other end finishes it.
CK_RV finish_digest(CK_SESSION_HANDLE hSession, bool singlePart, const CK_BYTE* pData, CK_ULONG ulDataLen,
                    CK_BYTE_PTR pDigest, CK_ULONG_PTR pulDigestLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pulDigestLen == nullptr)
        return CKR_ARGUMENTS_BAD;
    SessionRecord& session = *resolved.session;
    if (CK_RV rv = require_operation(session, OPERATION_DIGEST); rv != CKR_OK)
        return rv;
    OperationEnd end(session);
    const std::size_t length = digest_length(session.digestState.hashKind);
    if (length == 0)
        return CKR_FUNCTION_FAILED;
    if (CK_RV rv; length_answered(pDigest, length, pulDigestLen, rv))
        return end.keep(rv);
    if (singlePart) {
        if (pData == nullptr && ulDataLen != 0)
            return CKR_ARGUMENTS_BAD;
        // A single-part digest after C_DigestUpdate would hash more than the caller's data.
        if (session.operationStarted != 0)
            return CKR_FUNCTION_FAILED;
        if (!digest_update(session.digestState, pData, ulDataLen))
            return CKR_FUNCTION_FAILED;
    }
    // Finished first, ended afterwards: the end wipes the state the result comes from.
    return digest_final(session.digestState, pDigest) ? CKR_OK : CKR_FUNCTION_FAILED;
}

}  // namespace

CK_RV C_DigestFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pDigest, CK_ULONG_PTR pulDigestLen)
{
    return finish_digest(hSession, false, nullptr, 0, pDigest, pulDigestLen);
}

CK_RV C_Digest(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pDigest,
               CK_ULONG_PTR pulDigestLen)
{
    return finish_digest(hSession, true, pData, ulDataLen, pDigest, pulDigestLen);
}

}  // namespace vlrp11
