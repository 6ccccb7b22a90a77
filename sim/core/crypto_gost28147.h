// GOST 28147-89 with the default S-box of DSTU 4145 (the S-box every key of this device uses):
// the block transformation, ECB over whole blocks, and the counter (gamma) mode.
// A key is 32 bytes; key word i is bytes 4i..4i+3 read little-endian. A block is N1 ‖ N2, each
// 4 bytes little-endian. Input and output of the block and ECB calls may alias.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vlrp11::sim {

struct Gost28147Key {
    std::array<std::uint32_t, 8> words;
};

Gost28147Key gost28147_key(std::span<const std::uint8_t, 32> bytes);
void gost28147_wipe(Gost28147Key& key);

void gost28147_encrypt_block(const Gost28147Key& key, const std::uint8_t* in, std::uint8_t* out);
void gost28147_decrypt_block(const Gost28147Key& key, const std::uint8_t* in, std::uint8_t* out);

// ECB over in.size() bytes, which must be a multiple of 8; out must be as long. False otherwise.
bool gost28147_ecb(const Gost28147Key& key, bool encrypt, std::span<const std::uint8_t> in,
                   std::span<std::uint8_t> out);

// Counter mode state: the register after the initial encryption of the IV, the current gamma
// block and the place in it (8 = a new gamma block is due).
struct Gost28147Ctr {
    std::uint32_t n3;
    std::uint32_t n4;
    std::array<std::uint8_t, 8> gamma;
    unsigned position;
};

Gost28147Ctr gost28147_ctr_start(const Gost28147Key& key, std::span<const std::uint8_t, 8> iv);
// XORs the keystream into data in place; calls continue one stream.
void gost28147_ctr(const Gost28147Key& key, Gost28147Ctr& state, std::span<std::uint8_t> data);

}  // namespace vlrp11::sim
