#include "device/transport.h"

#include "device/device_connection.h"
#include "device/secure_channel.h"
#include "platform/sockets.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::size_t FRAME_BUFFER = 2056;
constexpr std::size_t REPLY_OVERHEAD = 1 + CHANNEL_MAC_LENGTH;  // status byte in front, MAC behind

struct KeystreamPlace {
    std::uint64_t keystream_pos;
    std::uint8_t counter[16];
    std::uint8_t keystream[16];
};

KeystreamPlace save_place(const DeviceConnection& connection)
{
    KeystreamPlace place;
    place.keystream_pos = connection.keystream_pos;
    std::memcpy(place.counter, connection.counter, 16);
    std::memcpy(place.keystream, connection.keystream, 16);
    return place;
}

void restore_place(DeviceConnection& connection, const KeystreamPlace& place)
{
    connection.keystream_pos = place.keystream_pos;
    std::memcpy(connection.counter, place.counter, 16);
    std::memcpy(connection.keystream, place.keystream, 16);
}

// Decrypts a copy of the m received bytes and checks its MAC. On success the plaintext is in
// frame and the keystream has moved past it; otherwise the keystream place is as before, so the
// same bytes can be tried again once more have arrived.
bool open_frame(DeviceConnection& connection, const std::uint8_t* received, std::size_t m, std::uint8_t* frame)
{
    KeystreamPlace place = save_place(connection);
    std::memcpy(frame, received, m);
    std::size_t data_length = m - REPLY_OVERHEAD;
    if (connection.login_state != LOGGED_OUT && data_length > 0)
        channel_crypt(connection, frame + 1, data_length, frame + 1);
    std::uint8_t expected[CHANNEL_MAC_LENGTH];
    channel_mac(connection, frame, m - CHANNEL_MAC_LENGTH, expected);
    bool ok = macs_equal(expected, frame + m - CHANNEL_MAC_LENGTH);
    if (!ok)
        restore_place(connection, place);
    secure_wipe(place);
    return ok;
}

}  // namespace

std::uint32_t transmit_tcp(DeviceConnection* connection, std::uint8_t code, const std::uint8_t* request,
                           std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length)
{
    if (request_length > MAX_REQUEST_LENGTH)
        return TRANSPORT_LENGTH;

    Wiped<std::uint8_t[FRAME_BUFFER]> received;
    Wiped<std::uint8_t[FRAME_BUFFER]> opened;
    std::uint8_t* buffer = received.value;
    std::uint8_t* frame = opened.value;
    buffer[0] = code;
    if (request_length > 0)
        std::memcpy(buffer + 1, request, request_length);
    channel_mac(*connection, buffer, request_length + 1, buffer + 1 + request_length);
    if (connection->login_state != LOGGED_OUT)
        channel_crypt(*connection, buffer, request_length + 1, buffer);
    socket_send_all(connection->handle, buffer, request_length + 1 + CHANNEL_MAC_LENGTH);

    // A whole frame in one receive is checked at once; a frame split by the network is
    // completed by further receives, each followed by a new check.
    std::size_t m = 0;
    bool verified = false;
    for (;;) {
        long got = socket_receive(connection->handle, buffer + m, FRAME_BUFFER - m);
        if (got <= 0)
            break;
        m += static_cast<std::size_t>(got);
        if (m >= REPLY_OVERHEAD && open_frame(*connection, buffer, m, frame)) {
            verified = true;
            break;
        }
        if (m == FRAME_BUFFER || !socket_wait_readable(connection->handle, TCP_FRAME_WAIT_MS))
            break;
    }

    if (m < REPLY_OVERHEAD)
        return TRANSPORT_FAILED;
    if (!verified)
        return TRANSPORT_BAD_MAC;
    const std::uint32_t data_length = static_cast<std::uint32_t>(m - REPLY_OVERHEAD);
    std::uint32_t capacity = reply_length != nullptr ? *reply_length : 0;
    if (reply != nullptr && reply_length != nullptr && data_length > capacity)
        return TRANSPORT_LENGTH;
    if (reply_length != nullptr) {
        *reply_length = data_length;
        if (reply != nullptr && data_length > 0)
            std::memcpy(reply, frame + 1, data_length);
    }
    return frame[0];
}

}  // namespace vlrp11
