#pragma once

#include "api/handles.h"
#include "api/session_record.h"
#include "vlrp11/pkcs11.h"

namespace vlrp11 {

// The one operation a session runs at a time. All of these run under the library lock.

// CKR_OPERATION_ACTIVE while any operation runs, else CKR_OK.
CK_RV check_no_operation(const SessionRecord& session) noexcept;

// Records a started operation: its kind, mechanism and key; operationStarted 0.
void begin_operation(SessionRecord& session, OperationKind kind, CK_MECHANISM_TYPE mechanism,
                     CK_OBJECT_HANDLE key) noexcept;

// CKR_OPERATION_NOT_INITIALIZED unless an operation of the kind runs.
CK_RV require_operation(const SessionRecord& session, OperationKind kind) noexcept;

// resolveSession, then require_operation on the session it names: how every call that continues
// or finishes an operation begins.
CK_RV resolve_operation(CK_SESSION_HANDLE hSession, OperationKind kind, ResolvedSession& resolved) noexcept;

// Ends whatever runs: kind, mechanism and key cleared, the hash state and the cipher's IV and
// keystream wiped. keystreamOffset stays, for the final call that tells whether a stream
// mechanism stopped inside a block; every cipher init sets it afresh.
void end_operation(SessionRecord& session) noexcept;

// Ends the operation when it goes out of scope, by whichever path the call returns, unless
// keep() was called (length answers, and the results that leave the operation running).
class OperationEnd {
public:
    explicit OperationEnd(SessionRecord& session) noexcept : session_(&session) {}
    ~OperationEnd()
    {
        if (session_ != nullptr)
            end_operation(*session_);
    }
    OperationEnd(const OperationEnd&) = delete;
    OperationEnd& operator=(const OperationEnd&) = delete;

    // Returns rv, leaving the operation as it is.
    CK_RV keep(CK_RV rv) noexcept
    {
        session_ = nullptr;
        return rv;
    }

private:
    SessionRecord* session_;
};

}  // namespace vlrp11
