// Single-part encryption and decryption: AES and GOST 28147-89 with keys on the device or held by
// the session, RSA PKCS#1 v1.5 decryption on the device.
#include "api/device_status.h"
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/operation.h"
#include "api/output.h"
#include "objects/cipher_context.h"
#include "objects/key_kinds.h"
#include "objects/private_key.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {
namespace {

CK_RV cipher_init(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey,
                  OperationKind kind) noexcept
{
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pMechanism == nullptr)
        return CKR_ARGUMENTS_BAD;
    SessionRecord& session = *resolved.session;
    if (CK_RV rv = check_no_operation(session); rv != CKR_OK)
        return rv;
    const ObjectRecord* key = resolveObject(resolved, hKey);
    if (key == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    secure_wipe(session.cipherState);
    const CipherMechanism* row = find_cipher_mechanism(pMechanism->mechanism);
    if (row == nullptr || (row->decryptOnly && kind == OPERATION_ENCRYPT))
        return CKR_MECHANISM_INVALID;
    // A key of the right kind byte may still lack what the cipher reads (a data object with an
    // AES key type, a short GOST value), and the public view of an RSA pair must not decrypt.
    if (!cipher_key_fits(*row, *key) || is_public_view(hKey))
        return row->mechanism == CKM_RSA_PKCS ? CKR_KEY_TYPE_INCONSISTENT : CKR_MECHANISM_INVALID;
    if (row->parameterBytes != 0) {
        if (pMechanism->pParameter == nullptr || pMechanism->ulParameterLen != row->parameterBytes)
            return CKR_MECHANISM_PARAM_INVALID;
        std::memcpy(session.cipherState.iv, pMechanism->pParameter, row->parameterBytes);
    }
    // Offset 0, not -1: the first keystream block of the counter mode encrypts the counter
    // advanced once.
    session.cipherState.keystreamOffset = 0;
    begin_operation(session, kind, row->mechanism, hKey);
    return CKR_OK;
}

// The RSA step of C_Decrypt; the operation ends whatever its result.
CK_RV rsa_decrypt(SessionRecord& session, const ObjectRecord& key, CK_BYTE_PTR pEncryptedData,
                  CK_ULONG ulEncryptedDataLen, CK_BYTE_PTR pData, CK_ULONG_PTR pulDataLen) noexcept
{
    OperationEnd end(session);
    std::size_t length = *pulDataLen;
    const std::uint32_t status =
        rsa_pkcs1_decrypt(*key.connection, key.deviceIndex, pEncryptedData, ulEncryptedDataLen, pData, &length);
    if (status == DECRYPTED_BLOCK_INVALID)
        return CKR_ENCRYPTED_DATA_INVALID;
    if (status != DEVICE_OK) {
        session.deviceError = status;
        return CKR_DEVICE_ERROR;
    }
    *pulDataLen = static_cast<CK_ULONG>(length);
    return CKR_OK;
}

}  // namespace

CK_RV C_EncryptInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey)
{
    LibraryLock lock;
    return cipher_init(hSession, pMechanism, hKey, OPERATION_ENCRYPT);
}

CK_RV C_DecryptInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey)
{
    LibraryLock lock;
    return cipher_init(hSession, pMechanism, hKey, OPERATION_DECRYPT);
}

CK_RV C_Encrypt(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pEncryptedData,
                CK_ULONG_PTR pulEncryptedDataLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolve_operation(hSession, OPERATION_ENCRYPT, resolved); rv != CKR_OK)
        return rv;
    SessionRecord& session = *resolved.session;
    const ObjectRecord* key = resolveObject(resolved, session.operationKey);
    if (key == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    if ((pData == nullptr && ulDataLen != 0) || pulEncryptedDataLen == nullptr)
        return CKR_ARGUMENTS_BAD;
    const CipherMechanism& row = *find_cipher_mechanism(session.operationMechanism);
    if (ulDataLen % row.blockBytes != 0)
        return CKR_DATA_LEN_RANGE;
    if (CK_RV rv; length_answered(pEncryptedData, ulDataLen, pulEncryptedDataLen, rv))
        return rv;
    const std::uint32_t status = run_cipher(row, *key, CipherDirection::encrypt, session.cipherState, pData,
                                            ulDataLen, pEncryptedData);
    if (status != DEVICE_OK && row.keyKindFirst == KEY_KIND_AES)
        return mapDeviceStatus(resolved, status);
    if (status != DEVICE_OK) {
        session.deviceError = status;
        return CKR_DEVICE_ERROR;
    }
    end_operation(session);
    return CKR_OK;
}

CK_RV C_Decrypt(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedData, CK_ULONG ulEncryptedDataLen,
                CK_BYTE_PTR pData, CK_ULONG_PTR pulDataLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolve_operation(hSession, OPERATION_DECRYPT, resolved); rv != CKR_OK)
        return rv;
    SessionRecord& session = *resolved.session;
    const ObjectRecord* key = resolveObject(resolved, session.operationKey);
    const CipherMechanism* row = find_cipher_mechanism(session.operationMechanism);
    if (key == nullptr || row == nullptr) {
        end_operation(session);
        return key == nullptr ? CKR_OBJECT_HANDLE_INVALID : CKR_MECHANISM_INVALID;
    }
    if ((pEncryptedData == nullptr && ulEncryptedDataLen != 0) || pulDataLen == nullptr)
        return CKR_ARGUMENTS_BAD;
    if (ulEncryptedDataLen % row->blockBytes != 0)
        return CKR_DATA_LEN_RANGE;
    if (CK_RV rv; length_answered(pData, ulEncryptedDataLen, pulDataLen, rv))
        return rv;
    if (row->mechanism == CKM_RSA_PKCS)
        return rsa_decrypt(session, *key, pEncryptedData, ulEncryptedDataLen, pData, pulDataLen);
    const std::uint32_t status = run_cipher(*row, *key, CipherDirection::decrypt, session.cipherState,
                                            pEncryptedData, ulEncryptedDataLen, pData);
    if (status != DEVICE_OK) {
        session.deviceError = status;
        return CKR_DEVICE_ERROR;
    }
    end_operation(session);
    return CKR_OK;
}

namespace {

// C_EncryptFinal and C_DecryptFinal: no output ever; they end whatever operation runs and tell
// whether a stream mechanism stopped inside an 8-byte block.
CK_RV encrypt_decrypt_final(CK_SESSION_HANDLE hSession) noexcept
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    SessionRecord& session = *resolved.session;
    const bool insideBlock = session.cipherState.keystreamOffset != 0;
    end_operation(session);
    secure_wipe(session.cipherState);
    return insideBlock ? CKR_DATA_LEN_RANGE : CKR_OK;
}

}  // namespace

CK_RV C_EncryptFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return encrypt_decrypt_final(hSession);
}

CK_RV C_DecryptFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return encrypt_decrypt_final(hSession);
}

}  // namespace vlrp11
