#include "device/connection_close.h"

#include "device/device_commands.h"
#include "device/device_connection.h"
#include "platform/pcsc.h"
#include "platform/sockets.h"
#include "platform/wipe.h"

#include <cstdlib>

namespace vlrp11 {

void close_connection(DeviceConnection* connection) noexcept
{
    if (connection == nullptr)
        return;
    // Closing the channel frees it on the device; its result changes nothing here, since the
    // whole record (channel key included) is wiped below.
    if (connection->channel != 0 && connection->transport != nullptr)
        close_channel(*connection);
    if (connection->kind == DEVICE_NETWORK_HSM) {
        socket_close(connection->handle);
    } else if (connection->handle != 0) {
        if (const PcscFunctions* api = pcsc())
            api->disconnect(connection->handle, PCSC_LEAVE_CARD);
    }
    secure_wipe(*connection);
    std::free(connection);
}

}  // namespace vlrp11
