#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

// Turns a PIN into the two 16-byte values the PIN commands carry; the PIN itself never leaves
// the library. D = SHA-512 applied 10 000 times (first to the PIN bytes, then to each 64-byte
// digest); A = D bytes 0-15, B = D bytes 32-47. Exactly pin_length bytes are hashed.
void derive_pin(const std::uint8_t* pin, std::size_t pin_length, std::uint8_t a_out16[16],
                std::uint8_t b_out16[16]) noexcept;

}  // namespace vlrp11
