#pragma once

#include "device/device_connection.h"
#include "vlrp11/pkcs11.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vlrp11 {
struct ObjectRecord;
}

namespace vlrp11::testing {

// The module as an application sees it: its function table, initialised for each test and
// finalised after it.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    CK_FUNCTION_LIST_PTR p11 = nullptr;
};

// Places a device in a slot the way discovery does, without a device behind it: a connection
// record of the given kind whose transport must never be called. Returns the slot ID.
CK_SLOT_ID place_fake_device(unsigned slotIndex, DeviceKind kind = DEVICE_NETWORK_HSM);

// Opens a session record in the slot as C_OpenSession would and returns its handle.
CK_SESSION_HANDLE open_fake_session(CK_SLOT_ID slotId, unsigned sessionIndex);

// Adds a zero-filled object record of the given class to the slot's token objects or to a
// session's objects; returns it so tests can set fields.
ObjectRecord* add_token_object(CK_SLOT_ID slotId, unsigned index, std::uint32_t objectClass);
ObjectRecord* add_session_object(CK_SESSION_HANDLE hSession, unsigned index, std::uint32_t objectClass);

}  // namespace vlrp11::testing
