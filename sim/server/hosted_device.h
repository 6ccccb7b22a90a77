// A device the running simulator serves: its core, its name on the control channel, where it
// listens and the transport faults that spoil its replies.
#pragma once

#include <memory>
#include <string>

#include "core/device.h"
#include "ifd/socket_io.h"
#include "server/transport_faults.h"

namespace vlrp11::sim {

struct HostedDevice {
    std::string name;
    std::unique_ptr<Device> device;
    Endpoint endpoint;
    TransportFaults faults;
};

// "token", "hsm" or "network", as the command line names the kinds.
const char* kind_name(DeviceKind kind);

// The conversation with the reader driver over the loopback link (PC/SC kinds).
void serve_reader_link(HostedDevice& host, int socket);
// The conversation with one client of a network HSM: a partition of its own per connection.
void serve_network_client(HostedDevice& host, int socket);

}  // namespace vlrp11::sim
