#include "support/fake_card.h"

#include "crypto/aes.h"
#include "device/secure_channel.h"
#include "device/transport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vlrp11::testing {
namespace {

// A device status with no meaning of its own to the library: it passes through.
constexpr std::uint8_t unlisted = 0x6A;

using Bytes = std::vector<std::uint8_t>;

Bytes pattern(std::size_t n, std::uint8_t seed = 1)
{
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13);
    return bytes;
}

// The device side of every test: a mirror of the library's channel state answering with
// `reply` and `status`.
struct Device {
    DeviceConnection mirror = make_pcsc_connection();
    Bytes reply;
    std::uint8_t status = 0;

    FakeCard::Responder responder()
    {
        return [this](std::span<const std::uint8_t> command) {
            // The device decrypts the request data, advancing its keystream as the library did.
            bool extended = command[4] == 0 && command.size() > 12;
            std::size_t data = extended ? 7 : 5;
            std::size_t trailer = CHANNEL_MAC_LENGTH + (extended ? 2 : 1);
            std::size_t n = command.size() - data - trailer;
            if (mirror.login_state != LOGGED_OUT && n > 0) {
                Bytes scratch(command.begin() + static_cast<long>(data), command.begin() + static_cast<long>(data + n));
                channel_crypt(mirror, scratch.data(), n, scratch.data());
            }
            return device_response(mirror, reply, status);
        };
    }
};

TEST(TransportApdu, CommandWithoutDataIsTwelveBytes)
{
    Device device;
    FakeCard card(device.responder());
    DeviceConnection connection = make_pcsc_connection();
    connection.channel = 0x0203;
    EXPECT_EQ(transmit_apdu(&connection, 16, nullptr, 0, nullptr, nullptr), DEVICE_OK);

    ASSERT_EQ(card.sent.size(), 1u);
    const Bytes& apdu = card.sent[0];
    ASSERT_EQ(apdu.size(), 12u);
    EXPECT_EQ(Bytes(apdu.begin(), apdu.begin() + 5), (Bytes{0xFF, 16, 0x03, 0x02, 6}));
    // MAC over the five header bytes, zero-filled, under the all-0xFF key.
    AesKey key;
    std::uint8_t ff[16];
    std::memset(ff, 0xFF, 16);
    aes_set_key(key, ff, 128);
    std::uint8_t block[16] = {0xFF, 16, 0x03, 0x02, 6};
    aes_encrypt_block(key, block, block);
    EXPECT_EQ(Bytes(apdu.begin() + 5, apdu.begin() + 11), Bytes(block, block + 6));
    EXPECT_EQ(apdu[11], 6);
}

TEST(TransportApdu, ShortAndExtendedFormBoundaries)
{
    struct Case {
        std::uint32_t request;
        std::uint32_t capacity;
        bool extended;
        Bytes lc;
        Bytes le;
    };
    const Case cases[] = {
        {249, 250, false, {255}, {0x00}},              // Le 256 is sent as 0
        {250, 0, true, {0x00, 0x01, 0x00}, {0x00, 0x06}},
        {0, 251, true, {0x00, 0x00, 0x06}, {0x01, 0x01}},
        {2049, 2048, true, {0x00, 0x08, 0x07}, {0x08, 0x06}},
    };
    for (const Case& c : cases) {
        Device device;
        FakeCard card(device.responder());
        DeviceConnection connection = make_pcsc_connection();
        Bytes request = pattern(c.request);
        Bytes reply(c.capacity);
        std::uint32_t length = c.capacity;
        EXPECT_EQ(transmit_apdu(&connection, 50, request.data(), c.request, c.capacity ? reply.data() : nullptr,
                                c.capacity ? &length : nullptr),
                  0u);
        ASSERT_EQ(card.sent.size(), 1u);
        const Bytes& apdu = card.sent[0];
        std::size_t header = c.extended ? 7 : 5;
        EXPECT_EQ(apdu.size(), c.request + (c.extended ? 15u : 12u)) << c.request;
        EXPECT_EQ(Bytes(apdu.begin() + 4, apdu.begin() + static_cast<long>(header)), c.lc) << c.request;
        EXPECT_EQ(Bytes(apdu.begin() + static_cast<long>(header), apdu.begin() + static_cast<long>(header + c.request)),
                  request);
        EXPECT_EQ(Bytes(apdu.end() - static_cast<long>(c.le.size()), apdu.end()), c.le) << c.request;
    }
}

