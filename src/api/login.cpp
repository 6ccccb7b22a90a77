// Login, logout and the PIN calls. The login state lives on the connection; PINs travel only as
// the values derived from them (device/pin_derivation.h).
#include "api/device_status.h"
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/session_record.h"
#include "device/device_commands.h"
#include "device/device_connection.h"
#include "objects/token_objects.h"

namespace vlrp11 {
namespace {

constexpr CK_ULONG MIN_PIN_LENGTH = 4;
constexpr CK_ULONG MAX_PIN_LENGTH = 64;
// The user PIN a freshly initialised token gets.
constexpr std::uint8_t DEFAULT_USER_PIN[] = {'7', '3', '5', '2', '0', '4'};

bool pin_length_allowed(CK_ULONG length) noexcept
{
    return length >= MIN_PIN_LENGTH && length <= MAX_PIN_LENGTH;
}

bool read_write(const SessionRecord& session) noexcept
{
    return (session.flags & CKF_RW_SESSION) != 0;
}

bool other_read_only_session(const SlotRecord& slot, const SessionRecord& self) noexcept
{
    for (const SessionRecord* session : slot.sessions)
        if (session != nullptr && session != &self && !read_write(*session))
            return true;
    return false;
}

bool pin_blocked(const DeviceConnection& connection) noexcept
{
    const std::uint8_t* info = connection.device_info;
    return info[DEVICE_INFO_PIN_FAILURES] == info[DEVICE_INFO_PIN_LIMIT];
}

// C_Login after resolveSession; C_SetPIN logs in through it too.
CK_RV login_session(const ResolvedSession& resolved, CK_USER_TYPE userType, const CK_UTF8CHAR* pin, CK_ULONG length)
{
    if (pin == nullptr)
        return CKR_ARGUMENTS_BAD;
    DeviceConnection& connection = *resolved.connection;
    LoginState role;
    if (userType == CKU_SO) {
        if (!read_write(*resolved.session))
            return CKR_SESSION_READ_ONLY;
        if (other_read_only_session(*resolved.slot, *resolved.session))
            return CKR_SESSION_READ_ONLY_EXISTS;
        role = LOGGED_IN_SO;
    } else if (userType == CKU_USER) {
        role = connection.kind == DEVICE_TOKEN || read_write(*resolved.session) ? LOGGED_IN_USER : LOGGED_IN_USER_RO;
    } else {
        return CKR_OPERATION_NOT_INITIALIZED;
    }
    if (connection.login_state != LOGGED_OUT)
        return connection.login_state == role ? CKR_USER_ALREADY_LOGGED_IN : CKR_USER_ANOTHER_ALREADY_LOGGED_IN;
    std::uint32_t status = login(connection, role, pin, length);
    resolved.session->deviceError = status;
    // Also after a failed login: the PIN counters it changed decide the answer.
    wait_device_info(connection);
    if (status != DEVICE_OK)
        return mapDeviceStatus(resolved, status);
    if (role != LOGGED_IN_SO)
        refresh_token_objects(connection, resolved.slot->tokenObjects, false);
    return CKR_OK;
}

}  // namespace

CK_RV C_Login(CK_SESSION_HANDLE hSession, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    return login_session(resolved, userType, pPin, ulPinLen);
}

CK_RV C_Logout(CK_SESSION_HANDLE hSession)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    DeviceConnection& connection = *resolved.connection;
    if (connection.login_state == LOGGED_OUT)
        return CKR_OK;
    std::uint32_t status = logout(connection);
    resolved.session->deviceError = status;
    if (status != DEVICE_OK)
        return mapDeviceStatus(resolved, status);
    refresh_token_objects(connection, resolved.slot->tokenObjects, false);
    return CKR_OK;
}

// Sets the default user PIN with the security officer's PIN; objects, label and SO PIN stay.
CK_RV C_InitToken(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen, CK_UTF8CHAR_PTR)
{
    LibraryLock lock;
    SlotRecord* slot = nullptr;
    if (CK_RV rv = resolveSlotId(slotID, slot); rv != CKR_OK)
        return rv;
    if (pPin == nullptr && ulPinLen != 0)
        return CKR_ARGUMENTS_BAD;
    for (const SessionRecord* session : slot->sessions)
        if (session != nullptr)
            return CKR_SESSION_EXISTS;
    DeviceConnection& connection = *slot->connection;
    static constexpr CK_UTF8CHAR no_pin[1] = {};
    std::uint32_t status = login(connection, LOGGED_IN_SO, pPin != nullptr ? pPin : no_pin, ulPinLen);
    if (status != DEVICE_OK)
        return status == PIN_WRONG ? CKR_PIN_INCORRECT : CKR_DEVICE_ERROR;
    status = init_pin(connection, DEFAULT_USER_PIN, sizeof DEFAULT_USER_PIN);
    logout(connection);
    return status == DEVICE_OK ? CKR_OK : CKR_DEVICE_ERROR;
}

// With a PIN: the security officer sets the user PIN. Without one: unblocks a blocked user PIN,
// whatever the device answers (its status shows in the session's device error).
CK_RV C_InitPIN(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    DeviceConnection& connection = *resolved.connection;
    if (pPin != nullptr && ulPinLen != 0) {
        if (!pin_length_allowed(ulPinLen))
            return CKR_PIN_LEN_RANGE;
        if (connection.login_state != LOGGED_IN_SO)
            return CKR_USER_NOT_LOGGED_IN;
        std::uint32_t status = init_pin(connection, pPin, ulPinLen);
        resolved.session->deviceError = status;
        wait_device_info(connection);
        return status == DEVICE_OK ? CKR_OK : mapDeviceStatus(resolved, status);
    }
    if (!pin_blocked(connection))
        return CKR_PIN_INVALID;
    set_time(connection);
    resolved.session->deviceError = unblock_pin(connection);
    wait_device_info(connection);
    return CKR_OK;
}

// Changes the PIN of whoever is logged in; with nobody logged in, logs the user in with the old
// PIN first (and stays logged in).
CK_RV C_SetPIN(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pOldPin, CK_ULONG ulOldLen, CK_UTF8CHAR_PTR pNewPin,
               CK_ULONG ulNewLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (!read_write(*resolved.session))
        return CKR_SESSION_READ_ONLY;
    if (pNewPin == nullptr)
        return CKR_ARGUMENTS_BAD;
    if (!pin_length_allowed(ulNewLen))
        return CKR_PIN_LEN_RANGE;
    if (resolved.connection->login_state == LOGGED_OUT) {
        if (CK_RV rv = login_session(resolved, CKU_USER, pOldPin, ulOldLen); rv != CKR_OK)
            return rv;
    }
    std::uint32_t status = change_pin(*resolved.connection, pNewPin, ulNewLen);
    resolved.session->deviceError = status;
    return status == DEVICE_OK ? CKR_OK : mapDeviceStatus(resolved, status);
}

}  // namespace vlrp11
