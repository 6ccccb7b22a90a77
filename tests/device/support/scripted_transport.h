#pragma once

#include "device/device_connection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <vector>

namespace vlrp11::testing {

using Bytes = std::vector<std::uint8_t>;

struct Sent {
    std::uint8_t code;
    Bytes request;
};

struct Answer {
    std::uint32_t status;
    Bytes reply;
};

// A transport that records every command and answers from a script (default: success, no
// data). It stands for the transports, below the device commands.
struct Script {
    std::vector<Sent> sent;
    std::deque<Answer> answers;

    std::vector<std::uint8_t> codes() const;
};

// Connections made by the fixture send through the fixture's script.
class ScriptedDeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Nobody logged in, the all-0xFF key, ATR digit 1, the given firmware version.
    DeviceConnection connection(DeviceKind kind, std::uint8_t version = 7);

    Script record;
};

}  // namespace vlrp11::testing
