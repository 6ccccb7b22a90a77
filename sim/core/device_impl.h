#pragma once

// The inside of a Device, shared by the files that make up the core: the device record, its
// channels, and the command runner that the PC/SC and TCP framings both call.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "core/channel_crypto.h"
#include "core/command.h"
#include "core/device.h"
#include "core/p256.h"

namespace vlrp11::sim {

// One secure channel: a PC/SC logical channel or a TCP connection.
struct ChannelState {
    ChannelKeys keys;
    int login_state = login_none;
    std::uint32_t partition = 0;  // chosen by a user login that names one
};

using DeviceCertificate = std::array<std::uint8_t, 140>;

// What the device sends back for one command. `after_reply` runs once the reply has been
// encrypted and MACed under the old keys: key changes and channel closing happen there.
struct CommandOutcome {
    std::uint8_t status = status::ok;
    std::vector<std::uint8_t> data;
    bool corrupt_mac = false;
    std::function<void()> after_reply;
};

// The channel a command arrived on, for the commands that the core runs itself.
struct CoreCall {
    Device::Impl& device;
    ChannelState& channel;
    std::uint16_t channel_number;  // 0: the basic channel, or a TCP connection
    bool over_tcp;
    std::function<void()> after_reply;
    bool pins_changed = false;  // the device saves its core state before answering
};

using CoreHandler = std::uint8_t (*)(CoreCall& call, std::span<const std::uint8_t> request,
                                     std::vector<std::uint8_t>& reply);

struct CoreEntry {
    std::uint8_t code;
    Access access;
    bool on_basic_channel;  // PC/SC: also answered before a channel is opened
    CoreHandler handler;
};

// The session, PIN, time and random commands.
std::span<const CoreEntry> core_commands();

struct Device::Impl {
    std::filesystem::path state_dir;
    DeviceProfile profile;
    std::vector<Partition> partitions;
    EvpKey device_key;
    DeviceCertificate certificate{};
    std::int64_t time_offset = 0;  // device clock minus host clock, in seconds
    // PC/SC logical channels by number; 0 is the basic channel and always present.
    std::map<std::uint16_t, ChannelState> channels;
    std::mutex mutex;
    CoreFaults faults;

    bool pcsc() const { return profile.kind != DeviceKind::network_hsm; }
    // Tokens before version 7 have neither the key exchange nor a clock.
    bool has_key_exchange() const { return profile.kind != DeviceKind::token || profile.version >= 7; }
    std::uint32_t device_time() const;

    // Runs one command whose frame and MAC were already checked. Call with `mutex` held.
    CommandOutcome execute(ChannelState& channel, std::uint16_t channel_number, bool over_tcp,
                           std::uint8_t code, std::span<const std::uint8_t> request);

    bool save_core(std::string& error) const;
    bool save_objects(std::uint32_t partition, std::string& error) const;
    bool save_key(std::string& error) const;
    bool load(std::string& error);
};

// The device certificate: serial and kind (little-endian), format 1, public key, and the root
// key's signature over SHA-256 of the first 76 bytes.
bool make_certificate(const DeviceProfile& profile, EVP_PKEY* device_key, EVP_PKEY* root_key,
                      DeviceCertificate& certificate);
EvpKey load_development_root_key();

}  // namespace vlrp11::sim
