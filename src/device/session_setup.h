#pragma once

#include "device/status.h"

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// Readies a connection for a new session when it has no channel yet (channel 0): on the PC/SC
// kinds it opens a channel, resetting the device's channels and trying once more when none is
// free (44); then, on every kind, the key exchange authenticates the device and sets the channel
// key. Network HSMs never get a channel, so each of their sessions repeats the key exchange.
// A connection that has its channel already is left alone.
// When the key exchange fails after a channel was opened here, that channel is closed again and
// `channel` is back to 0: the next attempt runs both steps, and no session ever runs on a channel
// whose device was not authenticated. Returns 0 or the failing step's status.
std::uint32_t set_up_session(DeviceConnection& connection) noexcept;

}  // namespace vlrp11
