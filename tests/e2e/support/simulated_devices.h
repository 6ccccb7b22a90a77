#pragma once

#include "core/device.h"
#include "device/device_connection.h"

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace vlrp11::testing {

inline constexpr char SO_PIN[] = "87654321";
inline constexpr char USER_PIN[] = "12345678";

// A simulated device provisioned in a fresh state directory, removed afterwards.
struct SimulatedDevice {
    explicit SimulatedDevice(sim::DeviceSpec spec);
    ~SimulatedDevice();

    std::filesystem::path stateDir;
    std::unique_ptr<sim::Device> device;
};

sim::DeviceSpec spec_for(sim::DeviceKind kind, std::uint32_t serial);

// The PC/SC seam bound to one simulated card for the object's lifetime: transmit goes to the
// device core, the ATR attribute is the device's ATR.
class SimulatedCard {
public:
    explicit SimulatedCard(sim::Device& device);
    ~SimulatedCard();
};

// A network HSM session served from a thread over a socket pair; the library's end is the
// connection's socket.
class SimulatedNetworkLink {
public:
    explicit SimulatedNetworkLink(sim::Device& device);
    ~SimulatedNetworkLink();
    // The library's own descriptor of its end; close_connection closes it.
    std::uint64_t librarySocket() const { return static_cast<std::uint64_t>(libraryDuplicate_); }

private:
    int libraryEnd_ = -1;
    int libraryDuplicate_ = -1;
    int deviceEnd_ = -1;
    std::thread server_;
};

// A connection as discovery makes it: seeded generator, all-0xFF key, nobody logged in, the
// ATR read and checked (PC/SC kinds), transport chosen, device information fetched. Null on
// failure; free it with close_connection.
DeviceConnection* connect_simulated(std::int32_t kind, std::uint64_t handle, std::int32_t instance = 0);

}  // namespace vlrp11::testing
