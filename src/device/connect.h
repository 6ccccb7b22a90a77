#pragma once

#include "device/connection_close.h"
#include "device/device_connection.h"
#include "platform/pcsc.h"

#include <cstdint>

namespace vlrp11 {

// Answer-to-reset of the PC/SC kinds: 20 bytes beginning 3B 8F 11 81 00 "VTKW"; byte 12 is the
// digit that decides whether a token's logout resets the channel key.
constexpr std::uint32_t ATR_LENGTH = 20;

// A connection to the token or HSM partition behind an already connected card: the generator
// seeded, the ATR read and checked, the device information fetched (waiting out busy answers).
// Null on any failure; the card then stays the caller's to leave.
ConnectionPtr connect_pcsc(PcscCard card, DeviceKind kind, std::int32_t instance) noexcept;

// A connection to partition `partition` of the network HSM at dotted IPv4 `address`, port 5656.
// Null on any failure (a host name is not an address).
ConnectionPtr connect_network(const char* address, std::int32_t partition) noexcept;

constexpr std::uint16_t NETWORK_HSM_PORT = 5656;

}  // namespace vlrp11
