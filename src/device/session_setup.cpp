#include "device/session_setup.h"

#include "device/command_codes.h"
#include "device/device_commands.h"
#include "device/device_connection.h"
#include "device/key_exchange.h"

namespace vlrp11 {
namespace {

std::uint32_t open_any_channel(DeviceConnection& connection)
{
    std::uint32_t status = open_channel(connection);
    if (status != NO_FREE_CHANNEL)
        return status;
    // The device frees its channels on request; only once it has done so is a second attempt
    // worth making.
    std::uint8_t reply[2];
    std::uint32_t length = sizeof reply;
    if (std::uint32_t reset = connection.transport(&connection, CMD_RESET_CHANNELS, nullptr, 0, reply, &length);
        reset != DEVICE_OK)
        return reset;
    return open_channel(connection);
}

}  // namespace

std::uint32_t set_up_session(DeviceConnection& connection) noexcept
{
    if (connection.channel != 0)
        return DEVICE_OK;
    const bool pcsc = connection.kind != DEVICE_NETWORK_HSM;
    if (pcsc) {
        if (std::uint32_t status = open_any_channel(connection); status != DEVICE_OK)
            return status;
    }
    std::uint32_t status = key_exchange(connection);
    if (status != DEVICE_OK && pcsc) {
        close_channel(connection);
        connection.channel = 0;
    }
    return status;
}

}  // namespace vlrp11
