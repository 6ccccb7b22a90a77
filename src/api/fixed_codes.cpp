#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/library_state.h"

namespace vlrp11 {
namespace {

CK_RV not_supported_once_initialised()
{
    LibraryLock lock;
    return library_state().initialised ? CKR_FUNCTION_NOT_SUPPORTED : CKR_CRYPTOKI_NOT_INITIALIZED;
}

}  // namespace

CK_RV C_SeedRandom(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG)
{
    LibraryLock lock;
    return library_state().initialised ? CKR_RANDOM_SEED_NOT_SUPPORTED : CKR_CRYPTOKI_NOT_INITIALIZED;
}

CK_RV C_DigestKey(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE)
{
    LibraryLock lock;
    ResolvedSession session;
    CK_RV rv = resolveSession(hSession, session);
    return rv != CKR_OK ? rv : CKR_KEY_INDIGESTIBLE;
}

CK_RV C_DigestEncryptUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return not_supported_once_initialised();
}

CK_RV C_DecryptDigestUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return not_supported_once_initialised();
}

CK_RV C_DecryptVerifyUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return not_supported_once_initialised();
}

// Every call runs to completion on the caller's thread; there is nothing to query or cancel, and
// no state is read, so no lock is taken.
CK_RV C_GetFunctionStatus(CK_SESSION_HANDLE)
{
    return CKR_FUNCTION_NOT_PARALLEL;
}

CK_RV C_CancelFunction(CK_SESSION_HANDLE)
{
    return CKR_FUNCTION_NOT_PARALLEL;
}

}  // namespace vlrp11
