#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

constexpr std::size_t CHANNEL_MAC_LENGTH = 6;

// AES CBC-MAC under the channel key: the data XORed into a zero state block by block, each full
// block encrypted; a partial last block is encrypted zero-filled, without a length block. The
// MAC is the first 6 bytes of the final state; no data gives six zero bytes.
void channel_mac(const DeviceConnection& connection, const std::uint8_t* data, std::size_t length,
                 std::uint8_t out[CHANNEL_MAC_LENGTH]) noexcept;

// Encrypts or decrypts (the same operation) with the channel's counter-mode keystream. The
// keystream place carries over between calls and between directions: request bytes and reply
// bytes draw on one stream. data and out may be the same buffer.
void channel_crypt(DeviceConnection& connection, const std::uint8_t* data, std::size_t length,
                   std::uint8_t* out) noexcept;

// Rebuilds the channel key schedule for a 16-byte key.
void set_channel_key(DeviceConnection& connection, const std::uint8_t key[16]) noexcept;

// The key of a fresh connection: sixteen 0xFF bytes.
void reset_channel_key(DeviceConnection& connection) noexcept;

// Wipes the payload encryption state (counter and keystream) once no one is logged in: payloads
// travel in the clear then, and the next login or key exchange sets a fresh counter.
void end_payload_encryption(DeviceConnection& connection) noexcept;

// Compares two MACs in time independent of where they differ.
bool macs_equal(const std::uint8_t* a, const std::uint8_t* b) noexcept;

}  // namespace vlrp11
