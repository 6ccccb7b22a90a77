#pragma once

#include "core/device.h"
#include "server/hosted_device.h"
#include "server/socket_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace vlrp11::testing {

inline constexpr char SO_PIN[] = "87654321";
inline constexpr char USER_PIN[] = "12345678";

// A simulated device provisioned in a fresh state directory, removed afterwards; hosted as the
// simulator hosts it, with its transport faults.
struct SimulatedDevice {
    explicit SimulatedDevice(sim::DeviceProfile profile);

    TempDir stateDir{"vlrp11-e2e"};
    sim::HostedDevice host;
    sim::Device* device = nullptr;  // host's device
};

sim::DeviceProfile profile_for(sim::DeviceKind kind, std::uint32_t serial);

// Suites that run on every kind of device: the kinds, and the test name of each.
inline constexpr sim::DeviceKind all_kinds[] = {sim::DeviceKind::token, sim::DeviceKind::pcsc_hsm,
                                                sim::DeviceKind::network_hsm};
std::string kind_test_name(const ::testing::TestParamInfo<sim::DeviceKind>& info);

// The PC/SC seam bound to one simulated card for the object's lifetime: transmit goes to the
// device core, the ATR attribute is the device's ATR.
class SimulatedCard {
public:
    explicit SimulatedCard(sim::Device& device);
    ~SimulatedCard();
};

// A network HSM served by the simulator's own TCP server on a loopback address of its own
// (127.0.1.x, or the one given) at port 5656. Destroying it closes every connection, as a
// stopped device does.
class SimulatedNetworkHsm {
public:
    explicit SimulatedNetworkHsm(sim::HostedDevice& host, const std::string& address = {});
    const char* address() const { return address_.c_str(); }

private:
    std::string address_;
    sim::SocketServer server_;
};

// Points the module at partition 0 of the network HSM at `address`: writes the configuration
// file into `dir` and names it in VLRP11_MORVA_HSM_CONFIG.
void configure_network_hsm(const std::filesystem::path& dir, const std::string& address);

// A reader name under which the module finds a PC/SC device of this kind.
const char* reader_name(sim::DeviceKind kind);

}  // namespace vlrp11::testing
