// Opening, closing and describing sessions. Login state belongs to the device connection: every
// session of a slot shares it, and closing the last one logs the device out.
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/library_state.h"
#include "api/session_close.h"
#include "api/session_record.h"
#include "api/slot_teardown.h"
#include "device/device_commands.h"
#include "device/device_connection.h"
#include "device/session_setup.h"
#include "objects/token_objects.h"

#include <cstdlib>

namespace vlrp11 {
namespace {

constexpr std::uint8_t FIRST_VERSION_WITH_PUBLIC_PASS = 7;

bool slot_has_sessions(const SlotRecord& slot) noexcept
{
    for (const SessionRecord* session : slot.sessions)
        if (session != nullptr)
            return true;
    return false;
}

bool slot_has_token_objects(const SlotRecord& slot) noexcept
{
    for (const ObjectRecord* record : slot.tokenObjects)
        if (record != nullptr)
            return true;
    return false;
}

// The lowest free session entry, or SESSIONS_PER_SLOT when all are taken.
unsigned free_session_entry(const SlotRecord& slot) noexcept
{
    unsigned index = 0;
    while (index < SESSIONS_PER_SLOT && slot.sessions[index] != nullptr)
        ++index;
    return index;
}

CK_STATE session_state(LoginState login, bool readWrite) noexcept
{
    switch (login) {
    case LOGGED_OUT:
        return readWrite ? CKS_RW_PUBLIC_SESSION : CKS_RO_PUBLIC_SESSION;
    case LOGGED_IN_USER:
        return readWrite ? CKS_RW_USER_FUNCTIONS : CKS_RO_USER_FUNCTIONS;
    case LOGGED_IN_USER_RO:
        return CKS_RO_USER_FUNCTIONS;
    default:
        return CKS_RW_SO_FUNCTIONS;
    }
}

}  // namespace

CK_RV close_session(unsigned slotIndex, unsigned sessionIndex) noexcept
{
    SlotRecord& slot = library_state().slots[slotIndex];
    close_session_record(slot, sessionIndex);
    DeviceConnection& connection = *slot.connection;
    if (slot_has_sessions(slot) || connection.login_state == LOGGED_OUT)
        return CKR_OK;
    logout(connection);
    return refresh_token_objects(connection, slot.tokenObjects, false);
}

CK_RV C_OpenSession(CK_SLOT_ID slotID, CK_FLAGS flags, CK_VOID_PTR pApplication, CK_NOTIFY Notify,
                    CK_SESSION_HANDLE_PTR phSession)
{
    LibraryLock lock;
    SlotRecord* slot = nullptr;
    if (CK_RV rv = resolveSlotId(slotID, slot); rv != CKR_OK)
        return rv;
    if ((flags & CKF_SERIAL_SESSION) == 0)
        return CKR_SESSION_PARALLEL_NOT_SUPPORTED;
    if (phSession == nullptr)
        return CKR_ARGUMENTS_BAD;
    unsigned index = free_session_entry(*slot);
    if (index == SESSIONS_PER_SLOT)
        return CKR_HOST_MEMORY;
    DeviceConnection& connection = *slot->connection;
    if (connection.login_state == LOGGED_IN_SO && (flags & CKF_RW_SESSION) == 0)
        return CKR_SESSION_READ_WRITE_SO_EXISTS;
    if (std::uint32_t status = set_up_session(connection); status != DEVICE_OK) {
        if (status != TRANSPORT_FAILED && status != CONNECTION_LOST)
            return CKR_DEVICE_ERROR;
        teardown_slot(slot_index_of(slotID));
        return CKR_DEVICE_REMOVED;
    }
    if (connection.kind == DEVICE_TOKEN && connection.device_info[DEVICE_INFO_VERSION] >= FIRST_VERSION_WITH_PUBLIC_PASS &&
        !slot_has_token_objects(*slot) && !slot_has_sessions(*slot))
        refresh_token_objects(connection, slot->tokenObjects, true);
    auto* session = static_cast<SessionRecord*>(std::calloc(1, sizeof(SessionRecord)));
    if (session == nullptr)
        return CKR_HOST_MEMORY;
    session->flags = static_cast<std::uint32_t>(flags);
    session->application = pApplication;
    session->notify = Notify;
    session->slotId = static_cast<std::uint32_t>(slotID);
    slot->sessions[index] = session;
    *phSession = make_session_handle(slotID, index);
    return CKR_OK;
}

CK_RV C_CloseSession(CK_SESSION_HANDLE hSession)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    return close_session(resolved.slotIndex, session_index_of(hSession));
}

CK_RV C_CloseAllSessions(CK_SLOT_ID slotID)
{
    LibraryLock lock;
    SlotRecord* slot = nullptr;
    if (CK_RV rv = resolveSlotId(slotID, slot); rv != CKR_OK)
        return rv;
    // By entry index: a slot ID with bits 8..15 set would name other sessions in a handle.
    for (unsigned i = 0; i < SESSIONS_PER_SLOT; ++i) {
        if (slot->sessions[i] != nullptr)
            close_session(slot_index_of(slotID), i);
    }
    return CKR_OK;
}

CK_RV C_GetSessionInfo(CK_SESSION_HANDLE hSession, CK_SESSION_INFO_PTR pInfo)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pInfo == nullptr)
        return CKR_ARGUMENTS_BAD;
    const SessionRecord& session = *resolved.session;
    pInfo->slotID = hSession & 0xFF;
    pInfo->state = session_state(resolved.connection->login_state, (session.flags & CKF_RW_SESSION) != 0);
    pInfo->flags = session.flags | CKF_SERIAL_SESSION;
    pInfo->ulDeviceError = session.deviceError;
    return CKR_OK;
}

}  // namespace vlrp11
