#include "device/transport_reply.h"

#include "device/status.h"

#include <cstring>

namespace vlrp11 {

std::uint32_t deliver_reply(std::uint8_t device_status, const std::uint8_t* data, std::uint32_t data_length,
                            std::uint8_t* reply, std::uint32_t* reply_length) noexcept
{
    if (reply_length == nullptr)
        return device_status;
    const bool fits = reply == nullptr || data_length <= *reply_length;
    *reply_length = data_length;
    if (!fits && device_status == DEVICE_OK)
        return TRANSPORT_LENGTH;
    if (!fits)
        return device_status;
    if (reply != nullptr && data_length > 0)
        std::memcpy(reply, data, data_length);
    return device_status;
}

}  // namespace vlrp11
