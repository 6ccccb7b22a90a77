// Objects and keys through a whole device: framed, MAC-checked and encrypted commands, the
// partition chosen by the login, and a restart from the state directory.
#include "sim_test_support.h"
#include "support_objects.h"
#include "support_openssl.h"


namespace vlrp11::sim {
namespace {

using test::Bytes;
using test::concat;
using test::key_header;
using test::sha256;

struct Session {
    ClientChannel channel;
    Bytes device_public_key;  // X ‖ Y from the device certificate
};

// Channel, key exchange (keeping the certificate's key) and user login on `partition`.
Session open_user_session(Device& device, std::uint32_t partition = 0) {
    Session session;
    ClientReply opened = transmit_apdu(device, session.channel, 32, {}, 2);
    EXPECT_EQ(opened.status, status::ok);
    session.channel.channel = static_cast<std::uint16_t>(opened.data.at(0) | opened.data.at(1) << 8);
    ClientKeyExchange exchange;
    EXPECT_TRUE(start_key_exchange(exchange));
    ClientReply reply = transmit_apdu(device, session.channel, 240, exchange.request, 268);
    EXPECT_EQ(reply.status, status::ok);
    EXPECT_EQ(finish_key_exchange(exchange, reply.data, device.profile().serial, static_cast<int>(device.profile().kind),
                                  session.channel),
              0);
    session.device_public_key.assign(reply.data.begin() + 128 + 12, reply.data.begin() + 128 + 76);
    bool hsm = device.profile().kind != DeviceKind::token;
    EXPECT_EQ(test::login(device, session.channel, login_user, test::user_pin, hsm, partition), status::ok);
    return session;
}

ClientReply command(Device& device, Session& session, std::uint8_t code, const Bytes& request) {
    return transmit_apdu(device, session.channel, code, request, 2048);
}

TEST(ObjectsOnDevice, KeysAndFilesSurviveARestartAndSignWhatOpenSslVerifies) {
    test::TempDir dir;
    DeviceProfile profile = test::make_profile(DeviceKind::token);
    Bytes point, header, hash = sha256(Bytes{'m', 's', 'g'});
    {
        auto device = test::create_device(dir, profile);
        Session session = open_user_session(*device);
        ClientReply generated = command(*device, session, 66, concat({{60}, key_header(1, 0x04, 4)}));
        ASSERT_EQ(generated.status, status::ok);
        point = generated.data;
        ASSERT_EQ(command(*device, session, 74, {63, 0x83, 63, 3, 0, 'a', 'b', 'c'}).status, status::ok);
        ClientReply info = command(*device, session, 80, {60});
        ASSERT_EQ(info.status, status::ok);
        header = info.data;
        ClientReply attestation = command(*device, session, 241, {60});
        ASSERT_EQ(attestation.status, status::ok);
        Pkey device_key = test::ec_public_key("P-256", session.device_public_key);
        EXPECT_TRUE(test::ecdsa_verifies(device_key.get(), sha256(concat({header, point})), attestation.data));
    }
    std::string error;
    auto device = Device::open(dir.path() / "device", error);
    ASSERT_TRUE(device) << error;
    Session session = open_user_session(*device);
    ClientReply file = command(*device, session, 50, {63});
    ASSERT_EQ(file.status, status::ok);
    EXPECT_EQ(file.data, (Bytes{0x83, 63, 3, 0, 'a', 'b', 'c'}));
    EXPECT_EQ(command(*device, session, 82, {60}).data, point);
    EXPECT_EQ(command(*device, session, 80, {60}).data, header);
    ClientReply signature = command(*device, session, 84, concat({{60, 32}, hash}));
    ASSERT_EQ(signature.status, status::ok);
    Pkey key = test::ec_public_key("P-256", point);
    EXPECT_TRUE(test::ecdsa_verifies(key.get(), hash, signature.data));
}

TEST(ObjectsOnDevice, EachHsmPartitionHasItsOwnDirectory) {
    test::TempDir dir;
    auto device = test::create_device(dir, test::make_profile(DeviceKind::pcsc_hsm));
    Session first = open_user_session(*device, 1);
    Session second = open_user_session(*device, 2);
    ASSERT_EQ(command(*device, first, 74, {10, 0x83, 10, 1, 0, 7}).status, status::ok);
    EXPECT_EQ(command(*device, first, 18, {}).data.at(40), 0x83);
    EXPECT_EQ(command(*device, second, 18, {}).data.at(40), 0xFF);
    EXPECT_EQ(command(*device, second, 50, {10}).status, status::not_found);
    EXPECT_EQ(command(*device, second, 74, {10, 0x83, 10, 1, 0, 8}).status, status::ok);
}

TEST(ObjectsOnDevice, KeyCommandsNeedAUserLogin) {
    test::TempDir dir;
    auto device = test::create_device(dir, test::make_profile(DeviceKind::token));
    ClientChannel channel = test::open_session(*device);
    EXPECT_EQ(transmit_apdu(*device, channel, 18, {}, 512).status, status::ok);
    EXPECT_EQ(transmit_apdu(*device, channel, 66, concat({{1}, key_header(1, 0, 4)}), 600).status,
              status::access_denied);
    EXPECT_EQ(transmit_apdu(*device, channel, 84, Bytes{1, 1, 0}, 600).status, status::access_denied);
}

}  // namespace
}  // namespace vlrp11::sim
