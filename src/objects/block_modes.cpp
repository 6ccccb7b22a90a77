#include "objects/block_modes.h"

#include "crypto/byte_order.h"
#include "crypto/gost28147.h"
#include "device/command_codes.h"
#include "device/device_connection.h"
#include "device/status.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {

namespace {

constexpr std::size_t aes_block = 16;
constexpr std::size_t gost_block = 8;

// One device block command over n bytes (a whole number of blocks, at most 1024): the reply
// must be n bytes.
std::uint32_t block_command(DeviceConnection& connection, DeviceCommand code, std::uint32_t deviceIndex,
                            std::size_t block_bytes, const std::uint8_t* in, std::size_t n, std::uint8_t* out) noexcept
{
    std::uint8_t request[2 + device_block_command_max];
    request[0] = static_cast<std::uint8_t>(deviceIndex);
    request[1] = static_cast<std::uint8_t>(n / block_bytes);
    std::memcpy(request + 2, in, n);
    std::uint32_t length = static_cast<std::uint32_t>(n);
    std::uint32_t status =
        connection.transport(&connection, code, request, static_cast<std::uint32_t>(n + 2), out, &length);
    secure_wipe(request, n + 2);
    if (status == DEVICE_OK && length != n)
        status = COMMAND_LENGTH_WRONG;
    return status;
}

DeviceCommand block_code(std::size_t block_bytes, CipherDirection direction) noexcept
{
    if (block_bytes == aes_block)
        return direction == CipherDirection::encrypt ? CMD_ENCRYPT_16 : CMD_DECRYPT_16;
    return direction == CipherDirection::encrypt ? CMD_ENCRYPT_8 : CMD_DECRYPT_8;
}

// The counter step between gamma blocks: N1 + 0x01010101 modulo 2^32, N2 + 0x01010104 modulo
// 2^32 - 1.
void advance_counter(std::uint8_t* counter) noexcept
{
    const std::uint32_t n2 = load_le32(counter + 4);
    store_le32(counter, load_le32(counter) + 0x01010101u);
    store_le32(counter + 4, n2 > 0xFEFEFEFBu ? n2 + 0x01010105u : n2 + 0x01010104u);
}

}  // namespace

std::uint32_t device_ecb(DeviceConnection& connection, std::uint32_t deviceIndex, std::size_t block_bytes,
                         CipherDirection direction, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept
{
    if (length % block_bytes != 0)
        return COMMAND_LENGTH_WRONG;
    const DeviceCommand code = block_code(block_bytes, direction);
    for (std::size_t at = 0; at < length; at += device_block_command_max) {
        const std::size_t n = length - at < device_block_command_max ? length - at : device_block_command_max;
        const std::uint32_t status = block_command(connection, code, deviceIndex, block_bytes, in + at, n, out + at);
        if (status != DEVICE_OK)
            return status;
    }
    return 0;
}

std::uint32_t device_cbc16(DeviceConnection& connection, std::uint32_t deviceIndex, CipherDirection direction,
                           std::uint8_t* chain, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept
{
    if (length % aes_block != 0)
        return COMMAND_LENGTH_WRONG;
    const DeviceCommand code = block_code(aes_block, direction);
    std::uint8_t block[aes_block];
    std::uint32_t status = 0;
    for (std::size_t at = 0; at < length && status == DEVICE_OK; at += aes_block) {
        if (direction == CipherDirection::encrypt) {
            for (std::size_t i = 0; i < aes_block; ++i)
                block[i] = static_cast<std::uint8_t>(in[at + i] ^ chain[i]);
            status = block_command(connection, code, deviceIndex, aes_block, block, aes_block, out + at);
            if (status == DEVICE_OK)
                std::memcpy(chain, out + at, aes_block);
        } else {
            std::memcpy(block, in + at, aes_block);  // out may overwrite the ciphertext
            status = block_command(connection, code, deviceIndex, aes_block, block, aes_block, out + at);
            for (std::size_t i = 0; status == DEVICE_OK && i < aes_block; ++i)
                out[at + i] ^= chain[i];
            if (status == DEVICE_OK)
                std::memcpy(chain, block, aes_block);
        }
    }
    secure_wipe(block);
    return status;
}

std::uint32_t gost_encrypt_block(const GostBlockCipher& cipher, std::uint8_t* block) noexcept
{
    if (cipher.connection == nullptr) {
        gost28147_encrypt_block(block, cipher.schedule, nullptr);
        return 0;
    }
    return block_command(*cipher.connection, CMD_ENCRYPT_8, cipher.deviceIndex, gost_block, block, gost_block, block);
}

std::uint32_t gost_ctr(const GostBlockCipher& cipher, std::int32_t* position, std::uint8_t* counter,
                       std::uint8_t* gamma, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept
{
    std::uint32_t status = 0;
    if (*position < 0 || *position >= static_cast<std::int32_t>(gost_block)) {
        status = gost_encrypt_block(cipher, counter);
        if (status != DEVICE_OK)
            return status;
        *position = 0;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (*position == 0) {
            advance_counter(counter);
            std::memcpy(gamma, counter, gost_block);
            status = gost_encrypt_block(cipher, gamma);
            if (status != DEVICE_OK)
                return status;
        }
        out[i] = static_cast<std::uint8_t>(in[i] ^ gamma[*position]);
        *position = (*position + 1) % static_cast<std::int32_t>(gost_block);
    }
    return 0;
}

std::uint32_t gost_cfb(const GostBlockCipher& cipher, CipherDirection direction, std::int32_t* position,
                       std::uint8_t* feedback, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept
{
    if (*position < 0 || *position >= static_cast<std::int32_t>(gost_block))
        *position = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (*position == 0) {
            const std::uint32_t status = gost_encrypt_block(cipher, feedback);
            if (status != DEVICE_OK)
                return status;
        }
        const std::uint8_t input = in[i];
        out[i] = static_cast<std::uint8_t>(input ^ feedback[*position]);
        feedback[*position] = direction == CipherDirection::encrypt ? out[i] : input;
        *position = (*position + 1) % static_cast<std::int32_t>(gost_block);
    }
    return 0;
}

}  // namespace vlrp11
