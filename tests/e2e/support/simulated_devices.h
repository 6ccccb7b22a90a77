#pragma once

#include "core/device.h"
#include "device/device_connection.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vlrp11::testing {

inline constexpr char SO_PIN[] = "87654321";
inline constexpr char USER_PIN[] = "12345678";

// A simulated device provisioned in a fresh state directory, removed afterwards.
struct SimulatedDevice {
    explicit SimulatedDevice(sim::DeviceProfile profile);
    ~SimulatedDevice();

    std::filesystem::path stateDir;
    std::unique_ptr<sim::Device> device;
};

sim::DeviceProfile profile_for(sim::DeviceKind kind, std::uint32_t serial);

// The PC/SC seam bound to one simulated card for the object's lifetime: transmit goes to the
// device core, the ATR attribute is the device's ATR.
class SimulatedCard {
public:
    explicit SimulatedCard(sim::Device& device);
    ~SimulatedCard();
};

// A network HSM on a loopback address of its own (127.0.0.x) at port 5656, each accepted
// connection served from a thread of its own.
class SimulatedNetworkHsm {
public:
    explicit SimulatedNetworkHsm(sim::Device& device);
    ~SimulatedNetworkHsm();
    const char* address() const { return address_.c_str(); }

private:
    void accept_loop();

    sim::Device& device_;
    std::string address_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<int> sockets_;
    std::vector<std::thread> servers_;
};

}  // namespace vlrp11::testing
