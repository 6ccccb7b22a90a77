#pragma once

#include <memory>

namespace vlrp11 {

struct DeviceConnection;

// Closes the device's channel if it has one, leaves the card or closes the socket, and frees
// the wiped record. Null is ignored.
void close_connection(DeviceConnection* connection) noexcept;

struct ConnectionCloser {
    void operator()(DeviceConnection* connection) const noexcept { close_connection(connection); }
};

// A connection owned by one holder and closed when the holder lets it go without handing it
// on (release() hands it on, for example to a slot).
using ConnectionPtr = std::unique_ptr<DeviceConnection, ConnectionCloser>;

}  // namespace vlrp11
