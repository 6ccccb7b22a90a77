#include "crypto/keccak.h"

#include <bit>

#include "crypto/cpu_support.h"

namespace vlrp11 {

namespace {

constexpr std::uint64_t round_constants[24] = {
    0x0000000000000001, 0x0000000000008082, 0x800000000000808a, 0x8000000080008000, 0x000000000000808b,
    0x0000000080000001, 0x8000000080008081, 0x8000000000008009, 0x000000000000008a, 0x0000000000000088,
    0x0000000080008009, 0x000000008000000a, 0x000000008000808b, 0x800000000000008b, 0x8000000000008089,
    0x8000000000008003, 0x8000000000008002, 0x8000000000000080, 0x000000000000800a, 0x800000008000000a,
    0x8000000080008081, 0x8000000000008080, 0x0000000080000001, 0x8000000080008008,
};

// One round written out lane by lane, so that every index is a constant and the compiler
// keeps the lanes in registers instead of indexing memory.
[[gnu::always_inline]] inline void round(std::uint64_t a[25], std::uint64_t round_constant) noexcept
{
    // Theta: column parities, then each lane takes its neighbours' parities.
    const std::uint64_t c0 = a[0] ^ a[5] ^ a[10] ^ a[15] ^ a[20];
    const std::uint64_t c1 = a[1] ^ a[6] ^ a[11] ^ a[16] ^ a[21];
    const std::uint64_t c2 = a[2] ^ a[7] ^ a[12] ^ a[17] ^ a[22];
    const std::uint64_t c3 = a[3] ^ a[8] ^ a[13] ^ a[18] ^ a[23];
    const std::uint64_t c4 = a[4] ^ a[9] ^ a[14] ^ a[19] ^ a[24];
    const std::uint64_t d0 = c4 ^ std::rotl(c1, 1);
    const std::uint64_t d1 = c0 ^ std::rotl(c2, 1);
    const std::uint64_t d2 = c1 ^ std::rotl(c3, 1);
    const std::uint64_t d3 = c2 ^ std::rotl(c4, 1);
    const std::uint64_t d4 = c3 ^ std::rotl(c0, 1);
    // Rho and pi: each lane rotated by its own offset and moved to its new position.
    const std::uint64_t b0 = a[0] ^ d0;
    const std::uint64_t b1 = std::rotl(a[6] ^ d1, 44);
    const std::uint64_t b2 = std::rotl(a[12] ^ d2, 43);
    const std::uint64_t b3 = std::rotl(a[18] ^ d3, 21);
    const std::uint64_t b4 = std::rotl(a[24] ^ d4, 14);
    const std::uint64_t b5 = std::rotl(a[3] ^ d3, 28);
    const std::uint64_t b6 = std::rotl(a[9] ^ d4, 20);
    const std::uint64_t b7 = std::rotl(a[10] ^ d0, 3);
    const std::uint64_t b8 = std::rotl(a[16] ^ d1, 45);
    const std::uint64_t b9 = std::rotl(a[22] ^ d2, 61);
    const std::uint64_t b10 = std::rotl(a[1] ^ d1, 1);
    const std::uint64_t b11 = std::rotl(a[7] ^ d2, 6);
    const std::uint64_t b12 = std::rotl(a[13] ^ d3, 25);
    const std::uint64_t b13 = std::rotl(a[19] ^ d4, 8);
    const std::uint64_t b14 = std::rotl(a[20] ^ d0, 18);
    const std::uint64_t b15 = std::rotl(a[4] ^ d4, 27);
    const std::uint64_t b16 = std::rotl(a[5] ^ d0, 36);
    const std::uint64_t b17 = std::rotl(a[11] ^ d1, 10);
    const std::uint64_t b18 = std::rotl(a[17] ^ d2, 15);
    const std::uint64_t b19 = std::rotl(a[23] ^ d3, 56);
    const std::uint64_t b20 = std::rotl(a[2] ^ d2, 62);
    const std::uint64_t b21 = std::rotl(a[8] ^ d3, 55);
    const std::uint64_t b22 = std::rotl(a[14] ^ d4, 39);
    const std::uint64_t b23 = std::rotl(a[15] ^ d0, 41);
    const std::uint64_t b24 = std::rotl(a[21] ^ d1, 2);
    // Chi: each row mixed with and-not of its neighbours; iota on lane 0.
    a[0] = b0 ^ (~b1 & b2);
    a[1] = b1 ^ (~b2 & b3);
    a[2] = b2 ^ (~b3 & b4);
    a[3] = b3 ^ (~b4 & b0);
    a[4] = b4 ^ (~b0 & b1);
    a[5] = b5 ^ (~b6 & b7);
    a[6] = b6 ^ (~b7 & b8);
    a[7] = b7 ^ (~b8 & b9);
    a[8] = b8 ^ (~b9 & b5);
    a[9] = b9 ^ (~b5 & b6);
    a[10] = b10 ^ (~b11 & b12);
    a[11] = b11 ^ (~b12 & b13);
    a[12] = b12 ^ (~b13 & b14);
    a[13] = b13 ^ (~b14 & b10);
    a[14] = b14 ^ (~b10 & b11);
    a[15] = b15 ^ (~b16 & b17);
    a[16] = b16 ^ (~b17 & b18);
    a[17] = b17 ^ (~b18 & b19);
    a[18] = b18 ^ (~b19 & b15);
    a[19] = b19 ^ (~b15 & b16);
    a[20] = b20 ^ (~b21 & b22);
    a[21] = b21 ^ (~b22 & b23);
    a[22] = b22 ^ (~b23 & b24);
    a[23] = b23 ^ (~b24 & b20);
    a[24] = b24 ^ (~b20 & b21);
    a[0] ^= round_constant;
}

[[gnu::always_inline]] inline void permute(std::uint64_t lanes[25]) noexcept
{
    std::uint64_t a[25];
    for (int i = 0; i < 25; ++i)
        a[i] = lanes[i];
    for (int r = 0; r < 24; ++r)
        round(a, round_constants[r]);
    for (int i = 0; i < 25; ++i)
        lanes[i] = a[i];
}

void permute_baseline(std::uint64_t lanes[25]) noexcept
{
    permute(lanes);
}

// The same C++ compiled with and-not and three-operand rotates, which chi and rho use on
// every lane.
[[gnu::target("bmi,bmi2")]] void permute_bmi(std::uint64_t lanes[25]) noexcept
{
    permute(lanes);
}

}  // namespace

void keccak_f1600(std::uint64_t lanes[25]) noexcept
{
    static const auto chosen = bmi_supported() ? permute_bmi : permute_baseline;
    chosen(lanes);
}

}  // namespace vlrp11