TEST(TransportApdu, LengthLimitsSendNothing)
{
    Device device;
    FakeCard card(device.responder());
    DeviceConnection connection = make_pcsc_connection();
    Bytes request(2050);
    Bytes reply(2049);
    std::uint32_t length = 2049;
    EXPECT_EQ(transmit_apdu(&connection, 50, request.data(), 2050, nullptr, nullptr), TRANSPORT_LENGTH);
    EXPECT_EQ(transmit_apdu(&connection, 50, nullptr, 0, reply.data(), &length), TRANSPORT_LENGTH);
    EXPECT_TRUE(card.sent.empty());
}

TEST(TransportApdu, RepliesAreCheckedAndCopied)
{
    Device device;
    FakeCard card(device.responder());
    DeviceConnection connection = make_pcsc_connection();
    Bytes reply(32, 0xEE);

    // Status only: length 0, buffer untouched, status passed through.
    device.status = unlisted;
    std::uint32_t length = 32;
    EXPECT_EQ(transmit_apdu(&connection, 80, nullptr, 0, reply.data(), &length), unlisted);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(reply, Bytes(32, 0xEE));

    device.status = DEVICE_OK;
    device.reply = pattern(20);
    length = 32;
    EXPECT_EQ(transmit_apdu(&connection, 80, nullptr, 0, reply.data(), &length), DEVICE_OK);
    EXPECT_EQ(length, 20u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 20), device.reply);

    // More data than the caller's capacity is refused; nothing is copied, the length is told.
    Bytes small(8, 0xEE);
    length = 8;
    EXPECT_EQ(transmit_apdu(&connection, 80, nullptr, 0, small.data(), &length), TRANSPORT_LENGTH);
    EXPECT_EQ(small, Bytes(8, 0xEE));
    EXPECT_EQ(length, 20u);
}

TEST(TransportApdu, DamagedOrShortResponses)
{
    Device device;
    device.reply = pattern(10);
    bool flip = false;
    std::size_t truncate = 0;
    FakeCard card([&](std::span<const std::uint8_t> command) {
        Bytes response = device.responder()(command);
        if (flip)
            response[8] ^= 0x01;
        if (truncate)
            response.resize(truncate);
        return response;
    });
    DeviceConnection connection = make_pcsc_connection();
    Bytes reply(16, 0xEE);
    std::uint32_t length = 16;

    flip = true;
    EXPECT_EQ(transmit_apdu(&connection, 80, nullptr, 0, reply.data(), &length), TRANSPORT_BAD_MAC);
    EXPECT_EQ(reply, Bytes(16, 0xEE));
    flip = false;
    truncate = 7;
    EXPECT_EQ(transmit_apdu(&connection, 80, nullptr, 0, reply.data(), &length), TRANSPORT_FAILED);
    truncate = 0;
    card.failTransmit = true;
    EXPECT_EQ(transmit_apdu(&connection, 80, nullptr, 0, reply.data(), &length), TRANSPORT_FAILED);
}

TEST(TransportApdu, LoggedInPayloadsAreEncryptedWithOneKeystream)
{
    Device device;
    FakeCard card(device.responder());
    DeviceConnection connection = make_pcsc_connection();
    std::uint8_t key[16];
    for (int i = 0; i < 16; ++i)
        key[i] = static_cast<std::uint8_t>(i);
    for (DeviceConnection* c : {&connection, &device.mirror}) {
        set_channel_key(*c, key);
        std::memset(c->counter, 0x33, 16);
        c->login_state = LOGGED_IN_USER;
    }

    Bytes request = pattern(21);
    device.reply = pattern(30, 9);
    Bytes reply(64);
    for (int round = 0; round < 3; ++round) {
        std::uint32_t length = 64;
        ASSERT_EQ(transmit_apdu(&connection, 84, request.data(), 21, reply.data(), &length), DEVICE_OK) << round;
        EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 30), device.reply);
    }

    // The data travel encrypted; the MAC is the one of the plaintext APDU.
    const Bytes& first = card.sent[0];
    EXPECT_NE(Bytes(first.begin() + 5, first.begin() + 26), request);
    Bytes plain(first.begin(), first.begin() + 5);
    plain.insert(plain.end(), request.begin(), request.end());
    std::uint8_t mac[6];
    channel_mac(connection, plain.data(), plain.size(), mac);
    EXPECT_EQ(Bytes(first.begin() + 26, first.begin() + 32), Bytes(mac, mac + 6));
    // 3 × (21 + 30) bytes of keystream used, in step on both sides.
    EXPECT_EQ(connection.keystream_pos, (3u * 51u) % 16u);
    EXPECT_EQ(0, std::memcmp(connection.counter, device.mirror.counter, 16));
}

}  // namespace
}  // namespace vlrp11::testing
