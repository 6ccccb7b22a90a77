#include "objects/device_random.h"

#include "device/command_codes.h"
#include "device/device_connection.h"
#include "device/status.h"

namespace vlrp11 {

std::uint32_t device_random(DeviceConnection& connection, std::uint8_t* out, std::size_t count) noexcept
{
    if (count == 0 || count > device_random_max)
        return COMMAND_LENGTH_WRONG;
    const auto request = static_cast<std::uint8_t>(count);
    std::uint32_t length = static_cast<std::uint32_t>(count);
    const std::uint32_t status = connection.transport(&connection, CMD_GET_RANDOM, &request, 1, out, &length);
    if (status != DEVICE_OK)
        return status;
    return length == count ? DEVICE_OK : COMMAND_LENGTH_WRONG;
}

}  // namespace vlrp11
