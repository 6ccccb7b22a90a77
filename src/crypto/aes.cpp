#include "crypto/aes.h"

#include <atomic>

#include "crypto/aes_paths.h"
#include "crypto/cpu_support.h"

namespace vlrp11 {

namespace {

constexpr std::uint8_t use_tables = 0;
constexpr std::uint8_t use_instructions = 1;
constexpr std::uint8_t undecided = 2;

// Decided once, at the first aes_set_key. Written without a lock: concurrent first calls all
// compute and store the same value.
std::atomic<std::uint8_t> implementation{undecided};

bool instructions_chosen()
{
    return implementation.load(std::memory_order_relaxed) == use_instructions;
}

}  // namespace

std::uint8_t aes_set_key(AesKey& schedule, const std::uint8_t* key, unsigned key_bits) noexcept
{
    if (implementation.load(std::memory_order_relaxed) == undecided)
        implementation.store(aes_instructions_supported() ? use_instructions : use_tables, std::memory_order_relaxed);
    if (key_bits != 128 && key_bits != 192 && key_bits != 256)
        return aes_bad_key_size;
    if (instructions_chosen())
        aes_set_key_ni(schedule, key, key_bits);
    else
        aes_set_key_tables(schedule, key, key_bits);
    return 0;
}

std::uint8_t aes_encrypt_block(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept
{
    if (instructions_chosen())
        aes_encrypt_block_ni(schedule, in, out);
    else
        aes_encrypt_block_tables(schedule, in, out);
    return 0;
}

std::uint8_t aes_decrypt_block(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept
{
    if (instructions_chosen())
        aes_decrypt_block_ni(schedule, in, out);
    else
        aes_decrypt_block_tables(schedule, in, out);
    return 0;
}

void aes_cbc_encrypt(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                     std::size_t blocks) noexcept
{
    if (instructions_chosen())
        aes_cbc_encrypt_ni(schedule, chain, in, out, blocks);
    else
        aes_cbc_encrypt_tables(schedule, chain, in, out, blocks);
}

void aes_cbc_decrypt(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                     std::size_t blocks) noexcept
{
    if (instructions_chosen())
        aes_cbc_decrypt_ni(schedule, chain, in, out, blocks);
    else
        aes_cbc_decrypt_tables(schedule, chain, in, out, blocks);
}

}  // namespace vlrp11
