#pragma once

#include "device/status.h"

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

constexpr std::uint32_t MAX_REQUEST_LENGTH = 2049;
constexpr std::uint32_t MAX_APDU_REPLY_CAPACITY = 2048;

// One device command over PC/SC: the request framed as a short or extended APDU with a MAC,
// encrypted after login; the response decrypted and its MAC checked. A reply with more data
// than the caller's capacity is refused with TRANSPORT_LENGTH and nothing is copied.
std::uint32_t transmit_apdu(DeviceConnection* connection, std::uint8_t code, const std::uint8_t* request,
                            std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length);

// One device command over TCP: code, data and MAC in one frame; code and data encrypted after
// login. The reply frame has no length field, so receiving goes on until the frame's MAC
// verifies (or the frame cannot grow any more, or no more bytes come within a short wait).
std::uint32_t transmit_tcp(DeviceConnection* connection, std::uint8_t code, const std::uint8_t* request,
                           std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length);

// How long transmit_tcp waits for the rest of a reply frame whose MAC does not verify yet.
constexpr std::uint32_t TCP_FRAME_WAIT_MS = 250;

}  // namespace vlrp11
