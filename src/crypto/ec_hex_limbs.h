#pragma once

// Compile-time conversion of the curve constants, written as big-endian hexadecimal exactly as
// the standards print them, into native limbs.

#include <array>
#include <cstddef>

#include "crypto/ec_bignum.h"

namespace vlrp11 {

template <std::size_t N, std::size_t L>
consteval std::array<Limb, N> hex_limbs(const char (&hex)[L])
{
    static_assert(L - 1 <= 16 * N, "constant wider than its limbs");
    std::array<Limb, N> limbs{};
    for (std::size_t i = 0; i + 1 < L; ++i) {
        const char c = hex[L - 2 - i];
        const Limb digit = c >= '0' && c <= '9' ? Limb(c - '0')
                           : c >= 'a' && c <= 'f' ? Limb(c - 'a' + 10)
                           : c >= 'A' && c <= 'F' ? Limb(c - 'A' + 10)
                                                  : throw "not a hexadecimal digit";
        limbs[i / 16] |= digit << (4 * (i % 16));
    }
    return limbs;
}

}  // namespace vlrp11
