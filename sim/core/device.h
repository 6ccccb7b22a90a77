#pragma once

// One simulated device: a VELLARO token, a VELLARO HSM behind a PC/SC reader, or a MORVA network
// HSM. The front ends (pcscd driver bridge, TCP server) and the tests drive it through this class;
// the device itself knows nothing about sockets.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace vlrp11::sim {

enum class DeviceKind : int { token = 1, pcsc_hsm = 2, network_hsm = 3 };

// What a device is, fixed when it is provisioned and kept in its state directory.
struct DeviceProfile {
    DeviceKind kind = DeviceKind::token;
    std::uint32_t serial = 1;
    std::uint32_t model = 2000;            // below 2000: no RSA; 9000 and above: shows a clock
    std::uint8_t version = 7;              // major firmware version; tokens below 7 have no key exchange
    std::uint8_t firmware_minor = 0;       // 0..9, ATR byte 11 as an ASCII digit
    std::uint8_t atr_digit = 1;            // 0..9, ATR byte 12; token with 0: logout resets the channel key
    std::uint8_t storage_blocks = 64;      // 2040-byte storage blocks, shown in device information
    std::uint8_t pin_try_limit = 10;       // 255: no failure counters, PINs never block
    std::uint8_t partition_count = 1;      // 1 for a token, 4 for the HSMs (default_profile)
    std::uint16_t channel_limit = 4;       // logical channels of the PC/SC kinds
    // Only read by Device::create: the device keeps the values derived from them (see pin.h),
    // never the PINs. An empty user PIN leaves the user PIN uninitialised.
    std::string so_pin;
    std::string user_pin;
};

// Defaults for a kind: partition count 4 and 16 channels for the HSMs, 1 and 4 for the token.
DeviceProfile default_profile(DeviceKind kind);

// Faults injected into the device core. Each arms the next matching commands (any command, or
// only the given code); a fault is used up when it fires. Thread-safe.
class CoreFaults {
public:
    static constexpr int any_command = -1;

    // The next `times` matching commands are answered with status 64 (busy) and no data.
    void answer_busy(unsigned times, int code = any_command);
    // The next matching command is answered with `status` and no data, without being run.
    void answer_status_once(std::uint8_t status, int code = any_command);
    // The next matching reply goes out with bit 0 of its first MAC byte flipped.
    void corrupt_reply_mac_once(int code = any_command);
    void clear();

    struct Decision {
        bool answer_instead = false;  // answer `status` without running the command
        std::uint8_t status = 0;
        bool corrupt_mac = false;
    };
    // Called by the device for each command after its MAC was checked.
    Decision take(std::uint8_t code);

private:
    std::mutex mutex_;
    unsigned busy_times_ = 0;
    int busy_code_ = any_command;
    bool status_armed_ = false;
    std::uint8_t status_ = 0;
    int status_code_ = any_command;
    bool corrupt_armed_ = false;
    int corrupt_code_ = any_command;
};

class Device;
struct ObjectStore;

// One TCP connection to a network HSM: its own secure channel, one partition. It refers to its
// Device, which must outlive it. One thread at a time per session; sessions of one device may
// run on different threads.
class TcpSession {
public:
    explicit TcpSession(Device& device);
    ~TcpSession();
    TcpSession(const TcpSession&) = delete;
    TcpSession& operator=(const TcpSession&) = delete;

    // Bytes received from the peer. Returns the reply to send once a whole request frame has
    // arrived, empty while more bytes are needed. Request frames carry no length: a frame is
    // whole when its trailing MAC matches.
    std::vector<std::uint8_t> receive(std::span<const std::uint8_t> bytes);
    // The peer has been quiet for a while with bytes still held: they are taken as one whole
    // (damaged) frame and answered. Returns empty when nothing is held.
    std::vector<std::uint8_t> flush();
    bool pending() const;
    // The server should drop the socket (after sending any reply returned with it).
    bool closed() const;

private:
    struct State;
    Device& device_;
    std::unique_ptr<State> state_;
};

class Device {
public:
    // Provisions a new device in an empty or missing state directory: makes the device's P-256
    // key and its certificate signed by the development root key, derives the PIN values for
    // every partition and writes the state. Null and `error` set on failure.
    static std::unique_ptr<Device> create(const std::filesystem::path& state_dir,
                                          const DeviceProfile& profile, std::string& error);
    // Loads a provisioned device from its state directory.
    static std::unique_ptr<Device> open(const std::filesystem::path& state_dir,
                                        std::string& error);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const DeviceProfile& profile() const;
    // Answer-to-reset of the PC/SC kinds (20 bytes); empty for a network HSM.
    std::vector<std::uint8_t> atr() const;
    // One command APDU in, one response APDU out. Thread-safe.
    std::vector<std::uint8_t> transmit(std::span<const std::uint8_t> apdu);
    // Card power cycle: every channel closes and its login ends.
    void reset();
    // A new TCP connection (network HSM; also works on the other kinds, for tests).
    std::unique_ptr<TcpSession> open_tcp_session();
    CoreFaults& faults();
    // Personalisation (provisioning.h): runs `place` on a partition's object store under the
    // device lock, then saves the store. False with `error` set when `place` fails, the
    // partition does not exist or the state cannot be written.
    bool provision_objects(std::uint32_t partition, const std::function<bool(ObjectStore&)>& place,
                           std::string& error);

    struct Impl;

private:
    explicit Device(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend class TcpSession;
};

}  // namespace vlrp11::sim
