#include "objects/private_key.h"

#include "device/command_codes.h"
#include "device/device_connection.h"
#include "device/status.h"
#include "objects/key_kinds.h"
#include "objects/object_record.h"
#include "objects/sign_format.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {

namespace {

std::uint32_t modulus_bytes(const RsaKeyHandle& key) noexcept
{
    return (key.modulusBits + 7) / 8;
}

}  // namespace

std::uint32_t rsa_key_handle(DeviceConnection& connection, std::uint32_t deviceIndex, RsaKeyHandle& handle) noexcept
{
    ObjectHeader header{};
    std::uint32_t length = sizeof header;
    const auto index = static_cast<std::uint8_t>(deviceIndex);
    const std::uint32_t status = connection.transport(&connection, CMD_GET_KEY_INFO, &index, 1,
                                                      reinterpret_cast<std::uint8_t*>(&header), &length);
    if (status != DEVICE_OK)
        return status;
    if (length < 4)
        return COMMAND_LENGTH_WRONG;
    if (header.keyKind != KEY_KIND_RSA && header.keyKind != KEY_KIND_RSA_GENERATED)
        return KEY_KIND_WRONG;
    handle = {&connection, deviceIndex, header_parameter(header)};
    return 0;
}

std::uint32_t private_key_op(DeviceConnection& connection, std::uint32_t deviceIndex, const std::uint8_t* input,
                             std::size_t length, std::uint8_t* reply, std::uint32_t* reply_length) noexcept
{
    if (length > private_key_op_max_input)
        return COMMAND_LENGTH_WRONG;
    // The length byte carries the low eight bits only: 256 and 512 bytes go as 0, 384 as 0x80.
    std::uint8_t request[2 + private_key_op_max_input];
    request[0] = static_cast<std::uint8_t>(deviceIndex);
    request[1] = static_cast<std::uint8_t>(length);
    std::memcpy(request + 2, input, length);
    const std::uint32_t status = connection.transport(&connection, CMD_PRIVATE_KEY_OP, request,
                                                      static_cast<std::uint32_t>(length + 2), reply, reply_length);
    secure_wipe(request, length + 2);
    return status;
}

std::uint32_t rsa_private_op(const RsaKeyHandle& key, const std::uint8_t* input, std::uint8_t* out) noexcept
{
    const std::uint32_t k = modulus_bytes(key);
    std::uint32_t length = k;
    const std::uint32_t status = private_key_op(*key.connection, key.deviceIndex, input, k, out, &length);
    if (status != DEVICE_OK)
        return status;
    return length == k ? 0u : std::uint32_t{COMMAND_LENGTH_WRONG};
}

std::uint32_t pkcs1_v15_decode(const RsaKeyHandle& key, const std::uint8_t* input, std::uint8_t* out,
                               std::size_t* out_length) noexcept
{
    const std::uint32_t k = modulus_bytes(key);
    if (k < 16 || k > rsa_max_modulus_bytes)
        return ENCODING_FAILED;
    std::uint8_t em[rsa_max_modulus_bytes];
    std::uint32_t status = rsa_private_op(key, input, em);
    if (status == DEVICE_OK)
        status = pkcs1_v15_unpad(em, k, out, out_length);
    secure_wipe(em, k);
    return status;
}

std::uint32_t rsa_pkcs1_decrypt(DeviceConnection& connection, std::uint32_t deviceIndex, const std::uint8_t* input,
                                std::size_t length, std::uint8_t* out, std::size_t* out_length) noexcept
{
    RsaKeyHandle key{};
    const std::uint32_t status = rsa_key_handle(connection, deviceIndex, key);
    if (status != DEVICE_OK)
        return status;
    const std::uint32_t k = modulus_bytes(key);
    if (length > k || k > rsa_max_modulus_bytes)
        return COMMAND_LENGTH_WRONG;
    std::uint8_t block[rsa_max_modulus_bytes] = {};
    std::memcpy(block + (k - length), input, length);
    return pkcs1_v15_decode(key, block, out, out_length);
}

bool agreement_public_data_fits(const std::uint8_t* public_data, std::size_t length) noexcept
{
    constexpr std::size_t shortest = 31, longest = 74;  // m = 233 ... 431 compressed, with 04 n
    return public_data != nullptr && length >= shortest && length <= longest && public_data[0] == 0x04 &&
           public_data[1] + std::size_t{2} == length;
}

std::uint32_t device_key_agreement(DeviceConnection& connection, std::uint32_t deviceIndex,
                                   const std::uint8_t* public_data, std::size_t length, std::uint8_t* z,
                                   std::uint32_t* z_length) noexcept
{
    if (!agreement_public_data_fits(public_data, length))
        return COMMAND_LENGTH_WRONG;
    std::uint8_t request[74];
    request[0] = static_cast<std::uint8_t>(deviceIndex);
    std::memcpy(request + 1, public_data + 1, length - 1);
    *z_length = agreement_secret_max;
    return connection.transport(&connection, CMD_DERIVE, request, static_cast<std::uint32_t>(length), z, z_length);
}

}  // namespace vlrp11
