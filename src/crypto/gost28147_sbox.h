#pragma once

// GOST 28147-89 substitution boxes.
//
// Packed form (64 bytes): the 128 nibbles S1[0..15], S2[0..15], ..., S8[0..15], two per byte,
// the earlier nibble in the high half. This is how S-boxes travel in DSTU 4145 parameters and
// in key attributes.
//
// Lookup form (64 bytes): four rows of 16. Row k substitutes byte k of a 32-bit word (byte 0
// least significant): v -> (row_k[v >> 4] & 0xF0) | (row_k[v & 0x0F] & 0x0F). Entry j of row k
// is (S_{2k+2}[j] << 4) | S_{2k+1}[j]. Every cipher interface that takes an S-box takes this form.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vlrp11 {

inline constexpr std::size_t gost28147_sbox_bytes = 64;

using Gost28147Sbox = std::array<std::uint8_t, gost28147_sbox_bytes>;

// Converts a packed S-box into the lookup form. The buffers must not overlap.
constexpr void gost28147_unpack_sbox(const std::uint8_t* packed, std::uint8_t* lookup) noexcept
{
    auto nibble = [packed](int box, int j) {  // box 0 is S1
        const int n = box * 16 + j;
        const std::uint8_t byte = packed[n / 2];
        return static_cast<std::uint8_t>(n % 2 == 0 ? byte >> 4 : byte & 0x0F);
    };
    for (int k = 0; k < 4; ++k) {
        for (int j = 0; j < 16; ++j) {
            lookup[k * 16 + j] =
                static_cast<std::uint8_t>((nibble(2 * k + 1, j) << 4) | nibble(2 * k, j));
        }
    }
}

// The default S-box of DSTU 4145-2002 (the state service's S-box no. 1), packed form.
inline constexpr Gost28147Sbox gost28147_default_sbox_packed = {
    0xa9, 0xd6, 0xeb, 0x45, 0xf1, 0x3c, 0x70, 0x82, 0x80, 0xc4, 0x96, 0x7b, 0x23, 0x1f, 0x5e, 0xad,
    0xf6, 0x58, 0xeb, 0xa4, 0xc0, 0x37, 0x29, 0x1d, 0x38, 0xd9, 0x6b, 0xf0, 0x25, 0xca, 0x4e, 0x17,
    0xf8, 0xe9, 0x72, 0x0d, 0xc6, 0x15, 0xb4, 0x3a, 0x28, 0x97, 0x5f, 0x0b, 0xc1, 0xde, 0xa3, 0x64,
    0x38, 0xb5, 0x64, 0xea, 0x2c, 0x17, 0x9f, 0xd0, 0x12, 0x3e, 0x6d, 0xb8, 0xfa, 0xc5, 0x79, 0x04,
};

// The same S-box in the lookup form.
inline constexpr Gost28147Sbox gost28147_default_sbox = [] {
    Gost28147Sbox lookup{};
    gost28147_unpack_sbox(gost28147_default_sbox_packed.data(), lookup.data());
    return lookup;
}();

}  // namespace vlrp11
