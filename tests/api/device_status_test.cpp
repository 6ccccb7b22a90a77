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

    // As the entry points call it: with the session they resolved.
    CK_RV map(CK_SESSION_HANDLE handle, std::uint32_t status)
    {
        ResolvedSession resolved{};
        EXPECT_EQ(resolveSession(handle, resolved), CKR_OK);
        return mapDeviceStatus(resolved, status);
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
    EXPECT_EQ(map(first, PIN_WRONG), CKR_PIN_INCORRECT);
    device_info()[DEVICE_INFO_PIN_FAILURES] = 10;
    EXPECT_EQ(map(first, PIN_WRONG), CKR_PIN_LOCKED);
    EXPECT_EQ(session_record(first)->deviceError, DEVICE_OK);
    EXPECT_EQ(map(first, PIN_BLOCKED), CKR_PIN_LOCKED);
}

TEST_F(DeviceStatusTest, OtherStatusesAreRecordedInTheSession)
{
    const std::uint32_t unlisted = 0x6A;  // a device status with no meaning of its own here
    EXPECT_EQ(map(second, unlisted), CKR_DEVICE_ERROR);
    EXPECT_EQ(session_record(second)->deviceError, unlisted);
    EXPECT_EQ(session_record(first)->deviceError, DEVICE_OK);
}

TEST_F(DeviceStatusTest, DeviceGoneTearsTheSlotDown)
{
    for (std::uint32_t status : {TRANSPORT_FAILED, CONNECTION_LOST}) {
        EXPECT_EQ(map(first, status), CKR_DEVICE_REMOVED);
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
