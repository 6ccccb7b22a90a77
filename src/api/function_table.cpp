#include "api/function_table.h"

#include "api/entry_points.h"

namespace vlrp11 {
namespace {

CK_RV get_function_list_entry(CK_FUNCTION_LIST_PTR_PTR ppFunctionList)
{
    return get_function_list(ppFunctionList);
}

template <typename Fn>
constexpr Fn not_supported = NotSupported<Fn>::call;

// Version 2.40: the 68 entries in the standard's order.
const CK_FUNCTION_LIST function_list_240 = {
    {2, 40},
    C_Initialize,
    C_Finalize,
    C_GetInfo,
    get_function_list_entry,
    C_GetSlotList,
    C_GetSlotInfo,
    C_GetTokenInfo,
    C_GetMechanismList,
    C_GetMechanismInfo,
    C_InitToken,
    C_InitPIN,
    C_SetPIN,
    C_OpenSession,
    C_CloseSession,
    C_CloseAllSessions,
    C_GetSessionInfo,
    not_supported<CK_C_GetOperationState>,
    not_supported<CK_C_SetOperationState>,
    C_Login,
    C_Logout,
    C_CreateObject,
    not_supported<CK_C_CopyObject>,
    C_DestroyObject,
    C_GetObjectSize,
    C_GetAttributeValue,
    C_SetAttributeValue,
    C_FindObjectsInit,
    C_FindObjects,
    C_FindObjectsFinal,
    C_EncryptInit,
    C_Encrypt,
    not_supported<CK_C_EncryptUpdate>,
    C_EncryptFinal,
    C_DecryptInit,
    C_Decrypt,
    not_supported<CK_C_DecryptUpdate>,
    C_DecryptFinal,
    C_DigestInit,
    C_Digest,
    C_DigestUpdate,
    C_DigestKey,
    C_DigestFinal,
    C_SignInit,
    C_Sign,
    C_SignUpdate,
    C_SignFinal,
    not_supported<CK_C_SignRecoverInit>,
    not_supported<CK_C_SignRecover>,
    not_supported<CK_C_VerifyInit>,
    not_supported<CK_C_Verify>,
    not_supported<CK_C_VerifyUpdate>,
    not_supported<CK_C_VerifyFinal>,
    not_supported<CK_C_VerifyRecoverInit>,
    not_supported<CK_C_VerifyRecover>,
    C_DigestEncryptUpdate,
    C_DecryptDigestUpdate,
    not_supported<CK_C_SignEncryptUpdate>,
    C_DecryptVerifyUpdate,
    C_GenerateKey,
    C_GenerateKeyPair,
    C_WrapKey,
    C_UnwrapKey,
    C_DeriveKey,
    C_SeedRandom,
    C_GenerateRandom,
    C_GetFunctionStatus,
    C_CancelFunction,
    C_WaitForSlotEvent,
};

}  // namespace

CK_RV get_function_list(CK_FUNCTION_LIST_PTR_PTR ppFunctionList) noexcept
{
    if (ppFunctionList == nullptr)
        return CKR_ARGUMENTS_BAD;
    *ppFunctionList = const_cast<CK_FUNCTION_LIST_PTR>(&function_list_240);
    return CKR_OK;
}

}  // namespace vlrp11
