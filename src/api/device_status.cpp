#include "api/device_status.h"

#include "api/library_state.h"
#include "api/session_record.h"
#include "api/slot_teardown.h"
#include "device/device_connection.h"

namespace vlrp11 {

CK_RV mapDeviceStatus(CK_SESSION_HANDLE hSession, std::uint32_t status) noexcept
{
    unsigned slotIndex = static_cast<unsigned>(hSession & 0xFF) - 1u;
    unsigned sessionIndex = static_cast<unsigned>((hSession >> 8) & 0xFF) - 1u;
    SlotRecord& slot = library_state().slots[slotIndex];

    switch (status) {
    case PIN_WRONG: {
        const std::uint8_t* info = slot.connection->device_info;
        return info[DEVICE_INFO_PIN_LIMIT] != info[DEVICE_INFO_PIN_FAILURES] ? CKR_PIN_INCORRECT : CKR_PIN_LOCKED;
    }
    case PIN_BLOCKED:
        return CKR_PIN_LOCKED;
    case DEVICE_GONE:
    case CONNECTION_LOST:
        teardown_slot(slotIndex);
        return CKR_DEVICE_REMOVED;
    default:
        if (SessionRecord* session = slot.sessions[sessionIndex])
            session->deviceError = status;
        return CKR_DEVICE_ERROR;
    }
}

}  // namespace vlrp11
