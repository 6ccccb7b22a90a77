#pragma once

#include "support/module_fixture.h"

#include "device/device_connection.h"

#include <cstdint>
#include <vector>

namespace vlrp11::testing {

// What a placed device answers and how it looks: device_info fields, ATR and the directory
// listing command 18 returns (empty: the command fails).
struct FakeDevice {
    DeviceKind kind = DEVICE_TOKEN;
    std::uint32_t serial = 1;
    std::uint32_t model = 2000;
    std::int32_t instance = 0;
    std::uint8_t version = 7;
    std::uint8_t blocks = 64;
    std::uint8_t pinLimit = 10;
    std::uint8_t pinFailures = 0;
    std::vector<std::uint8_t> atr;
    std::vector<std::uint8_t> listing;
};

// The module with PC/SC bound to a service that has no readers and calls every card handle
// present, so a refresh neither adds nor drops a placed PC/SC device.
class SlotsTest : public ModuleTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Places a device in the slot as discovery does (eventPending set); returns its slot ID.
    CK_SLOT_ID place(unsigned slotIndex, const FakeDevice& device);
};

// A directory listing of `entries` 4-byte entries, the first `free` of them free.
std::vector<std::uint8_t> directory_listing(unsigned entries, unsigned free);

}  // namespace vlrp11::testing
