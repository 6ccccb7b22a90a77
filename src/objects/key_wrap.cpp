#include "objects/key_wrap.h"

#include "crypto/byte_order.h"
#include "crypto/gost28147.h"
#include "device/status.h"
#include "objects/block_modes.h"
#include "objects/key_kinds.h"
#include "objects/object_record.h"
#include "platform/wipe.h"
#include "vlrp11/pkcs11.h"

#include <algorithm>
#include <cstring>

namespace vlrp11 {

namespace {

constexpr std::size_t key_bytes = 32;
constexpr std::size_t checksum_bytes = 4;
constexpr std::uint8_t wrap_iv[8] = {0x4A, 0xDD, 0xA2, 0x2C, 0x79, 0xE8, 0x21, 0x05};

// 64-bit cipher feedback in place on the host, from the given initial register.
void cfb64(const std::uint32_t* key, const std::uint8_t* iv, CipherDirection direction, std::uint8_t* data,
           std::size_t length) noexcept
{
    std::uint8_t feedback[8];
    std::memcpy(feedback, iv, sizeof feedback);
    std::int32_t position = 0;
    gost_cfb(GostBlockCipher{nullptr, 0, key}, direction, &position, feedback, data, length, data);
    secure_wipe(feedback);
}

// The first four bytes of the MAC state after the key's four blocks, from a zero state.
void key_checksum(const std::uint32_t* kek, const std::uint8_t* key, std::uint8_t* checksum) noexcept
{
    std::uint32_t state[2] = {0, 0};
    gost28147_mac32(state, key, kek);
    store_le32(checksum, state[0]);
    secure_wipe(state);
}

}  // namespace

void gost_key_wrap(const std::uint8_t* kek, const std::uint8_t* ukm, const std::uint8_t* key,
                   std::uint8_t* out) noexcept
{
    Wiped<std::uint32_t[8]> schedule;
    gost28147_load_key(kek, schedule.value);
    std::memcpy(out, ukm, gost_wrap_ukm_bytes);
    std::memcpy(out + gost_wrap_ukm_bytes, key, key_bytes);
    key_checksum(schedule.value, key, out + gost_wrap_ukm_bytes + key_bytes);
    cfb64(schedule.value, ukm, CipherDirection::encrypt, out + gost_wrap_ukm_bytes, key_bytes + checksum_bytes);
    std::reverse(out, out + gost_wrapped_key_bytes);
    cfb64(schedule.value, wrap_iv, CipherDirection::encrypt, out, gost_wrapped_key_bytes);
}

bool gost_wrapped_key_fits(const ObjectRecord& key) noexcept
{
    return key.objectClass == CKO_SECRET_KEY && key.value != nullptr && key.valueLength == key_bytes;
}

bool gost_wrapping_key_fits(const ObjectRecord& key) noexcept
{
    return gost_wrapped_key_fits(key) && key.token != 1 && key.header.keyKind == KEY_KIND_GOST28147;
}

std::uint32_t gost_key_unwrap(const std::uint8_t* kek, const std::uint8_t* wrapped, std::uint8_t* out) noexcept
{
    Wiped<std::uint32_t[8]> schedule;
    gost28147_load_key(kek, schedule.value);
    Wiped<std::uint8_t[gost_wrapped_key_bytes]> block;
    std::memcpy(block.value, wrapped, gost_wrapped_key_bytes);
    cfb64(schedule.value, wrap_iv, CipherDirection::decrypt, block.value, gost_wrapped_key_bytes);
    std::reverse(block.value, block.value + gost_wrapped_key_bytes);
    std::uint8_t* key = block.value + gost_wrap_ukm_bytes;
    cfb64(schedule.value, block.value, CipherDirection::decrypt, key, key_bytes + checksum_bytes);
    Wiped<std::uint8_t[checksum_bytes]> checksum;
    key_checksum(schedule.value, key, checksum.value);
    std::uint8_t difference = 0;
    for (std::size_t i = 0; i < checksum_bytes; ++i)
        difference |= static_cast<std::uint8_t>(checksum.value[i] ^ key[key_bytes + i]);
    if (difference != 0) {
        secure_wipe(out, key_bytes);
        return WRAPPED_KEY_INVALID;
    }
    std::memcpy(out, key, key_bytes);
    return 0;
}

}  // namespace vlrp11
