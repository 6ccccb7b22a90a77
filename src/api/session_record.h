#pragma once

#include "api/slot_record.h"
#include "objects/cipher_context.h"
#include "objects/digest_context.h"
#include "vlrp11/pkcs11.h"

#include <cstdint>

namespace vlrp11 {

enum OperationKind : std::uint32_t {
    OPERATION_NONE = 0,
    OPERATION_SIGN = 1,
    OPERATION_DIGEST = 3,
    OPERATION_ENCRYPT = 4,
    OPERATION_DECRYPT = 5,
};

// One open session. Allocated zero-filled by C_OpenSession; wiped and freed when it closes.
struct SessionRecord {
    ObjectTable sessionObjects;  // entry i answers handle 0x8000 + i + 1
    std::uint32_t findResults[128];
    std::uint32_t findCount;
    std::uint32_t findCursor;
    std::uint32_t flags;  // C_OpenSession's flags, unchanged
    void* application;    // stored, never used
    CK_NOTIFY notify;     // stored, never called
    std::uint32_t slotId; // C_OpenSession's slot ID argument, unchanged
    std::uint32_t deviceError;
    OperationKind operation;
    std::uint32_t operationMechanism;
    std::uint32_t operationKey;
    std::uint8_t operationStarted;
    DigestContext digestState;  // digest and sign operations
    CipherState cipherState;    // encrypt and decrypt operations
};

}  // namespace vlrp11
