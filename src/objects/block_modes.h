#pragma once

#include <cstddef>
#include <cstdint>

// Block modes over a block cipher that runs on the device with a key held there (the GOST
// 28147-89 stream modes also over the host's cipher). Each returns 0, COMMAND_LENGTH_WRONG for
// a length the mode cannot take or a reply of another length than asked, or the device's
// status. in and out may be the same buffer.

namespace vlrp11 {

struct DeviceConnection;

enum class CipherDirection { encrypt, decrypt };

// Most data bytes one device block command carries.
inline constexpr std::size_t device_block_command_max = 1024;

// ECB in pieces of at most 1024 bytes, 16-byte (AES, commands 112/113) or 8-byte (GOST
// 28147-89, commands 120/121) blocks; length a multiple of the block.
std::uint32_t device_ecb(DeviceConnection& connection, std::uint32_t deviceIndex, std::size_t block_bytes,
                         CipherDirection direction, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept;

// AES-CBC, one command per block; chain holds the 16-byte IV and is left at the last
// ciphertext block.
std::uint32_t device_cbc16(DeviceConnection& connection, std::uint32_t deviceIndex, CipherDirection direction,
                           std::uint8_t* chain, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept;

// Where the GOST 28147-89 block transformation of a key runs: on the device (connection set)
// or on the host with the key's schedule.
struct GostBlockCipher {
    DeviceConnection* connection;
    std::uint32_t deviceIndex;
    const std::uint32_t* schedule;
};

// Encrypts one 8-byte block in place.
std::uint32_t gost_encrypt_block(const GostBlockCipher& cipher, std::uint8_t* block) noexcept;

// GOST 28147-89 counter mode; the same call encrypts and decrypts. counter is N1 ‖ N2 (8
// bytes), gamma the current keystream block, *position the next gamma byte (0..7). A position
// outside 0..7 (-1 by convention) first encrypts the counter to start the stream. The state
// continues across calls: 5 bytes and then 11 equal 16 at once.
std::uint32_t gost_ctr(const GostBlockCipher& cipher, std::int32_t* position, std::uint8_t* counter,
                       std::uint8_t* gamma, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept;

// 64-bit cipher feedback byte by byte: at position 0 the register is encrypted in place; the
// ciphertext byte replaces the register byte it was made with. State continues across calls.
std::uint32_t gost_cfb(const GostBlockCipher& cipher, CipherDirection direction, std::int32_t* position,
                       std::uint8_t* feedback, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept;

}  // namespace vlrp11
