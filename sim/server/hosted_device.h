// A device the running simulator serves: its core, its name on the control channel, where it
// listens and the transport faults that spoil its replies.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/device.h"
#include "ifd/socket_io.h"
#include "server/transport_faults.h"

namespace vlrp11::sim {

// What the device has exchanged since it started: benchmarks read it to put per-command costs
// on the client's side.
struct TrafficCount {
    std::atomic<std::uint64_t> commands{0};
    std::atomic<std::uint64_t> request_bytes{0};
    std::atomic<std::uint64_t> reply_bytes{0};
};

struct HostedDevice {
    std::string name;
    std::unique_ptr<Device> device;
    Endpoint endpoint;
    TransportFaults faults;
    TrafficCount traffic;
};

// "token", "hsm" or "network", as the command line names the kinds.
const char* kind_name(DeviceKind kind);

// The conversation with the reader driver over the loopback link (PC/SC kinds).
void serve_reader_link(HostedDevice& host, int socket);
// The conversation with one client of a network HSM: a partition of its own per connection.
void serve_network_client(HostedDevice& host, int socket);

}  // namespace vlrp11::sim
