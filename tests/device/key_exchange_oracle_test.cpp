// The key exchange against a device played with OpenSSL: a certificate signed by the
// development root key, an ephemeral key signed by the certified key, ECDH.
#include "crypto/aes.h"
#include "device/command_codes.h"
#include "device/device_connection.h"
#include "device/key_exchange.h"
#include "device/secure_channel.h"
#include "support/openssl_p256.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace vlrp11 {
namespace {

using testing::development_root_key;
using testing::ecdh_x;
using testing::new_p256_key;
using testing::P256Key;
using testing::p256_public_key;
using testing::public_key_bytes;
using testing::sign_sha256;

using Bytes = std::vector<std::uint8_t>;

void put_le32(Bytes& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The device: what it puts in its certificate and reply can be spoiled per test.
struct FakeDevice {
    P256Key root = development_root_key();
    P256Key identity = new_p256_key();
    P256Key ephemeral;
    std::uint32_t serial = 0x01020304;
    std::uint32_t kind = DEVICE_NETWORK_HSM;
    std::uint32_t format = 1;
    std::function<void(Bytes&)> spoil = [](Bytes&) {};
    Bytes last_certificate;
    Bytes shared;  // SHA-256 of the ECDH secret, as the device computes it
    int exchanges = 0;

    Bytes certificate()
    {
        Bytes cert;
        put_le32(cert, serial);
        put_le32(cert, kind);
        put_le32(cert, format);
        Bytes pub = public_key_bytes(identity.get());
        cert.insert(cert.end(), pub.begin(), pub.end());
        Bytes sig = sign_sha256(root.get(), cert.data(), cert.size());
        cert.insert(cert.end(), sig.begin(), sig.end());
        return cert;
    }

    Bytes answer(const std::uint8_t* request)
    {
        ++exchanges;
        ephemeral = new_p256_key();
        Bytes ephemeral_public = public_key_bytes(ephemeral.get());
        Bytes signed_data(request, request + 16);
        signed_data.insert(signed_data.end(), ephemeral_public.begin(), ephemeral_public.end());
        Bytes reply = ephemeral_public;
        Bytes sig = sign_sha256(identity.get(), signed_data.data(), signed_data.size());
        reply.insert(reply.end(), sig.begin(), sig.end());
        Bytes cert = certificate();
        last_certificate = cert;
        reply.insert(reply.end(), cert.begin(), cert.end());

        // The device's half of the agreement.
        P256Key client = p256_public_key(request + 16);
        Bytes secret = ecdh_x(ephemeral.get(), client.get());
        shared.assign(32, 0);
        SHA256(secret.data(), secret.size(), shared.data());

        spoil(reply);
        return reply;
    }
};
FakeDevice* device = nullptr;

std::uint32_t device_transport(DeviceConnection*, std::uint8_t code, const std::uint8_t* request,
                               std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length)
{
    EXPECT_EQ(code, CMD_KEY_EXCHANGE);
    EXPECT_EQ(request_length, 80u);
    EXPECT_EQ(*reply_length, 268u);
    Bytes answer = device->answer(request);
    std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(answer.size(), *reply_length));
    std::memcpy(reply, answer.data(), n);
    *reply_length = static_cast<std::uint32_t>(answer.size());
    return 0;
}

class KeyExchangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(fake.root, nullptr);
        device = &fake;
        connection.kind = DEVICE_NETWORK_HSM;
        connection.login_state = LOGGED_OUT;
        connection.transport = device_transport;
        connection.device_info[0] = 0x04;
        connection.device_info[1] = 0x03;
        connection.device_info[2] = 0x02;
        connection.device_info[3] = 0x01;
        connection.device_info[DEVICE_INFO_VERSION] = 7;
        reset_channel_key(connection);
        std::memset(connection.counter, 0x77, 16);
        connection.keystream_pos = 3;
        ASSERT_EQ(drbg_instantiate(connection.random), DEVICE_OK);
    }
    void TearDown() override { device = nullptr; }

    Bytes channel_key_probe()
    {
        std::uint8_t zero[16] = {};
        Bytes out(16);
        aes_encrypt_block(connection.channel_cipher, zero, out.data());
        return out;
    }

    FakeDevice fake;
    DeviceConnection connection{};
};

