#include <cstring>

#include "crypto/aes_paths.h"
#include "platform/wipe.h"

// CBC on the table path, one block call at a time.

namespace vlrp11 {

void aes_cbc_encrypt_tables(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in,
                            std::uint8_t* out, std::size_t blocks) noexcept
{
    std::uint8_t block[16];
    for (std::size_t b = 0; b < blocks; ++b, in += 16, out += 16) {
        for (int i = 0; i < 16; ++i)
            block[i] = in[i] ^ chain[i];
        aes_encrypt_block_tables(schedule, block, chain);
        std::memcpy(out, chain, 16);
    }
    secure_wipe(block);
}

void aes_cbc_decrypt_tables(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in,
                            std::uint8_t* out, std::size_t blocks) noexcept
{
    std::uint8_t cipher[16], plain[16];
    for (std::size_t b = 0; b < blocks; ++b, in += 16, out += 16) {
        std::memcpy(cipher, in, 16);  // in may be out
        aes_decrypt_block_tables(schedule, cipher, plain);
        for (int i = 0; i < 16; ++i)
            out[i] = plain[i] ^ chain[i];
        std::memcpy(chain, cipher, 16);
    }
    secure_wipe(plain);
}

}  // namespace vlrp11
