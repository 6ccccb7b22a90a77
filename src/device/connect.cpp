#include "device/connect.h"

#include "device/device_commands.h"
#include "device/device_connection.h"
#include "device/secure_channel.h"
#include "device/transport.h"
#include "platform/sockets.h"

#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

// What every new connection starts with: nobody logged in, no channel, the all-0xFF key and a
// seeded random generator. Null when memory or the seed is missing.
ConnectionPtr new_connection(DeviceKind kind, std::int32_t instance)
{
    ConnectionPtr connection(static_cast<DeviceConnection*>(std::calloc(1, sizeof(DeviceConnection))));
    if (connection == nullptr)
        return nullptr;
    connection->kind = kind;
    connection->instance = instance;
    connection->login_state = LOGGED_OUT;
    connection->handle = kind == DEVICE_NETWORK_HSM ? INVALID_SOCKET_HANDLE : 0;
    reset_channel_key(*connection);
    if (drbg_instantiate(connection->random) != DEVICE_OK)
        return nullptr;
    return connection;
}

// Only the first nine bytes are compared, so either device's tag matches either kind.
void check_atr(DeviceConnection& connection)
{
    static const std::uint8_t pattern[9] = {0x3B, 0x8F, 0x11, 0x81, 0x00, 'V', 'T', 'K', 'W'};
    connection.atr_digit = 0;
    if (connection.atr_length == ATR_LENGTH && std::memcmp(connection.atr, pattern, sizeof pattern) == 0)
        connection.atr_digit = connection.atr[12] - '0';
}

}  // namespace

ConnectionPtr connect_pcsc(PcscCard card, DeviceKind kind, std::int32_t instance) noexcept
{
    const PcscFunctions* api = pcsc();
    if (api == nullptr)
        return nullptr;
    ConnectionPtr connection = new_connection(kind, instance);
    if (connection == nullptr)
        return nullptr;
    connection->atr_length = sizeof connection->atr;
    if (api->get_attrib(card, PCSC_ATTR_ATR_STRING, connection->atr, &connection->atr_length) != PCSC_SUCCESS ||
        connection->atr_length > sizeof connection->atr)
        return nullptr;
    check_atr(*connection);
    connection->transport = transmit_apdu;
    connection->handle = card;
    if (wait_device_info(*connection) != DEVICE_OK) {
        connection->handle = 0;  // the caller leaves the card
        return nullptr;
    }
    return connection;
}

ConnectionPtr connect_network(const char* address, std::int32_t partition) noexcept
{
    std::uint32_t ipv4 = 0;
    if (!parse_ipv4(address, &ipv4))
        return nullptr;
    ConnectionPtr connection = new_connection(DEVICE_NETWORK_HSM, partition);
    if (connection == nullptr)
        return nullptr;
    connection->handle = tcp_connect(ipv4, NETWORK_HSM_PORT);
    if (connection->handle == INVALID_SOCKET_HANDLE)
        return nullptr;
    connection->transport = transmit_tcp;
    if (wait_device_info(*connection) != DEVICE_OK)
        return nullptr;
    return connection;
}

}  // namespace vlrp11
