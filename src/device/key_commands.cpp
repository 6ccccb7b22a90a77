#include "device/key_commands.h"

#include "device/command_codes.h"
#include "device/device_commands.h"
#include "device/device_connection.h"
#include "device/status.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::size_t SECRET_KEY_MAX_BYTES = 64;

}  // namespace

std::uint32_t generate_key(DeviceConnection& connection, std::uint8_t index, const std::uint8_t* record,
                           std::uint8_t* reply, std::uint32_t* length) noexcept
{
    std::uint8_t request[1 + KEY_RECORD_BYTES];
    request[0] = index;
    std::memcpy(request + 1, record, KEY_RECORD_BYTES);
    set_time(connection);
    return connection.transport(&connection, CMD_GENERATE_KEY, request, sizeof request, reply, length);
}

std::uint32_t write_key(DeviceConnection& connection, std::uint8_t index, const std::uint8_t* record,
                        const std::uint8_t* key, std::size_t key_length) noexcept
{
    if (key_length > SECRET_KEY_MAX_BYTES)
        return COMMAND_LENGTH_WRONG;
    Wiped<std::uint8_t[1 + KEY_RECORD_BYTES + SECRET_KEY_MAX_BYTES]> request;
    request.value[0] = index;
    std::memcpy(request.value + 1, record, KEY_RECORD_BYTES);
    std::memcpy(request.value + 1 + KEY_RECORD_BYTES, key, key_length);
    return connection.transport(&connection, CMD_WRITE_KEY, request.value,
                                static_cast<std::uint32_t>(1 + KEY_RECORD_BYTES + key_length), nullptr, nullptr);
}

std::uint32_t delete_object(DeviceConnection& connection, std::uint8_t index) noexcept
{
    set_time(connection);
    return connection.transport(&connection, CMD_DELETE_OBJECT, &index, 1, nullptr, nullptr);
}

std::uint32_t write_object(DeviceConnection& connection, std::uint8_t index, std::uint8_t state, std::uint8_t head,
                           const std::uint8_t* chunk, std::size_t length) noexcept
{
    if (length == 0 || length > WRITE_CHUNK_MAX_BYTES)
        return COMMAND_LENGTH_WRONG;
    std::uint8_t request[5 + WRITE_CHUNK_MAX_BYTES];
    request[0] = index;
    request[1] = state;
    request[2] = head;
    request[3] = static_cast<std::uint8_t>(length);
    request[4] = static_cast<std::uint8_t>(length >> 8);
    std::memcpy(request + 5, chunk, length);
    return connection.transport(&connection, CMD_WRITE_OBJECT, request, static_cast<std::uint32_t>(5 + length),
                                nullptr, nullptr);
}

}  // namespace vlrp11
