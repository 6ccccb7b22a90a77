#pragma once

#include "device/device_connection.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vlrp11::testing {

// A PC/SC binding whose one card is a function of the command APDU. Every APDU sent is kept.
// Binding it replaces the system's PC/SC for the lifetime of the object.
class FakeCard {
public:
    using Responder = std::function<std::vector<std::uint8_t>(std::span<const std::uint8_t> command)>;

    explicit FakeCard(Responder responder);
    ~FakeCard();

    std::vector<std::vector<std::uint8_t>> sent;
    Responder respond;
    bool failTransmit = false;
};

// A zero-filled connection to a PC/SC device of the given kind using the APDU transport, with
// the all-0xFF channel key, nobody logged in.
DeviceConnection make_pcsc_connection(DeviceKind kind = DEVICE_TOKEN);

// A response APDU as a device builds it: MAC over data and status bytes under the key of
// `device` (a mirror of the library's channel state), data encrypted when logged in.
std::vector<std::uint8_t> device_response(DeviceConnection& device, std::span<const std::uint8_t> data,
                                          std::uint8_t status);

}  // namespace vlrp11::testing
