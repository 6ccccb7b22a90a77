#pragma once

// The host side of the device protocol, written for the simulator's tests, smoke program and fuzz
// targets: APDU and TCP framing, MAC, counter-mode keystream, login and key exchange. It mirrors
// what the library does, independently of the library's code, so that tests can talk to a
// Device byte for byte. Its statuses carry the library's names.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/channel_crypto.h"
#include "device/status.h"
#include "core/device.h"
#include "core/p256.h"

namespace vlrp11::sim {

struct ClientReply {
    int status = vlrp11::DEVICE_OK;  // device status byte, TRANSPORT_FAILED or TRANSPORT_BAD_MAC
    std::vector<std::uint8_t> data;
};

class ClientChannel {
public:
    std::uint16_t channel = 0;
    int login_state = -1;
    ChannelKeys keys;  // starts with the all-0xFF key

    // PC/SC: builds the command APDU (short or extended form) and encrypts it when logged in.
    std::vector<std::uint8_t> build_apdu(std::uint8_t code, std::span<const std::uint8_t> request,
                                         std::size_t reply_capacity);
    ClientReply parse_apdu_response(std::span<const std::uint8_t> response);
    // TCP: one request frame, and the check of one reply frame.
    std::vector<std::uint8_t> build_tcp_frame(std::uint8_t code,
                                              std::span<const std::uint8_t> request);
    ClientReply parse_tcp_reply(std::span<const std::uint8_t> reply);
};

// Key-exchange request (client nonce and ephemeral public key) and the check of its reply against
// the development root key: DEVICE_OK and the new keys installed, or the status the library
// would answer (COMMAND_LENGTH_WRONG, CERTIFICATE_INVALID, DEVICE_SIGNATURE_INVALID,
// KEY_EXCHANGE_CRYPTO_FAILED).
struct ClientKeyExchange {
    std::array<std::uint8_t, 16> nonce{};
    std::vector<std::uint8_t> request;  // 80 bytes
    EvpKey ephemeral;
};
bool start_key_exchange(ClientKeyExchange& exchange);
int finish_key_exchange(ClientKeyExchange& exchange, std::span<const std::uint8_t> reply,
                        std::uint32_t serial, int kind, ClientChannel& channel);

// Login request for a PIN (16 bytes, or 20 with the partition number for HSM user logins) and
// the key change once the 32-byte reply arrived.
std::vector<std::uint8_t> login_request(std::string_view pin, bool with_partition,
                                        std::uint32_t partition);
void apply_login_reply(std::string_view pin, std::span<const std::uint8_t> reply, int login_type,
                       ClientChannel& channel);

// One command through an in-process device, framed as the library frames it.
ClientReply transmit_apdu(Device& device, ClientChannel& channel, std::uint8_t code,
                          std::span<const std::uint8_t> request, std::size_t reply_capacity);
ClientReply transmit_tcp(TcpSession& session, ClientChannel& channel, std::uint8_t code,
                         std::span<const std::uint8_t> request);

}  // namespace vlrp11::sim
