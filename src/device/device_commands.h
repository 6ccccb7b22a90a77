#pragma once

#include "device/status.h"

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// Seconds from 1970-01-01 to 2020-01-01, the epoch of the device clock.
constexpr std::int64_t DEVICE_EPOCH_UNIX = 1577836800;

// Sets the clock of a token with firmware above 6 (other devices keep their own); the device's
// answer is ignored.
void set_time(DeviceConnection& connection) noexcept;
void set_time_at(DeviceConnection& connection, std::int64_t unix_seconds) noexcept;

// Asks the device for a channel number and stores it; a reply that is not 2 bytes clears the
// channel and returns REPLY_LENGTH_WRONG.
std::uint32_t open_channel(DeviceConnection& connection) noexcept;

// Closes the connection's channel on the device (command 36). On success nobody is logged in,
// `channel` is 0 and the key is the all-0xFF key again, except on network HSMs, whose key stays.
std::uint32_t close_channel(DeviceConnection& connection) noexcept;

// Sets the user PIN (with the security officer logged in) / changes the logged-in role's PIN.
std::uint32_t init_pin(DeviceConnection& connection, const std::uint8_t* pin, std::size_t pin_length) noexcept;
std::uint32_t change_pin(DeviceConnection& connection, const std::uint8_t* new_pin, std::size_t length) noexcept;

// Sets the user PIN's failure counter back to 0 (with the security officer logged in).
std::uint32_t unblock_pin(DeviceConnection& connection) noexcept;

// Logs in as security officer (0), user (1) or read-only user (2, not on tokens); on success
// the channel key and counter come from the device's reply and payloads are encrypted from the
// next command on.
std::uint32_t login(DeviceConnection& connection, int type, const std::uint8_t* pin, std::size_t pin_length) noexcept;

// Logs out; nothing is sent while nobody is logged in.
std::uint32_t logout(DeviceConnection& connection) noexcept;

// Fetches the device information again, repeating 100 ms apart while the device is busy.
std::uint32_t wait_device_info(DeviceConnection& connection) noexcept;

}  // namespace vlrp11
