// How the device reads a stored key record: the 104-byte key header (byte 0 kind, byte 1 flags,
// bytes 2..3 CurveId or RSA modulus bits, byte 7 secret-key length) and the key material after it.
#pragma once

#include "core/objects_store.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vlrp11::sim {

inline constexpr std::uint8_t kFlagLocal = 0x80;   // generated on the device
inline constexpr std::uint8_t kFlagDerive = 0x04;  // key agreement allowed

enum class KeyFamily { none, ec, dstu, rsa, aes, kalyna, gost };

KeyFamily key_family(std::uint8_t kind);
// Whether a secret key of this kind may have this many bytes.
bool secret_length_allowed(std::uint8_t kind, std::size_t length);
// RSA modulus sizes the device generates.
bool rsa_bits_allowed(unsigned bits);

struct KeyRecord {
    std::span<const std::uint8_t> header;    // 104 bytes
    std::span<const std::uint8_t> material;  // may be empty while a generation runs

    std::uint8_t kind() const { return header[0]; }
    std::uint8_t flags() const { return header[1]; }
    std::uint16_t parameter() const { return static_cast<std::uint16_t>(header[2] | header[3] << 8); }
    KeyFamily family() const { return key_family(kind()); }
};

inline KeyRecord key_record(const DirectoryEntry& entry) {
    std::span<const std::uint8_t> data(entry.data);
    return KeyRecord{data.first(kKeyHeaderBytes), data.subspan(kKeyHeaderBytes)};
}

// Looks up the key at the request's index byte. Statuses: bad_argument for an index beyond the
// device or an entry holding a file, not_found for a free entry, busy while its generation runs.
std::uint8_t find_key(const ObjectStore& store, std::uint8_t index, KeyRecord& key);

// The public key as command 82 answers it: EC X ‖ Y, the DSTU 4145 compressed point, or the
// PKCS#1 RSAPublicKey DER. Empty for secret keys or damaged material.
std::vector<std::uint8_t> public_key_bytes(const KeyRecord& key);

}  // namespace vlrp11::sim
