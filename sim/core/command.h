#pragma once

// The seam between the device core (channels, secure channel, PINs, persistence) and the command
// handlers. The core parses the frame, checks the MAC, decrypts, checks the login the command
// needs, then calls the handler with the plain request; it encrypts and MACs whatever the handler
// leaves in `reply`.

#include <openssl/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/device.h"

namespace vlrp11::sim {

// Device status bytes (the last byte of every reply). Values the library reacts to are fixed by
// the protocol (44, 48, 60, 63, 64); the refusals are the device's own.
namespace status {
inline constexpr std::uint8_t ok = 0;
inline constexpr std::uint8_t bad_length = 16;        // request length wrong for the command
inline constexpr std::uint8_t bad_argument = 17;      // index, count, curve, point, ... out of range
inline constexpr std::uint8_t not_found = 18;         // directory entry or key slot empty
inline constexpr std::uint8_t unknown_command = 19;   // code not offered by this device
inline constexpr std::uint8_t access_denied = 20;     // the command needs another login
inline constexpr std::uint8_t bad_mac = 21;           // request MAC did not match
inline constexpr std::uint8_t no_channel = 22;        // channel number not open
inline constexpr std::uint8_t storage_full = 24;      // no free directory entry
inline constexpr std::uint8_t wrong_key_type = 25;    // key cannot serve this operation
inline constexpr std::uint8_t reply_too_long = 26;    // the reply does not fit the announced capacity
inline constexpr std::uint8_t wrong_state = 27;       // e.g. login while logged in
inline constexpr std::uint8_t internal_error = 28;    // the device could not complete (e.g. its RNG)
inline constexpr std::uint8_t pin_not_initialized = 29;
inline constexpr std::uint8_t no_free_channel = 44;
inline constexpr std::uint8_t wrong_pin = 48;
inline constexpr std::uint8_t pin_blocked = 60;
inline constexpr std::uint8_t pending = 63;           // asynchronous operation started
inline constexpr std::uint8_t busy = 64;
}  // namespace status

// PIN-derived values as the device keeps them: A and B of the 10 000-fold SHA-512 derivation.
struct PinRecord {
    std::array<std::uint8_t, 16> a{};
    std::array<std::uint8_t, 16> b{};
    bool set = false;
    std::uint8_t failures = 0;  // consecutive wrong presentations; blocked at the try limit
};

// The object directory and keys of one partition. Defined by the object code, which also
// provides the functions below; the core only creates, saves and loads it.
struct ObjectStore;
std::shared_ptr<ObjectStore> make_object_store(const DeviceProfile& profile);
std::vector<std::uint8_t> save_object_store(const ObjectStore& store);
// False when the saved bytes are damaged; the device then refuses to open.
bool load_object_store(ObjectStore& store, std::span<const std::uint8_t> saved);

// One partition: the token has one, the HSMs four. A channel (PC/SC) or connection (TCP) works on
// one partition at a time: 0 until a user login names another.
struct Partition {
    std::uint32_t number = 0;
    PinRecord so_pin;
    PinRecord user_pin;
    std::shared_ptr<ObjectStore> objects;
};

// Login state of the channel, as the library numbers it.
inline constexpr int login_none = -1;
inline constexpr int login_so = 0;
inline constexpr int login_user = 1;
inline constexpr int login_user_ro = 2;

struct CommandContext {
    const DeviceProfile& profile;
    Partition& partition;
    int login_state;
    std::uint32_t device_time;     // seconds since 2020-01-01 00:00:00 UTC (command 160)
    bool objects_changed = false;  // set by a handler that changed partition.objects; the core
                                   // saves the store before the reply leaves
    EVP_PKEY* device_key = nullptr;  // the device's P-256 key: signs key attestations (241)
};

// A handler gets the decrypted, MAC-checked request data and fills the reply data (empty on
// entry); it returns the device status byte. It runs under the device lock.
using CommandHandler = std::uint8_t (*)(CommandContext& context,
                                        std::span<const std::uint8_t> request,
                                        std::vector<std::uint8_t>& reply);

// Which login a command needs; the core answers status::access_denied otherwise.
enum class Access : std::uint8_t {
    anyone,
    logged_in,  // security officer, user or read-only user
    user,       // user or read-only user
    writer,     // user (read-write) or security officer: changes stored objects
    so,
};

struct CommandEntry {
    std::uint8_t code;
    Access access;
    CommandHandler handler;
};

// The object, key and cipher commands (18, 50, 66, 68, 72, 74, 80, 82, 84, 96, 112, 113, 120,
// 121, 241), provided by the object code. The core handles 2, 16, 32, 36, 38, 39, 40, 42, 48, 64,
// 104, 160, 166 and 240 itself.
std::span<const CommandEntry> object_commands();

}  // namespace vlrp11::sim
