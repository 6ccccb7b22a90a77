#pragma once

#include <array>
#include <cstdint>

namespace vlrp11 {

// The P-256 key that signs every device certificate, X then Y, big-endian, as given to the build
// (VLRP11_ROOT_PUBLIC_KEY).
extern const std::array<std::uint8_t, 64> ROOT_PUBLIC_KEY;

}  // namespace vlrp11
