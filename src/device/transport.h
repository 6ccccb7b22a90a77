#pragma once

#include "device/status.h"

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

constexpr std::uint32_t MAX_REQUEST_LENGTH = 2049;
constexpr std::uint32_t MAX_APDU_REPLY_CAPACITY = 2048;

// One device command over PC/SC: the request framed as a short or extended APDU with a MAC,
// encrypted after login; the response decrypted and its MAC checked.
std::uint32_t transmit_apdu(DeviceConnection* connection, std::uint8_t code, const std::uint8_t* request,
                            std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length);

// One device command over TCP: code, data and MAC in one frame; code and data encrypted after
// login. A request that cannot be sent fails at once (TRANSPORT_FAILED). The reply frame has no
// length field, so receiving goes on until the frame's MAC verifies (or the frame cannot grow
// any more, or no more bytes come within a short wait).
std::uint32_t transmit_tcp(DeviceConnection* connection, std::uint8_t code, const std::uint8_t* request,
                           std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length);

// Both transports: a reply with more data than the caller's capacity is not copied; *reply_length
// then holds its length, above the capacity, and a success becomes TRANSPORT_LENGTH.

// For commands that check the length of their reply themselves: a reply too long for the buffer
// is handed to that check as a success of the wrong length, so the command ends as its own
// check says.
constexpr std::uint32_t status_before_length_check(std::uint32_t status, std::uint32_t length,
                                                   std::uint32_t capacity) noexcept
{
    if (status == TRANSPORT_LENGTH && length > capacity)
        return DEVICE_OK;
    return status;
}

// How long transmit_tcp waits for the rest of a reply frame whose MAC does not verify yet.
constexpr std::uint32_t TCP_FRAME_WAIT_MS = 250;

// How long transmit_tcp waits for the first byte of a reply: as long as a PC/SC reader driver
// waits for a card. Every command the device carries out answers well within it (a long key
// generation is polled); an HSM that stays silent longer is taken for gone.
constexpr std::uint32_t TCP_REPLY_WAIT_MS = 30000;

}  // namespace vlrp11
