#include "device/transport.h"

#include "device/device_connection.h"
#include "device/secure_channel.h"
#include "device/transport_reply.h"
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

// Decrypts the data of the m bytes of frame in place, keystream moving on, and checks the MAC.
bool open_frame(DeviceConnection& connection, std::uint8_t* frame, std::size_t m)
{
    std::size_t data_length = m - REPLY_OVERHEAD;
    if (connection.login_state != LOGGED_OUT && data_length > 0)
        channel_crypt(connection, frame + 1, data_length, frame + 1);
    std::uint8_t expected[CHANNEL_MAC_LENGTH];
    channel_mac(connection, frame, m - CHANNEL_MAC_LENGTH, expected);
    return macs_equal(expected, frame + m - CHANNEL_MAC_LENGTH);
}

// Whether the m bytes received so far make a whole frame, opened on a copy. A whole frame is
// left opened in place with the keystream moved on; otherwise the frame and the keystream place
// stay as they were.
bool open_if_complete(DeviceConnection& connection, std::uint8_t* received, std::size_t m)
{
    Wiped<KeystreamPlace> place;
    place.value.keystream_pos = connection.keystream_pos;
    std::memcpy(place.value.counter, connection.counter, 16);
    std::memcpy(place.value.keystream, connection.keystream, 16);
    Wiped<std::uint8_t[FRAME_BUFFER]> copy;
    std::memcpy(copy.value, received, m);
    if (open_frame(connection, copy.value, m)) {
        std::memcpy(received, copy.value, m);
        return true;
    }
    connection.keystream_pos = place.value.keystream_pos;
    std::memcpy(connection.counter, place.value.counter, 16);
    std::memcpy(connection.keystream, place.value.keystream, 16);
    return false;
}

}  // namespace

std::uint32_t transmit_tcp(DeviceConnection* connection, std::uint8_t code, const std::uint8_t* request,
                           std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length)
{
    if (request_length > MAX_REQUEST_LENGTH)
        return TRANSPORT_LENGTH;

    Wiped<std::uint8_t[FRAME_BUFFER]> buffer;
    std::uint8_t* frame = buffer.value;
    frame[0] = code;
    if (request_length > 0)
        std::memcpy(frame + 1, request, request_length);
    channel_mac(*connection, frame, request_length + 1, frame + 1 + request_length);
    if (connection->login_state != LOGGED_OUT)
        channel_crypt(*connection, frame, request_length + 1, frame);
    if (!socket_send_all(connection->handle, frame, request_length + 1 + CHANNEL_MAC_LENGTH))
        return TRANSPORT_FAILED;  // no reply can come

    // An HSM that never answers (a frozen process, a cable pulled after the request went out)
    // would hold the caller, and every thread behind the library lock, for good. Once it is taken
    // for gone, a late reply must not be read as the answer to a later command, so the link is
    // shut down and the next slot refresh lets the connection go.
    if (!socket_wait_readable(connection->handle, TCP_REPLY_WAIT_MS)) {
        socket_shut_down(connection->handle);
        return TRANSPORT_FAILED;
    }

    // The frame has no length field: a frame split by the network is completed by further
    // receives until its MAC verifies, the buffer is full or the device stays quiet. Only the
    // reassembly is new: the keystream then moves past the received data exactly once, as the
    // device's did when it sent them, whether the MAC verifies or not.
    std::size_t m = 0;
    bool opened = false;
    for (;;) {
        long got = socket_receive(connection->handle, frame + m, FRAME_BUFFER - m);
        if (got <= 0)
            break;
        m += static_cast<std::size_t>(got);
        if (m >= REPLY_OVERHEAD && (opened = open_if_complete(*connection, frame, m)))
            break;
        if (m == FRAME_BUFFER || !socket_wait_readable(connection->handle, TCP_FRAME_WAIT_MS))
            break;
    }
    if (m < REPLY_OVERHEAD)
        return TRANSPORT_FAILED;
    if (!opened && !open_frame(*connection, frame, m))
        return TRANSPORT_BAD_MAC;
    return deliver_reply(frame[0], frame + 1, static_cast<std::uint32_t>(m - REPLY_OVERHEAD), reply, reply_length);
}

}  // namespace vlrp11
