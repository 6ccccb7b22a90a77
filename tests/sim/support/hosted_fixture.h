// Test helper: a freshly provisioned device served in process on a free loopback port, the way
// vlrp11-sim serve runs it (reader link for the PC/SC kinds, TCP clients for a network HSM).
#pragma once

#include <filesystem>
#include <memory>

#include "server/control.h"
#include "server/socket_server.h"
#include "support/temp_dir.h"

namespace vlrp11::sim::testing {

class ServedDevice {
public:
    ServedDevice(DeviceKind kind, std::uint32_t serial);
    ~ServedDevice();

    HostedDevice& host() { return *devices_.front(); }
    DeviceList& devices() { return devices_; }
    Endpoint endpoint() const { return {"127.0.0.1", static_cast<std::uint16_t>(server_.port())}; }
    // A control request, as the control channel would run it.
    std::string control(const std::string& request) { return run_control_request(request, devices_); }

private:
    vlrp11::testing::TempDir state_dir_{"vlrp11-frontends"};
    DeviceList devices_;
    SocketServer server_;
};

}  // namespace vlrp11::sim::testing
