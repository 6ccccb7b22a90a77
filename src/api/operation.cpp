#include "api/operation.h"

#include "platform/wipe.h"

namespace vlrp11 {

CK_RV check_no_operation(const SessionRecord& session) noexcept
{
    return session.operation != OPERATION_NONE ? CKR_OPERATION_ACTIVE : CKR_OK;
}

void begin_operation(SessionRecord& session, OperationKind kind, CK_MECHANISM_TYPE mechanism,
                     CK_OBJECT_HANDLE key) noexcept
{
    session.operation = kind;
    session.operationMechanism = static_cast<std::uint32_t>(mechanism);
    session.operationKey = static_cast<std::uint32_t>(key);
    session.operationStarted = 0;
}

CK_RV require_operation(const SessionRecord& session, OperationKind kind) noexcept
{
    return session.operation != kind ? CKR_OPERATION_NOT_INITIALIZED : CKR_OK;
}

CK_RV resolve_operation(CK_SESSION_HANDLE hSession, OperationKind kind, ResolvedSession& resolved) noexcept
{
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    return require_operation(*resolved.session, kind);
}

void end_operation(SessionRecord& session) noexcept
{
    session.operation = OPERATION_NONE;
    session.operationMechanism = 0;
    session.operationKey = 0;
    session.operationStarted = 0;
    secure_wipe(session.digestState);
    secure_wipe(session.cipherState.iv);
    secure_wipe(session.cipherState.keystream);
}

}  // namespace vlrp11
