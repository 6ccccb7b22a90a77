#pragma once

#include "device/status.h"

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

constexpr std::uint32_t DEVICE_CERTIFICATE_LENGTH = 140;

// Authenticates the device and sets the first channel key: an ephemeral P-256 key and a nonce
// go to the device, which answers with its ephemeral key signed by its certified key. Tokens
// with firmware below 7 have no key exchange and keep the all-0xFF key until login. On failure
// the channel key, counter and keystream place are unchanged.
std::uint32_t key_exchange(DeviceConnection& connection) noexcept;

}  // namespace vlrp11
