#pragma once

#include "objects/key_kinds.h"

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// The most a device key's public part takes in a record's cache: EC X ‖ Y (P-521: 132 bytes,
// sent as 136 by one model), a compressed DSTU 4145 point, or an RSAPublicKey DER.
std::uint32_t public_key_capacity(KeyFamily family) noexcept;

// The length of a public key as the device sent it, less the padding that model 1000 with
// firmware 1 puts after a P-521 point (136 bytes for 132).
std::uint32_t public_key_length(const DeviceConnection& connection, std::uint32_t received) noexcept;

}  // namespace vlrp11