TEST_F(KeyExchangeTest, AgreesOnTheDevicesKeyAndCounter)
{
    ASSERT_EQ(key_exchange(connection), DEVICE_OK);
    AesKey expected;
    aes_set_key(expected, fake.shared.data(), 128);
    std::uint8_t zero[16] = {};
    Bytes probe(16);
    aes_encrypt_block(expected, zero, probe.data());
    EXPECT_EQ(channel_key_probe(), probe);
    EXPECT_EQ(Bytes(connection.counter, connection.counter + 16), Bytes(fake.shared.begin() + 16, fake.shared.end()));
    EXPECT_EQ(connection.keystream_pos, 0u);
    EXPECT_EQ(connection.login_state, LOGGED_OUT);
    // The certificate is kept for the connection's life.
    EXPECT_EQ(Bytes(connection.device_certificate, connection.device_certificate + 140), fake.last_certificate);
    // Every exchange uses a fresh ephemeral key and nonce.
    Bytes first = channel_key_probe();
    ASSERT_EQ(key_exchange(connection), DEVICE_OK);
    EXPECT_NE(channel_key_probe(), first);
}

TEST_F(KeyExchangeTest, RefusesWhatTheRootDoesNotVouchFor)
{
    struct Case {
        const char* name;
        std::function<void(FakeDevice&)> setup;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"wrong kind", [](FakeDevice& d) { d.kind = DEVICE_PCSC_HSM; }, CERTIFICATE_INVALID},
        {"wrong serial", [](FakeDevice& d) { d.serial = 0x01020305; }, CERTIFICATE_INVALID},
        {"wrong format", [](FakeDevice& d) { d.format = 2; }, CERTIFICATE_INVALID},
        {"other root", [](FakeDevice& d) { d.root = new_p256_key(); }, CERTIFICATE_INVALID},
        {"bad root signature", [](FakeDevice& d) { d.spoil = [](Bytes& r) { r[128 + 100] ^= 1; }; },
         CERTIFICATE_INVALID},
        {"bad device signature", [](FakeDevice& d) { d.spoil = [](Bytes& r) { r[70] ^= 1; }; },
         DEVICE_SIGNATURE_INVALID},
        {"short reply", [](FakeDevice& d) { d.spoil = [](Bytes& r) { r.pop_back(); }; }, COMMAND_LENGTH_WRONG},
        {"ephemeral key off the curve", [](FakeDevice& d) { d.spoil = [](Bytes& r) { r[63] ^= 1; }; },
         DEVICE_SIGNATURE_INVALID},
    };
    for (const Case& c : cases) {
        FakeDevice spoiled;
        c.setup(spoiled);
        device = &spoiled;
        Bytes key_before = channel_key_probe();
        EXPECT_EQ(key_exchange(connection), c.expected) << c.name;
        EXPECT_EQ(channel_key_probe(), key_before) << c.name;
        EXPECT_EQ(Bytes(connection.counter, connection.counter + 16), Bytes(16, 0x77)) << c.name;
        EXPECT_EQ(connection.keystream_pos, 3u) << c.name;
    }
}

TEST_F(KeyExchangeTest, OldTokensSkipIt)
{
    connection.kind = DEVICE_TOKEN;
    connection.device_info[DEVICE_INFO_VERSION] = 6;
    EXPECT_EQ(key_exchange(connection), DEVICE_OK);
    EXPECT_EQ(fake.exchanges, 0);
    connection.device_info[DEVICE_INFO_VERSION] = 7;
    fake.kind = DEVICE_TOKEN;
    EXPECT_EQ(key_exchange(connection), DEVICE_OK);
    EXPECT_EQ(fake.exchanges, 1);
}

TEST_F(KeyExchangeTest, DeviceStatusPassesThrough)
{
    connection.transport = [](DeviceConnection*, std::uint8_t, const std::uint8_t*, std::uint32_t, std::uint8_t*,
                              std::uint32_t*) -> std::uint32_t { return CONNECTION_LOST; };
    EXPECT_EQ(key_exchange(connection), CONNECTION_LOST);
}

}  // namespace
}  // namespace vlrp11
