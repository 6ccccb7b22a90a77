#pragma once

#include <cstdint>

namespace vlrp11 {

// Keccak-f[1600], 24 rounds, on 25 lanes (lane x + 5y at index x + 5y), in place.
void keccak_f1600(std::uint64_t lanes[25]) noexcept;

}  // namespace vlrp11
