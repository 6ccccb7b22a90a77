// Objects placed on a device the way the maker's personalisation does it before a device ships:
// straight into a partition's directory, not through the host commands. What is placed here is
// then served by the same commands as anything a host wrote.
#pragma once

#include "core/objects_store.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vlrp11::sim {

using KeyHeader = std::array<std::uint8_t, kKeyHeaderBytes>;

// Directory states of files: data or certificate, public or private.
inline constexpr std::uint8_t kStatePublicData = 0x8C;
inline constexpr std::uint8_t kStatePrivateData = 0x83;
inline constexpr std::uint8_t kStatePublicCertificate = 0xCC;
inline constexpr std::uint8_t kStatePrivateCertificate = 0xC3;

// A 104-byte header: kind, flags, the u16 parameter (value length, CurveId or modulus bits),
// secret-key length, and ID, label and application (each cut to 32 bytes).
KeyHeader object_header(std::uint8_t kind, std::uint8_t flags, std::uint16_t parameter, std::uint8_t secret_length,
                        std::span<const std::uint8_t> id, const std::string& label,
                        const std::string& application = {});

// Writes header ‖ value as a file whose head is `head`, in chunks of at most 2040 bytes at the
// head and the next free entries below it. The header's length field is set to the value length.
// False when the entries run out or the value is longer than a header can say.
bool place_file(ObjectStore& store, std::uint8_t head, std::uint8_t state, KeyHeader header,
                std::span<const std::uint8_t> value);

// Makes a key pair of the header's kind on its curve or modulus size (EC, DSTU 4145, RSA) and
// stores it at `index` as made on the device. Returns the public key as command 82 answers it;
// empty when the entry is taken or the kind, curve or size is not one the device makes.
std::vector<std::uint8_t> place_key_pair(ObjectStore& store, std::uint8_t index, KeyHeader header);


// Stores a secret key (kind 11 and above) as written by a host.
bool place_secret_key(ObjectStore& store, std::uint8_t index, KeyHeader header,
                      std::span<const std::uint8_t> key);

}  // namespace vlrp11::sim
