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
    void (*cbc_encrypt)(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                        std::size_t blocks) noexcept;
    void (*cbc_decrypt)(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                        std::size_t blocks) noexcept;
};

const std::vector<AesImplementation>& aes_implementations();

}  // namespace vlrp11::test
