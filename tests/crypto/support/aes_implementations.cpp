#include "crypto/support/aes_implementations.h"

#include "crypto/aes_paths.h"
#include "crypto/cpu_support.h"

namespace vlrp11::test {

const std::vector<AesImplementation>& aes_implementations()
{
    static const std::vector<AesImplementation> implementations = {
        {"tables", [] { return true; }, aes_set_key_tables, aes_encrypt_block_tables, aes_decrypt_block_tables,
         aes_cbc_encrypt_tables, aes_cbc_decrypt_tables},
        {"instructions", aes_instructions_supported, aes_set_key_ni, aes_encrypt_block_ni, aes_decrypt_block_ni,
         aes_cbc_encrypt_ni, aes_cbc_decrypt_ni},
        {"selected", [] { return true; },
         [](AesKey& schedule, const std::uint8_t* key, unsigned key_bits) { aes_set_key(schedule, key, key_bits); },
         [](const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) { aes_encrypt_block(schedule, in, out); },
         [](const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) { aes_decrypt_block(schedule, in, out); },
         aes_cbc_encrypt, aes_cbc_decrypt},
    };
    return implementations;
}

}  // namespace vlrp11::test
