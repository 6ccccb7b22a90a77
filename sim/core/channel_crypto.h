#pragma once

// The secure-channel primitives shared by both ends: the 6-byte AES CBC-MAC and the AES-128
// counter-mode keystream that runs on across requests and replies.

#include <array>
#include <cstdint>
#include <span>

namespace vlrp11::sim {

struct ChannelKeys {
    std::array<std::uint8_t, 16> key;      // channel key; all 0xFF until a key exchange or login
    std::array<std::uint8_t, 16> counter;  // 128-bit big-endian counter block
    std::array<std::uint8_t, 16> keystream;
    unsigned keystream_pos;                // next keystream byte; 0: make a new block first

    ChannelKeys();
    void set_key(std::span<const std::uint8_t, 16> new_key);
    void reset_to_default();  // all-0xFF key (counter and keystream place kept)
};

// CBC-MAC with a zero IV over the data, the last partial block zero-filled; first 6 bytes.
std::array<std::uint8_t, 6> channel_mac(const ChannelKeys& keys, std::span<const std::uint8_t> data);
// XORs the data in place with the next keystream bytes; the same call encrypts and decrypts.
void channel_crypt(ChannelKeys& keys, std::span<std::uint8_t> data);

// One AES-128 block encryption (login values, key derivation). `in` and `out` may alias.
void aes128_encrypt_block(std::span<const std::uint8_t, 16> key,
                          std::span<const std::uint8_t, 16> in, std::span<std::uint8_t, 16> out);

}  // namespace vlrp11::sim
