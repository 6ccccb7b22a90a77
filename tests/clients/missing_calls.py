#!/usr/bin/python3
"""Prints the names of the module's calls that answer CKR_FUNCTION_NOT_SUPPORTED before
C_Initialize: the stubs the module offers no service behind. Every served call checks the
initialised flag first, so none of them reads the all-zero arguments it is given here."""
import ctypes
import sys

# The 68 entries of the version 2.40 function list, in the standard's order.
NAMES = """C_Initialize C_Finalize C_GetInfo C_GetFunctionList C_GetSlotList C_GetSlotInfo
C_GetTokenInfo C_GetMechanismList C_GetMechanismInfo C_InitToken C_InitPIN C_SetPIN C_OpenSession
C_CloseSession C_CloseAllSessions C_GetSessionInfo C_GetOperationState C_SetOperationState
C_Login C_Logout C_CreateObject C_CopyObject C_DestroyObject C_GetObjectSize C_GetAttributeValue
C_SetAttributeValue C_FindObjectsInit C_FindObjects C_FindObjectsFinal C_EncryptInit C_Encrypt
C_EncryptUpdate C_EncryptFinal C_DecryptInit C_Decrypt C_DecryptUpdate C_DecryptFinal
C_DigestInit C_Digest C_DigestUpdate C_DigestKey C_DigestFinal C_SignInit C_Sign C_SignUpdate
C_SignFinal C_SignRecoverInit C_SignRecover C_VerifyInit C_Verify C_VerifyUpdate C_VerifyFinal
C_VerifyRecoverInit C_VerifyRecover C_DigestEncryptUpdate C_DecryptDigestUpdate
C_SignEncryptUpdate C_DecryptVerifyUpdate C_GenerateKey C_GenerateKeyPair C_WrapKey C_UnwrapKey
C_DeriveKey C_SeedRandom C_GenerateRandom C_GetFunctionStatus C_CancelFunction
C_WaitForSlotEvent""".split()
CKR_FUNCTION_NOT_SUPPORTED = 0x54
NO_INIT_CHECK = {"C_Initialize", "C_Finalize", "C_GetInfo", "C_GetFunctionList"}

module = ctypes.CDLL(sys.argv[1])
table = ctypes.POINTER(ctypes.c_void_p)()
if module.C_GetFunctionList(ctypes.byref(table)) != 0:
    sys.exit("C_GetFunctionList failed")
# CK_VERSION (2 bytes) is followed by the pointers at their natural alignment.
entries = ctypes.cast(ctypes.addressof(table.contents) + ctypes.sizeof(ctypes.c_void_p),
                      ctypes.POINTER(ctypes.c_void_p))
call = ctypes.CFUNCTYPE(ctypes.c_ulong, *[ctypes.c_void_p] * 8)
for index, name in enumerate(NAMES):
    if name not in NO_INIT_CHECK and call(entries[index])(*[None] * 8) == CKR_FUNCTION_NOT_SUPPORTED:
        print(name)
