#include "support/module_fixture.h"

#include "api/device_status.h"
#include "api/handles.h"
#include "api/library_state.h"
#include "api/session_record.h"
#include "device/device_connection.h"

#include <gtest/gtest.h>

namespace vlrp11::testing {
namespace {

class DeviceStatusTest : public ModuleTest {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        slot = place_fake_device(4);
        first = open_fake_session(slot, 0);
        second = open_fake_session(slot, 5);
    }

    SessionRecord* session_record(CK_SESSION_HANDLE handle)
    {
        ResolvedSession resolved{};
        return resolveSession(handle, resolved) == CKR_OK ? resolved.session : nullptr;
    }

    std::uint8_t* device_info() { return library_state().slots[4].connection->device_info; }

    CK_SLOT_ID slot = 0;
    CK_SESSION_HANDLE first = 0;
    CK_SESSION_HANDLE second = 0;
};

TEST_F(DeviceStatusTest, WrongPinIsIncorrectUntilTheTriesAreUsedUp)
{
    device_info()[DEVICE_INFO_PIN_LIMIT] = 10;
    device_info()[DEVICE_INFO_PIN_FAILURES] = 3;
    EXPECT_EQ(mapDeviceStatus(first, PIN_WRONG), CKR_PIN_INCORRECT);
    device_info()[DEVICE_INFO_PIN_FAILURES] = 10;
    EXPECT_EQ(mapDeviceStatus(first, PIN_WRONG), CKR_PIN_LOCKED);
    EXPECT_EQ(session_record(first)->deviceError, 0u);
    EXPECT_EQ(mapDeviceStatus(first, PIN_BLOCKED), CKR_PIN_LOCKED);
}

TEST_F(DeviceStatusTest, OtherStatusesAreRecordedInTheSession)
{
    EXPECT_EQ(mapDeviceStatus(second, 0x6A), CKR_DEVICE_ERROR);
    EXPECT_EQ(session_record(second)->deviceError, 0x6Au);
    EXPECT_EQ(session_record(first)->deviceError, 0u);
}

TEST_F(DeviceStatusTest, DeviceGoneTearsTheSlotDown)
{
    for (std::uint32_t status : {DEVICE_GONE, CONNECTION_LOST}) {
        EXPECT_EQ(mapDeviceStatus(first, status), CKR_DEVICE_REMOVED);
        EXPECT_EQ(session_record(first), nullptr);
        EXPECT_EQ(session_record(second), nullptr);
        EXPECT_EQ(resolveSlot(slot), nullptr);
        // The slot can take a device again.
        place_fake_device(4);
        first = open_fake_session(slot, 0);
        second = open_fake_session(slot, 5);
    }
}

}  // namespace
}  // namespace vlrp11::testing
