#pragma once

namespace vlrp11 {

struct DeviceConnection;

// Closes the device's channel if it has one, leaves the card or closes the socket, and frees
// the wiped record. Null is ignored.
void close_connection(DeviceConnection* connection) noexcept;

}  // namespace vlrp11
