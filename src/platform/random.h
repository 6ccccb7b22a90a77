#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

constexpr std::uint32_t RANDOM_FAILED = 190;

// Fills length bytes at buffer from the operating system's cryptographic random source.
// Returns 0, or RANDOM_FAILED (190) when the source cannot deliver; the buffer is then undefined.
std::uint32_t system_random(std::uint8_t* buffer, std::size_t length) noexcept;

}  // namespace vlrp11
