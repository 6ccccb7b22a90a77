#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// Commands that change what the device stores. Each returns the transport's or the device's
// status.

// Bytes of the key record (the object header) that generation and writing carry after the index.
constexpr std::uint32_t KEY_RECORD_BYTES = 104;
// The largest public key the device answers to generation: an RSA-4096 RSAPublicKey with room.
constexpr std::uint32_t GENERATED_KEY_REPLY_CAPACITY = 592;
// The most one write carries of an object file.
constexpr std::uint32_t WRITE_CHUNK_MAX_BYTES = 2040;

// Sets the device clock (tokens that keep one), then starts making a key pair described by the
// record at the directory index. The public key comes back as the key-reading command gives it;
// *length holds the capacity on entry. RSA keys answer OPERATION_STARTED and are collected with
// read_public_key once the device no longer answers DEVICE_BUSY.
std::uint32_t generate_key(DeviceConnection& connection, std::uint8_t index, const std::uint8_t* record,
                           std::uint8_t* reply, std::uint32_t* length) noexcept;

// Stores a secret key with its record at the directory index.
std::uint32_t write_key(DeviceConnection& connection, std::uint8_t index, const std::uint8_t* record,
                        const std::uint8_t* key, std::size_t key_length) noexcept;

// Sets the device clock, then empties one directory entry: a key, or one chunk of a file.
std::uint32_t delete_object(DeviceConnection& connection, std::uint8_t index) noexcept;

// Writes one chunk (1..2040 bytes, else COMMAND_LENGTH_WRONG with nothing sent) of a file into
// the free entry `index`, marked with the directory state byte and the index of the file's head.
std::uint32_t write_object(DeviceConnection& connection, std::uint8_t index, std::uint8_t state, std::uint8_t head,
                           const std::uint8_t* chunk, std::size_t length) noexcept;

}  // namespace vlrp11
