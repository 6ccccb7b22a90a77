#include "support/module_fixture.h"

#include "api/function_table.h"
#include "api/handles.h"
#include "api/library_state.h"
#include "api/session_record.h"
#include "device/device_connection.h"
#include "objects/object_record.h"
#include "platform/sockets.h"

#include <cstdlib>

namespace vlrp11::testing {

void ModuleTest::SetUp()
{
    ASSERT_EQ(get_function_list(&p11), CKR_OK);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
}

void ModuleTest::TearDown()
{
    p11->C_Finalize(nullptr);
}

CK_SLOT_ID place_fake_device(unsigned slotIndex, DeviceKind kind)
{
    auto* connection = static_cast<DeviceConnection*>(std::calloc(1, sizeof(DeviceConnection)));
    connection->kind = kind;
    connection->handle = kind == DEVICE_NETWORK_HSM ? INVALID_SOCKET_HANDLE : 0;
    connection->login_state = LOGGED_OUT;
    SlotRecord& slot = library_state().slots[slotIndex];
    slot.connection = connection;
    slot.eventPending = 1;
    return slotIndex + 1;
}

CK_SESSION_HANDLE open_fake_session(CK_SLOT_ID slotId, unsigned sessionIndex)
{
    auto* session = static_cast<SessionRecord*>(std::calloc(1, sizeof(SessionRecord)));
    session->flags = CKF_SERIAL_SESSION;
    session->slotId = static_cast<std::uint32_t>(slotId);
    library_state().slots[slot_index_of(slotId)].sessions[sessionIndex] = session;
    return make_session_handle(slotId, sessionIndex);
}

namespace {

ObjectRecord* new_object(std::uint32_t objectClass)
{
    auto* record = static_cast<ObjectRecord*>(std::calloc(1, sizeof(ObjectRecord)));
    record->objectClass = objectClass;
    return record;
}

}  // namespace

ObjectRecord* add_token_object(CK_SLOT_ID slotId, unsigned index, std::uint32_t objectClass)
{
    ObjectRecord* record = new_object(objectClass);
    library_state().slots[slot_index_of(slotId)].tokenObjects[index] = record;
    return record;
}

ObjectRecord* add_session_object(CK_SESSION_HANDLE hSession, unsigned index, std::uint32_t objectClass)
{
    ObjectRecord* record = new_object(objectClass);
    SlotRecord& slot = library_state().slots[slot_index_of(hSession)];
    slot.sessions[session_index_of(hSession)]->sessionObjects[index] = record;
    return record;
}

}  // namespace vlrp11::testing
