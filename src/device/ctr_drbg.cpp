#include "device/ctr_drbg.h"

#include "platform/random.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::size_t SEED_LENGTH = 48;  // key (32) + counter (16)

void increment(std::uint8_t (&v)[16]) noexcept
{
    for (int i = 15; i >= 0; --i) {
        if (++v[i] != 0)
            break;
    }
}

// The generator's update function: three blocks of keystream, XORed with the provided data
// (null = zeros), become the new key and counter.
void update(CtrDrbg& drbg, const std::uint8_t* provided) noexcept
{
    std::uint8_t temp[SEED_LENGTH];
    for (std::size_t offset = 0; offset < SEED_LENGTH; offset += 16) {
        increment(drbg.v);
        aes_encrypt_block(drbg.key_schedule, drbg.v, temp + offset);
    }
    if (provided != nullptr) {
        for (std::size_t i = 0; i < SEED_LENGTH; ++i)
            temp[i] ^= provided[i];
    }
    aes_set_key(drbg.key_schedule, temp, 256);
    std::memcpy(drbg.v, temp + 32, 16);
    secure_wipe(temp, sizeof temp);
}

std::uint32_t seed(CtrDrbg& drbg) noexcept
{
    std::uint8_t entropy[SEED_LENGTH];
    std::uint32_t status = drbg.entropy_source(drbg.entropy_context, entropy, sizeof entropy);
    if (status == DEVICE_OK) {
        update(drbg, entropy);
        drbg.reseed_counter = 1;
    }
    secure_wipe(entropy, sizeof entropy);
    return status;
}

std::uint32_t system_entropy(std::uint64_t, std::uint8_t* buffer, std::size_t length)
{
    return system_random(buffer, length) ? DEVICE_OK : RANDOM_FAILED;
}

}  // namespace

std::uint32_t drbg_instantiate(CtrDrbg& drbg) noexcept
{
    return drbg_instantiate_from(drbg, system_entropy, 0);
}

std::uint32_t drbg_instantiate_from(CtrDrbg& drbg, EntropySource source, std::uint64_t context) noexcept
{
    drbg.entropy_source = source;
    drbg.entropy_context = context;
    const std::uint8_t zero_key[32] = {};
    aes_set_key(drbg.key_schedule, zero_key, 256);
    std::memset(drbg.v, 0, sizeof drbg.v);
    return seed(drbg);
}

std::uint32_t drbg_generate(CtrDrbg& drbg, std::uint8_t* out, std::size_t bits) noexcept
{
    std::size_t bytes = (bits + 7) / 8;
    if (bytes > DRBG_MAX_BYTES_PER_REQUEST)
        return DRBG_REQUEST_TOO_LONG;
    if (drbg.reseed_counter > DRBG_RESEED_INTERVAL) {
        if (std::uint32_t status = seed(drbg); status != DEVICE_OK)
            return status;
    }
    std::uint8_t block[16];
    for (std::size_t offset = 0; offset < bytes; offset += 16) {
        increment(drbg.v);
        aes_encrypt_block(drbg.key_schedule, drbg.v, block);
        std::size_t n = bytes - offset < 16 ? bytes - offset : 16;
        std::memcpy(out + offset, block, n);
    }
    secure_wipe(block, sizeof block);
    update(drbg, nullptr);
    ++drbg.reseed_counter;
    if (bits % 8 != 0)
        out[bytes - 1] &= static_cast<std::uint8_t>((1u << (bits % 8)) - 1);
    return DEVICE_OK;
}

}  // namespace vlrp11
