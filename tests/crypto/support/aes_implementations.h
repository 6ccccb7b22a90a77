#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/aes.h"

namespace vlrp11::test {

// One AES implementation as tests drive it: the table path, the instruction path, or the
// public calls that pick one for the process.
struct AesImplementation {
    std::string name;
    bool (*available)();
    void (*set_key)(AesKey& schedule, const std::uint8_t* key, unsigned key_bits);
    void (*encrypt)(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]);
    void (*decrypt)(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]);
};

const std::vector<AesImplementation>& aes_implementations();

}  // namespace vlrp11::test
