#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

// Fills length bytes at buffer from the operating system's cryptographic random source.
// False when the source cannot deliver; the buffer is then undefined.
bool system_random(std::uint8_t* buffer, std::size_t length) noexcept;

}  // namespace vlrp11
