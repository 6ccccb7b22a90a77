#include "device/object_commands.h"

#include "device/command_codes.h"
#include "device/device_connection.h"

namespace vlrp11 {
namespace {

std::uint32_t indexed_command(DeviceConnection& connection, DeviceCommand code, std::uint8_t index,
                              std::uint8_t* reply, std::uint32_t* length) noexcept
{
    return connection.transport(&connection, code, &index, 1, reply, length);
}

}  // namespace

std::uint32_t list_objects(DeviceConnection& connection, std::uint8_t* reply, std::uint32_t* length) noexcept
{
    return connection.transport(&connection, CMD_LIST_OBJECTS, nullptr, 0, reply, length);
}

std::uint32_t read_object(DeviceConnection& connection, std::uint8_t index, std::uint8_t* reply,
                          std::uint32_t* length) noexcept
{
    return indexed_command(connection, CMD_READ_OBJECT, index, reply, length);
}

std::uint32_t get_key_info(DeviceConnection& connection, std::uint8_t index, std::uint8_t* reply,
                           std::uint32_t* length) noexcept
{
    return indexed_command(connection, CMD_GET_KEY_INFO, index, reply, length);
}

std::uint32_t read_public_key(DeviceConnection& connection, std::uint8_t index, std::uint8_t* reply,
                              std::uint32_t* length) noexcept
{
    return indexed_command(connection, CMD_READ_PUBLIC_KEY, index, reply, length);
}

std::uint32_t get_key_attribute(DeviceConnection& connection, std::uint8_t index, std::uint8_t* reply,
                                std::uint32_t* length) noexcept
{
    return indexed_command(connection, CMD_GET_KEY_ATTRIBUTE, index, reply, length);
}

}  // namespace vlrp11
