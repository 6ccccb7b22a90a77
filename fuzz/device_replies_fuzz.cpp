// The library's reading of device replies: arbitrary reply bytes through transmit_apdu (behind
// the PC/SC seam) and transmit_tcp (over a socket pair), for a plain command or for the key
// exchange. Where the input asks for it, the bytes are framed as a device would frame them, MAC
// valid and encrypted after login, so that the parsing behind the MAC check is reached too.
//
// Input: byte 0 flags (bit 0 TCP, bit 1 key exchange, bit 2 logged in, bit 3 valid MAC),
// bytes 1-2 the reply capacity (little-endian, plain command only), byte 3 the request length;
// the rest is the reply: status and data when the MAC is made valid (APDU: data, SW1, SW2), the
// whole frame or response otherwise.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/ctr_drbg.h"
#include "device/device_connection.h"
#include "device/key_exchange.h"
#include "device/secure_channel.h"
#include "device/transport.h"
#include "platform/pcsc.h"

namespace {

using namespace vlrp11;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t apdu_buffer = 2064;
constexpr std::size_t tcp_buffer = 2056;

// The device's side: its copy of the channel state and the reply it sends.
DeviceConnection device;
Bytes wire;

std::uint32_t zero_entropy(std::uint64_t, std::uint8_t* buffer, std::size_t length)
{
    std::memset(buffer, 0, length);
    return DEVICE_OK;
}

// The device reads the request, moving its keystream as the library did.
void device_reads(std::size_t encrypted_bytes)
{
    Bytes scratch(encrypted_bytes);
    if (device.login_state != LOGGED_OUT)
        channel_crypt(device, scratch.data(), scratch.size(), scratch.data());
}

// MAC ‖ data ‖ SW1 SW2 from data ‖ SW1 SW2; data encrypted after login.
Bytes apdu_response(const Bytes& body)
{
    Bytes response(CHANNEL_MAC_LENGTH);
    response.insert(response.end(), body.begin(), body.end());
    channel_mac(device, response.data() + CHANNEL_MAC_LENGTH, body.size(), response.data());
    if (device.login_state != LOGGED_OUT && body.size() > 2)
        channel_crypt(device, response.data() + CHANNEL_MAC_LENGTH, body.size() - 2,
                      response.data() + CHANNEL_MAC_LENGTH);
    return response;
}

// status ‖ data ‖ MAC from status ‖ data; data encrypted after login.
Bytes tcp_frame(const Bytes& body)
{
    Bytes frame = body;
    std::uint8_t mac[CHANNEL_MAC_LENGTH];
    channel_mac(device, frame.data(), frame.size(), mac);
    if (device.login_state != LOGGED_OUT && frame.size() > 1)
        channel_crypt(device, frame.data() + 1, frame.size() - 1, frame.data() + 1);
    frame.insert(frame.end(), mac, mac + CHANNEL_MAC_LENGTH);
    return frame;
}

PcscResult transmit(PcscCard, const std::uint8_t*, std::uint32_t, std::uint8_t* response,
                    std::uint32_t* response_length)
{
    if (wire.size() > *response_length)
        return PCSC_E_INSUFFICIENT_BUFFER;
    std::memcpy(response, wire.data(), wire.size());
    *response_length = static_cast<std::uint32_t>(wire.size());
    return PCSC_SUCCESS;
}

const PcscFunctions card = [] {
    PcscFunctions functions{};
    functions.transmit = transmit;
    return functions;
}();

bool same_keystream(const DeviceConnection& a, const DeviceConnection& b)
{
    return a.keystream_pos == b.keystream_pos && std::memcmp(a.counter, b.counter, 16) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const bool tcp = data[0] & 1;
    const bool exchange = data[0] & 2;
    const bool logged_in = data[0] & 4;
    const bool valid_mac = data[0] & 8;
    std::uint32_t capacity = static_cast<std::uint32_t>(data[1] | data[2] << 8) % 2100;
    const std::uint32_t request_length = exchange ? 80 : data[3];
    const Bytes body(data + 4, data + size);

    DeviceConnection connection{};
    connection.kind = tcp ? DEVICE_NETWORK_HSM : DEVICE_PCSC_HSM;
    connection.login_state = logged_in ? LOGGED_IN_USER : LOGGED_OUT;
    connection.device_info[DEVICE_INFO_VERSION] = 7;
    connection.transport = tcp ? transmit_tcp : transmit_apdu;
    connection.handle = 1;
    reset_channel_key(connection);
    drbg_instantiate_from(connection.random, zero_entropy, 0);
    device = connection;

    device_reads(tcp ? request_length + 1 : request_length);
    if (valid_mac && (tcp ? !body.empty() : body.size() >= 2))
        wire = tcp ? tcp_frame(body) : apdu_response(body);
    else
        wire = body;
    const bool whole = tcp ? wire.size() <= tcp_buffer : wire.size() <= apdu_buffer;

    int sockets[2] = {-1, -1};
    if (tcp) {
        if (wire.size() > 4096 || socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0)
            return 0;
        connection.handle = static_cast<std::uint64_t>(sockets[0]);
        // The whole reply is waiting, and the device says no more: a frame whose MAC does not
        // verify is given up at once instead of after the wait for the rest.
        if (!wire.empty() && send(sockets[1], wire.data(), wire.size(), 0) != static_cast<ssize_t>(wire.size()))
            std::abort();
        shutdown(sockets[1], SHUT_WR);
    } else {
        bind_pcsc(&card);
    }

    std::uint32_t status;
    if (exchange) {
        status = key_exchange(connection);
    } else {
        Bytes request(request_length, 0x5A);
        std::uint8_t* reply = capacity > 0 ? new std::uint8_t[capacity] : nullptr;
        std::uint32_t length = capacity;
        status = connection.transport(&connection, 48, request.data(), request_length, reply, &length);
        // Nothing beyond the capacity is ever claimed as delivered.
        if (status == DEVICE_OK && length > capacity && reply != nullptr)
            std::abort();
        delete[] reply;
    }
    // A device that frames its reply correctly stays in step with the library, whatever the
    // reply says.
    if (valid_mac && whole && !exchange && status != TRANSPORT_LENGTH && status != TRANSPORT_FAILED &&
        !same_keystream(connection, device))
        std::abort();

    if (tcp) {
        close(sockets[0]);
        close(sockets[1]);
    } else {
        bind_pcsc(nullptr);
    }
    return 0;
}
