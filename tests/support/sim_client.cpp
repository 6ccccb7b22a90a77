#include "support/sim_client.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>

#include "core/device_impl.h"
#include "core/little_endian.h"
#include "core/pin.h"

namespace vlrp11::sim {
namespace {

bool mac_matches(const std::array<std::uint8_t, 6>& mac, const std::uint8_t* received)
{
    return CRYPTO_memcmp(mac.data(), received, mac.size()) == 0;
}

}  // namespace

std::vector<std::uint8_t> ClientChannel::build_apdu(std::uint8_t code,
                                                    std::span<const std::uint8_t> request,
                                                    std::size_t reply_capacity)
{
    std::size_t lc = request.size() + 6;
    std::size_t le = reply_capacity + 6;
    bool short_form = lc <= 255 && le <= 256;
    std::size_t data_offset = short_form ? 5 : 7;
    std::size_t le_length = short_form ? 1 : 2;
    std::vector<std::uint8_t> apdu(data_offset + lc + le_length);
    apdu[0] = 0xFF;
    apdu[1] = code;
    apdu[2] = static_cast<std::uint8_t>(channel);
    apdu[3] = static_cast<std::uint8_t>(channel >> 8);
    if (short_form) {
        apdu[4] = static_cast<std::uint8_t>(lc);
    } else {
        apdu[5] = static_cast<std::uint8_t>(lc >> 8);
        apdu[6] = static_cast<std::uint8_t>(lc);
    }
    std::copy(request.begin(), request.end(), apdu.begin() + static_cast<std::ptrdiff_t>(data_offset));
    std::span<std::uint8_t> data = std::span(apdu).subspan(data_offset, request.size());
    std::array<std::uint8_t, 6> mac = channel_mac(keys, std::span(apdu).first(data_offset + request.size()));
    if (login_state != -1) {
        channel_crypt(keys, data);
    }
    std::copy(mac.begin(), mac.end(), data.end());
    if (short_form) {
        apdu.back() = static_cast<std::uint8_t>(le);
    } else {
        apdu[apdu.size() - 2] = static_cast<std::uint8_t>(le >> 8);
        apdu.back() = static_cast<std::uint8_t>(le);
    }
    return apdu;
}

ClientReply ClientChannel::parse_apdu_response(std::span<const std::uint8_t> response)
{
    if (response.size() < 8) {
        return {vlrp11::TRANSPORT_FAILED, {}};
    }
    std::vector<std::uint8_t> body(response.begin() + 6, response.end());
    if (login_state != -1) {
        channel_crypt(keys, std::span(body).first(body.size() - 2));
    }
    if (!mac_matches(channel_mac(keys, body), response.data())) {
        return {vlrp11::TRANSPORT_BAD_MAC, {}};
    }
    std::uint8_t status = body.back();
    body.resize(body.size() - 2);
    return {status, std::move(body)};
}

std::vector<std::uint8_t> ClientChannel::build_tcp_frame(std::uint8_t code,
                                                         std::span<const std::uint8_t> request)
{
    std::vector<std::uint8_t> frame(1 + request.size() + 6);
    frame[0] = code;
    std::copy(request.begin(), request.end(), frame.begin() + 1);
    std::span<std::uint8_t> body = std::span(frame).first(1 + request.size());
    std::array<std::uint8_t, 6> mac = channel_mac(keys, body);
    if (login_state != -1) {
        channel_crypt(keys, body);
    }
    std::copy(mac.begin(), mac.end(), body.end());
    return frame;
}

ClientReply ClientChannel::parse_tcp_reply(std::span<const std::uint8_t> reply)
{
    if (reply.size() < 7) {
        return {vlrp11::TRANSPORT_FAILED, {}};
    }
    std::vector<std::uint8_t> body(reply.begin(), reply.end() - 6);
    if (login_state != -1) {
        channel_crypt(keys, std::span(body).subspan(1));
    }
    if (!mac_matches(channel_mac(keys, body), reply.data() + reply.size() - 6)) {
        return {vlrp11::TRANSPORT_BAD_MAC, {}};
    }
    return {body[0], std::vector<std::uint8_t>(body.begin() + 1, body.end())};
}

bool start_key_exchange(ClientKeyExchange& exchange)
{
    exchange.ephemeral = p256_generate();
    if (!exchange.ephemeral ||
        RAND_bytes(exchange.nonce.data(), static_cast<int>(exchange.nonce.size())) != 1) {
        return false;
    }
    P256Point point = p256_public_point(exchange.ephemeral.get());
    exchange.request.assign(exchange.nonce.begin(), exchange.nonce.end());
    exchange.request.insert(exchange.request.end(), point.begin(), point.end());
    return true;
}

int finish_key_exchange(ClientKeyExchange& exchange, std::span<const std::uint8_t> reply,
                        std::uint32_t serial, int kind, ClientChannel& channel)
{
    if (reply.size() != 268) {
        return vlrp11::COMMAND_LENGTH_WRONG;
    }
    const std::uint8_t* certificate = reply.data() + 128;
    if (get_le32(certificate) != serial || get_le32(certificate + 4) != static_cast<std::uint32_t>(kind) ||
        get_le32(certificate + 8) != 1) {
        return vlrp11::CERTIFICATE_INVALID;
    }
    EvpKey root_private = load_development_root_key();
    if (!root_private) {
        return vlrp11::CERTIFICATE_INVALID;
    }
    P256Point root_point = p256_public_point(root_private.get());
    EvpKey root = p256_public_from_point(root_point);
    EvpKey device_key = p256_public_from_point(std::span<const std::uint8_t, 64>(certificate + 12, 64));
    if (!root || !device_key ||
        !p256_verify_sha256(root.get(), std::span(certificate, 76),
                            std::span<const std::uint8_t, 64>(certificate + 76, 64))) {
        return vlrp11::CERTIFICATE_INVALID;
    }
    std::vector<std::uint8_t> signed_data(exchange.nonce.begin(), exchange.nonce.end());
    signed_data.insert(signed_data.end(), reply.begin(), reply.begin() + 64);
    if (!p256_verify_sha256(device_key.get(), signed_data, reply.subspan<64, 64>())) {
        return vlrp11::DEVICE_SIGNATURE_INVALID;
    }
    EvpKey peer = p256_public_from_point(reply.first<64>());
    auto shared = peer ? p256_shared_x(exchange.ephemeral.get(), peer.get()) : std::nullopt;
    if (!shared) {
        return vlrp11::KEY_EXCHANGE_CRYPTO_FAILED;
    }
    std::array<std::uint8_t, 32> hash = sha256(*shared);
    std::copy_n(hash.begin(), 16, channel.keys.key.begin());
    std::copy_n(hash.begin() + 16, 16, channel.keys.counter.begin());
    channel.keys.keystream_pos = 0;
    OPENSSL_cleanse(shared->data(), shared->size());
    OPENSSL_cleanse(hash.data(), hash.size());
    return vlrp11::DEVICE_OK;
}

std::vector<std::uint8_t> login_request(std::string_view pin, bool with_partition,
                                        std::uint32_t partition)
{
    PinRecord values = derive_pin(pin);
    std::vector<std::uint8_t> request(16);
    aes128_encrypt_block(values.b, values.a, std::span<std::uint8_t, 16>(request.data(), 16));
    if (with_partition) {
        request.resize(20);
        put_le32(request.data() + 16, partition);
    }
    OPENSSL_cleanse(&values, sizeof values);
    return request;
}

void apply_login_reply(std::string_view pin, std::span<const std::uint8_t> reply, int login_type,
                       ClientChannel& channel)
{
    PinRecord values = derive_pin(pin);
    aes128_encrypt_block(values.a, reply.first<16>(), channel.keys.key);
    aes128_encrypt_block(values.a, reply.subspan<16, 16>(), channel.keys.counter);
    channel.keys.keystream_pos = 0;
    channel.login_state = login_type;
    OPENSSL_cleanse(&values, sizeof values);
}

ClientReply transmit_apdu(Device& device, ClientChannel& channel, std::uint8_t code,
                          std::span<const std::uint8_t> request, std::size_t reply_capacity)
{
    std::vector<std::uint8_t> apdu = channel.build_apdu(code, request, reply_capacity);
    return channel.parse_apdu_response(device.transmit(apdu));
}

ClientReply transmit_tcp(TcpSession& session, ClientChannel& channel, std::uint8_t code,
                         std::span<const std::uint8_t> request)
{
    std::vector<std::uint8_t> frame = channel.build_tcp_frame(code, request);
    return channel.parse_tcp_reply(session.receive(frame));
}

}  // namespace vlrp11::sim
