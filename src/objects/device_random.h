#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// Most bytes one random command asks for.
inline constexpr std::size_t device_random_max = 224;

// Fills out with count (1..224) random bytes from the device (command 48). The reply goes
// straight to out with count as its capacity, so a longer one is never copied. Returns 0, the
// device's status, or COMMAND_LENGTH_WRONG for a reply of any other length than count.
std::uint32_t device_random(DeviceConnection& connection, std::uint8_t* out, std::size_t count) noexcept;

}  // namespace vlrp11
