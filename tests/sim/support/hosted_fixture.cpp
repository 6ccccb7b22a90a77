#include "sim/support/hosted_fixture.h"

#include <gtest/gtest.h>

namespace vlrp11::sim::testing {

ServedDevice::ServedDevice(DeviceKind kind, std::uint32_t serial) {
    DeviceProfile profile = default_profile(kind);
    profile.serial = serial;
    profile.so_pin = "87654321";
    profile.user_pin = "123456";
    std::string error;
    auto host = std::make_unique<HostedDevice>();
    host->device = Device::create(state_dir_.path(), profile, error);
    if (!host->device) {
        ADD_FAILURE() << error;
        throw std::runtime_error(error);
    }
    host->name = "dev" + std::to_string(serial);
    HostedDevice* served = host.get();
    devices_.push_back(std::move(host));
    server_.start(listen_tcp({"127.0.0.1", 0}), [served](int socket) {
        if (served->device->profile().kind == DeviceKind::network_hsm) {
            serve_network_client(*served, socket);
        } else {
            serve_reader_link(*served, socket);
        }
    });
    served->endpoint = endpoint();
}

ServedDevice::~ServedDevice() {
    server_.stop();
    devices_.clear();
}

}  // namespace vlrp11::sim::testing
