#include "crypto/digest_types.h"

namespace vlrp11 {

namespace {

// Indexed by type number; entry 0 stands for "no digest".
constexpr std::size_t output_lengths[] = {
    0,
    32,  // GOST 34.311-95
    32,  // Kupyna-256
    48,  // Kupyna-384
    64,  // Kupyna-512
    20,  // SHA-1
    28,  // SHA-224
    32,  // SHA-256
    48,  // SHA-384
    64,  // SHA-512
    28,  // SHA3-224
    32,  // SHA3-256
    48,  // SHA3-384
    64,  // SHA3-512
};

}  // namespace

std::size_t digest_output_length(DigestType type) noexcept
{
    auto index = static_cast<std::uint32_t>(type);
    return index < sizeof output_lengths / sizeof output_lengths[0] ? output_lengths[index] : 0;
}

}  // namespace vlrp11
