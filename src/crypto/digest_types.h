#pragma once

#include <cstddef>
#include <cstdint>

// The digest type numbers by which the software digest context names its hash. Type 1 is the
// GOST 34.311-95 hash with the DSTU 4145 default S-box, which lives with GOST 28147-89.

namespace vlrp11 {

enum class DigestType : std::uint32_t {
    gost34311 = 1,
    kupyna256 = 2,
    kupyna384 = 3,
    kupyna512 = 4,
    sha1 = 5,
    sha224 = 6,
    sha256 = 7,
    sha384 = 8,
    sha512 = 9,
    sha3_224 = 10,
    sha3_256 = 11,
    sha3_384 = 12,
    sha3_512 = 13,
};

// Output bytes of a digest type; 0 for a number outside 1..13.
std::size_t digest_output_length(DigestType type) noexcept;

}  // namespace vlrp11
