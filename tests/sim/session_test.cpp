// Channels, the key exchange, and the key changes at login and logout.

#include <thread>

#include "sim_test_support.h"

namespace vlrp11::sim::test {
namespace {

// A closed channel has no keys left to MAC with: the refusal comes under the all-0xFF key, which
// the host sees as a MAC failure unless it reads the status byte itself.
std::uint8_t raw_status(Device& device, ClientChannel channel, std::uint8_t code)
{
    return device.transmit(channel.build_apdu(code, {}, 32)).back();
}

TEST(Channels, NumbersRunFromOneAndTheLastFreeOneIsFollowedBy44)
{
    TempDir dir;
    auto token = create_device(dir, make_profile(DeviceKind::token));
    ClientChannel basic;
    for (int expected = 1; expected <= 4; ++expected) {
        ClientReply reply = transmit_apdu(*token, basic, 32, {}, 2);
        ASSERT_EQ(reply.status, status::ok);
        EXPECT_EQ(reply.data, (Bytes{static_cast<std::uint8_t>(expected), 0}));
    }
    EXPECT_EQ(transmit_apdu(*token, basic, 32, {}, 2).status, status::no_free_channel);

    ClientReply reset = transmit_apdu(*token, basic, 166, {}, 2);
    EXPECT_EQ(reset.status, status::ok);
    EXPECT_EQ(reset.data, (Bytes{4, 0}));
    EXPECT_EQ(transmit_apdu(*token, basic, 32, {}, 2).data, (Bytes{1, 0}));
}

TEST(Channels, ClosedChannelIsGoneAndItsNumberReused)
{
    TempDir dir;
    auto token = create_device(dir, make_profile(DeviceKind::token));
    ClientChannel first = open_session(*token);
    ClientChannel second = open_session(*token);
    EXPECT_EQ(transmit_apdu(*token, first, 36, {}, 0).status, status::ok);
    EXPECT_EQ(raw_status(*token, first, 16), status::no_channel);
    EXPECT_EQ(transmit_apdu(*token, second, 16, {}, 32).status, status::ok);
    EXPECT_EQ(open_session(*token).channel, first.channel);
}

TEST(Channels, ResetOfTheCardClosesEveryChannel)
{
    TempDir dir;
    auto hsm = create_device(dir, make_profile(DeviceKind::pcsc_hsm));
    ClientChannel channel = open_session(*hsm);
    ASSERT_EQ(login(*hsm, channel, login_user, user_pin), status::ok);
    hsm->reset();
    EXPECT_EQ(raw_status(*hsm, channel, 16), status::no_channel);
}

TEST(Channels, BasicChannelAnswersOnlyTheConnectCommands)
{
    TempDir dir;
    auto token = create_device(dir, make_profile(DeviceKind::token));
    ClientChannel basic;
    for (std::uint8_t code : {36, 38, 42, 240, 18}) {
        EXPECT_EQ(transmit_apdu(*token, basic, code, {}, 32).status, status::no_channel) << int{code};
    }
}

TEST(KeyExchange, CertificateNamesTheDeviceAndIsSignedByTheRootKey)
{
    TempDir dir;
    auto hsm = create_device(dir, make_profile(DeviceKind::pcsc_hsm));
    ClientChannel channel;
    channel.channel = transmit_apdu(*hsm, channel, 32, {}, 2).data.at(0);
    ClientKeyExchange exchange;
    ASSERT_TRUE(start_key_exchange(exchange));
    ClientReply reply = transmit_apdu(*hsm, channel, 240, exchange.request, 268);
    ASSERT_EQ(reply.status, status::ok);
    ASSERT_EQ(reply.data.size(), 268u);
    const Bytes certificate_head = {0x40, 0xE2, 0x01, 0x00, 2, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(Bytes(reply.data.begin() + 128, reply.data.begin() + 140), certificate_head);

    // The reply MAC was made under the old key; the first command after it uses the new one.
    ClientChannel copy = channel;
    EXPECT_EQ(finish_key_exchange(exchange, reply.data, 123456, 3, copy), vlrp11::CERTIFICATE_INVALID);
    EXPECT_EQ(finish_key_exchange(exchange, reply.data, 123457, 2, copy), vlrp11::CERTIFICATE_INVALID);
    Bytes forged = reply.data;
    forged[10] ^= 1;  // device ephemeral key no longer matches the device signature
    EXPECT_EQ(finish_key_exchange(exchange, forged, 123456, 2, copy), vlrp11::DEVICE_SIGNATURE_INVALID);
    ASSERT_EQ(finish_key_exchange(exchange, reply.data, 123456, 2, channel), vlrp11::DEVICE_OK);
    EXPECT_EQ(transmit_apdu(*hsm, channel, 16, {}, 32).status, status::ok);
    ClientChannel stale = channel;
    stale.keys = ChannelKeys{};
    EXPECT_EQ(transmit_apdu(*hsm, stale, 16, {}, 32).status, vlrp11::TRANSPORT_BAD_MAC);
}

TEST(KeyExchange, PointOffTheCurveIsRefused)
{
    TempDir dir;
    auto token = create_device(dir, make_profile(DeviceKind::token));
    ClientChannel channel;
    channel.channel = transmit_apdu(*token, channel, 32, {}, 2).data.at(0);
    Bytes request(80, 0x11);
    EXPECT_EQ(transmit_apdu(*token, channel, 240, request, 268).status, status::bad_argument);
    EXPECT_EQ(transmit_apdu(*token, channel, 240, Bytes(79, 0), 268).status, status::bad_length);
}

TEST(KeyExchange, OldTokensHaveNoneAndKeepTheDefaultKeyUntilLogin)
{
    TempDir dir;
    DeviceProfile profile = make_profile(DeviceKind::token);
    profile.version = 6;
    auto token = create_device(dir, profile);
    ClientChannel channel = open_session(*token);  // no key exchange at version 6
    EXPECT_EQ(channel.keys.key, ChannelKeys{}.key);
    ClientKeyExchange exchange;
    ASSERT_TRUE(start_key_exchange(exchange));
    EXPECT_EQ(transmit_apdu(*token, channel, 240, exchange.request, 268).status,
              status::unknown_command);
    ASSERT_EQ(login(*token, channel, login_user, user_pin), status::ok);
    EXPECT_EQ(transmit_apdu(*token, channel, 48, Bytes{16}, 16).status, status::ok);
}

// After login the first encrypted byte uses the encryption of the counter received at login, and
// the keystream runs on from request to reply and from one command to the next.
TEST(Login, KeyChangeAndOneKeystreamAcrossRequestAndReply)
{
    TempDir dir;
    auto token = create_device(dir, make_profile(DeviceKind::token));
    ClientChannel channel = open_session(*token);
    ClientReply reply = transmit_apdu(*token, channel, 38, login_request(user_pin, false, 0), 32);
    ASSERT_EQ(reply.status, status::ok);
    ASSERT_EQ(reply.data.size(), 32u);
    apply_login_reply(user_pin, reply.data, login_user, channel);

    ChannelKeys before = channel.keys;
    Bytes apdu = channel.build_apdu(48, Bytes{5}, 5);
    std::array<std::uint8_t, 16> first_block;
    aes128_encrypt_block(before.key, before.counter, first_block);
    EXPECT_EQ(apdu[5], 5 ^ first_block[0]);
    ClientReply random = channel.parse_apdu_response(token->transmit(apdu));
    EXPECT_EQ(random.status, status::ok);
    EXPECT_EQ(random.data.size(), 5u);
    EXPECT_EQ(channel.keys.keystream_pos, 6u);
    for (int i = 0; i < 5; ++i) {  // 6 + 5 * (1 + 7) bytes: crosses block boundaries mid-command
        EXPECT_EQ(transmit_apdu(*token, channel, 48, Bytes{7}, 7).status, status::ok);
    }
}

TEST(Login, WrongStateAndWrongLengthsAreRefused)
{
    TempDir dir;
    auto token = create_device(dir, make_profile(DeviceKind::token));
    ClientChannel channel = open_session(*token);
    EXPECT_EQ(transmit_apdu(*token, channel, 38, Bytes(15, 0), 32).status, status::bad_length);
    EXPECT_EQ(transmit_apdu(*token, channel, 38, login_request(user_pin, true, 0), 32).status,
              status::bad_length);  // a token's login names no partition
    EXPECT_EQ(transmit_apdu(*token, channel, 39, login_request(user_pin, false, 0), 32).status,
              status::unknown_command);  // no read-only user on a token
    ASSERT_EQ(login(*token, channel, login_user, user_pin), status::ok);
    EXPECT_EQ(transmit_apdu(*token, channel, 40, login_request(so_pin, false, 0), 32).status,
              status::wrong_state);
}

struct LogoutCase {
    DeviceKind kind;
    std::uint8_t atr_digit;
    bool key_returns_to_default;
};

class Logout : public ::testing::TestWithParam<LogoutCase> {};

TEST_P(Logout, EndsEncryptionAndResetsTheKeyOnlyOnTokensWithAtrDigitZero)
{
    const LogoutCase& param = GetParam();
    TempDir dir;
    DeviceProfile profile = make_profile(param.kind);
    profile.atr_digit = param.atr_digit;
    auto device = create_device(dir, profile);
    ClientChannel channel = open_session(*device);
    ASSERT_EQ(login(*device, channel, login_user, user_pin), status::ok);
    EXPECT_EQ(transmit_apdu(*device, channel, 42, {}, 0).status, status::ok);
    channel.login_state = -1;
    if (param.key_returns_to_default) {
        channel.keys.reset_to_default();
    }
    EXPECT_EQ(transmit_apdu(*device, channel, 16, {}, 32).status, status::ok);  // clear and MAC in step
    EXPECT_EQ(transmit_apdu(*device, channel, 42, {}, 0).status, status::ok);   // nobody left: no change
    ASSERT_EQ(login(*device, channel, login_user, user_pin), status::ok);
    EXPECT_EQ(transmit_apdu(*device, channel, 48, Bytes{3}, 3).status, status::ok);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Logout,
                         ::testing::Values(LogoutCase{DeviceKind::token, 0, true},
                                           LogoutCase{DeviceKind::token, 1, false},
                                           LogoutCase{DeviceKind::pcsc_hsm, 0, false}));

TEST(Partitions, UserLoginNamesThePartitionAndDeviceInformationFollowsIt)
{
    TempDir dir;
    auto hsm = create_device(dir, make_profile(DeviceKind::pcsc_hsm));
    ClientChannel channel = open_session(*hsm);
    EXPECT_EQ(login(*hsm, channel, login_user, "0000", true, 2), status::wrong_pin);
    Bytes info = device_info(*hsm, channel);
    EXPECT_EQ(info.at(11), 1);  // partition 2's counter
    EXPECT_EQ(info.at(15), 2);
    EXPECT_EQ(login(*hsm, channel, login_user, user_pin, true, 4), status::bad_argument);
    ASSERT_EQ(login(*hsm, channel, login_user_ro, user_pin, true, 2), status::ok);
    EXPECT_EQ(device_info(*hsm, channel).at(11), 0);

    ClientChannel other = open_session(*hsm);
    EXPECT_EQ(device_info(*hsm, other).at(15), 0);  // a new channel starts on partition 0
}

TEST(NetworkHsm, EachConnectionHasItsOwnChannelAndCloseKeepsTheKeys)
{
    TempDir dir;
    auto hsm = create_device(dir, make_profile(DeviceKind::network_hsm));
    auto first = hsm->open_tcp_session();
    auto second = hsm->open_tcp_session();
    ClientChannel a;
    ClientChannel b;
    for (auto [session, channel] : {std::pair{first.get(), &a}, std::pair{second.get(), &b}}) {
        ClientKeyExchange exchange;
        ASSERT_TRUE(start_key_exchange(exchange));
        ClientReply reply = transmit_tcp(*session, *channel, 240, exchange.request);
        ASSERT_EQ(finish_key_exchange(exchange, reply.data, 123456, 3, *channel), vlrp11::DEVICE_OK);
    }
    EXPECT_NE(a.keys.key, b.keys.key);
    Bytes request = login_request(user_pin, true, 3);
    ClientReply reply = transmit_tcp(*first, a, 38, request);
    ASSERT_EQ(reply.status, status::ok);
    apply_login_reply(user_pin, reply.data, login_user, a);
    // The code byte itself travels encrypted; the reply status does not.
    Bytes frame = a.build_tcp_frame(16, {});
    EXPECT_NE(frame[0], 16);
    ClientReply info = a.parse_tcp_reply(first->receive(frame));
    ASSERT_EQ(info.status, status::ok);
    EXPECT_EQ(info.data.at(15), 3);
    EXPECT_EQ(transmit_tcp(*second, b, 16, {}).data.at(15), 0);

    EXPECT_EQ(transmit_tcp(*first, a, 36, {}).status, status::ok);
    a.login_state = -1;
    EXPECT_EQ(transmit_tcp(*first, a, 16, {}).status, status::ok);
}


// A network HSM runs the key exchange at every session opening, also while a user is logged in:
// the exchange itself travels encrypted and the login survives it.
TEST(NetworkHsm, KeyExchangeWhileLoggedInKeepsTheLogin)
{
    TempDir dir;
    auto hsm = create_device(dir, make_profile(DeviceKind::network_hsm));
    auto session = hsm->open_tcp_session();
    ClientChannel channel;
    ClientReply reply = transmit_tcp(*session, channel, 38, login_request(user_pin, true, 1));
    ASSERT_EQ(reply.status, status::ok);
    apply_login_reply(user_pin, reply.data, login_user, channel);
    ClientKeyExchange exchange;
    ASSERT_TRUE(start_key_exchange(exchange));
    ClientReply exchanged = transmit_tcp(*session, channel, 240, exchange.request);
    ASSERT_EQ(exchanged.status, status::ok);
    ASSERT_EQ(finish_key_exchange(exchange, exchanged.data, 123456, 3, channel), vlrp11::DEVICE_OK);
    ClientReply info = transmit_tcp(*session, channel, 16, {});
    ASSERT_EQ(info.status, status::ok);
    EXPECT_EQ(info.data.at(16), login_user);
    EXPECT_EQ(info.data.at(15), 1);
}


TEST(Channels, HostsOnSeveralThreadsKeepTheirChannelsApart)
{
    TempDir dir;
    auto hsm = create_device(dir, make_profile(DeviceKind::pcsc_hsm));
    std::vector<ClientChannel> channels;
    for (std::uint32_t i = 0; i < 4; ++i) {
        channels.push_back(open_session(*hsm));
        ASSERT_EQ(login(*hsm, channels.back(), login_user, user_pin, true, i), status::ok);
    }
    std::vector<int> failures(channels.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        threads.emplace_back([&, i] {
            for (int n = 0; n < 200; ++n) {
                failures[i] += transmit_apdu(*hsm, channels[i], 48, Bytes{17}, 17).status != status::ok;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(channels.size(), 0));
}

}  // namespace
}  // namespace vlrp11::sim::test
