#pragma once

#include "vlrp11/pkcs11.h"

// The C_ functions the function table points at, one declaration per implemented entry. Each
// lives in the file of its call family; none throws.
namespace vlrp11 {

// Module entry.
CK_RV C_Initialize(CK_VOID_PTR pInitArgs);
CK_RV C_Finalize(CK_VOID_PTR pReserved);
CK_RV C_GetInfo(CK_INFO_PTR pInfo);

// Entries that answer with a fixed code.
CK_RV C_SeedRandom(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSeed, CK_ULONG ulSeedLen);
CK_RV C_DigestKey(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hKey);
CK_RV C_DigestEncryptUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen,
                            CK_BYTE_PTR pEncryptedPart, CK_ULONG_PTR pulEncryptedPartLen);
CK_RV C_DecryptDigestUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedPart, CK_ULONG ulEncryptedPartLen,
                            CK_BYTE_PTR pPart, CK_ULONG_PTR pulPartLen);
CK_RV C_DecryptVerifyUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedPart, CK_ULONG ulEncryptedPartLen,
                            CK_BYTE_PTR pPart, CK_ULONG_PTR pulPartLen);
CK_RV C_GetFunctionStatus(CK_SESSION_HANDLE hSession);
CK_RV C_CancelFunction(CK_SESSION_HANDLE hSession);

// Always CKR_FUNCTION_NOT_SUPPORTED, whatever the state and the arguments: the entries the
// module does not offer (operation state, copying, verification, recovery, sign-encrypt).
template <typename Fn>
struct NotSupported;
template <typename... Args>
struct NotSupported<CK_RV (*)(Args...)> {
    static CK_RV call(Args...) { return CKR_FUNCTION_NOT_SUPPORTED; }
};

}  // namespace vlrp11
