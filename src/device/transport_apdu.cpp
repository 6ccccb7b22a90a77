#include "device/transport.h"

#include "device/device_connection.h"
#include "device/secure_channel.h"
#include "device/transport_reply.h"
#include "platform/pcsc.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::size_t APDU_BUFFER = 2064;
constexpr std::size_t RESPONSE_OVERHEAD = CHANNEL_MAC_LENGTH + 2;  // MAC in front, SW1 SW2 behind

// Writes CLA, INS, P1, P2 and the Lc field; returns the offset of the request data.
std::size_t write_header(std::uint8_t* apdu, const DeviceConnection& connection, std::uint8_t code,
                         std::uint32_t lc, bool extended)
{
    apdu[0] = 0xFF;
    apdu[1] = code;
    apdu[2] = static_cast<std::uint8_t>(connection.channel & 0xFF);
    apdu[3] = static_cast<std::uint8_t>(connection.channel >> 8);
    if (!extended) {
        apdu[4] = static_cast<std::uint8_t>(lc);
        return 5;
    }
    apdu[4] = 0x00;
    apdu[5] = static_cast<std::uint8_t>(lc >> 8);
    apdu[6] = static_cast<std::uint8_t>(lc);
    return 7;
}

}  // namespace

std::uint32_t transmit_apdu(DeviceConnection* connection, std::uint8_t code, const std::uint8_t* request,
                            std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length)
{
    if (request_length > MAX_REQUEST_LENGTH)
        return TRANSPORT_LENGTH;
    std::uint32_t capacity = (reply == nullptr || reply_length == nullptr) ? 0 : *reply_length;
    if (capacity > MAX_APDU_REPLY_CAPACITY)
        return TRANSPORT_LENGTH;
    const PcscFunctions* api = pcsc();
    if (api == nullptr)
        return TRANSPORT_FAILED;

    Wiped<std::uint8_t[APDU_BUFFER]> buffer;
    std::uint8_t* apdu = buffer.value;
    const std::uint32_t lc = request_length + CHANNEL_MAC_LENGTH;
    const std::uint32_t le = capacity + CHANNEL_MAC_LENGTH;
    const bool extended = !(lc <= 255 && le <= 256);
    std::size_t data = write_header(apdu, *connection, code, lc, extended);
    if (request_length > 0)
        std::memcpy(apdu + data, request, request_length);
    std::size_t mac = data + request_length;
    channel_mac(*connection, apdu, mac, apdu + mac);
    std::size_t length = mac + CHANNEL_MAC_LENGTH;
    if (extended) {
        apdu[length++] = static_cast<std::uint8_t>(le >> 8);
        apdu[length++] = static_cast<std::uint8_t>(le);
    } else {
        apdu[length++] = static_cast<std::uint8_t>(le);  // 256 is sent as 0x00
    }
    if (connection->login_state != LOGGED_OUT && request_length > 0)
        channel_crypt(*connection, apdu + data, request_length, apdu + data);

    std::uint32_t m = APDU_BUFFER;
    PcscResult rv = api->transmit(connection->handle, apdu, static_cast<std::uint32_t>(length), apdu, &m);
    if (rv != PCSC_SUCCESS || m < RESPONSE_OVERHEAD || m > APDU_BUFFER)
        return TRANSPORT_FAILED;
    const std::uint32_t data_length = m - static_cast<std::uint32_t>(RESPONSE_OVERHEAD);
    if (connection->login_state != LOGGED_OUT && data_length > 0)
        channel_crypt(*connection, apdu + CHANNEL_MAC_LENGTH, data_length, apdu + CHANNEL_MAC_LENGTH);
    std::uint8_t expected[CHANNEL_MAC_LENGTH];
    channel_mac(*connection, apdu + CHANNEL_MAC_LENGTH, m - CHANNEL_MAC_LENGTH, expected);

    if (!macs_equal(expected, apdu))
        return TRANSPORT_BAD_MAC;
    return deliver_reply(apdu[m - 1], apdu + CHANNEL_MAC_LENGTH, data_length, reply, reply_length);
}

}  // namespace vlrp11
