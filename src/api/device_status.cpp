#include "api/device_status.h"

#include "api/handles.h"
#include "api/session_record.h"
#include "api/slot_teardown.h"
#include "device/device_connection.h"

namespace vlrp11 {

CK_RV mapDeviceStatus(const ResolvedSession& session, std::uint32_t status) noexcept
{
    switch (status) {
    case PIN_WRONG: {
        const std::uint8_t* info = session.connection->device_info;
        return info[DEVICE_INFO_PIN_LIMIT] != info[DEVICE_INFO_PIN_FAILURES] ? CKR_PIN_INCORRECT : CKR_PIN_LOCKED;
    }
    case PIN_BLOCKED:
        return CKR_PIN_LOCKED;
    case TRANSPORT_FAILED:
    case CONNECTION_LOST:
        teardown_slot(session.slotIndex);
        return CKR_DEVICE_REMOVED;
    default:
        session.session->deviceError = status;
        return CKR_DEVICE_ERROR;
    }
}

}  // namespace vlrp11
