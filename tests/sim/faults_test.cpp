// Faults injected into the device core, each seen from the host side.

#include "sim_test_support.h"

namespace vlrp11::sim::test {
namespace {

class Faults : public ::testing::Test {
protected:
    Faults()
    {
        token = create_device(dir, make_profile(DeviceKind::token));
        channel = open_session(*token);
    }
    TempDir dir;
    std::unique_ptr<Device> token;
    ClientChannel channel;
};

TEST_F(Faults, BusyTimesThenTheCommandRuns)
{
    token->faults().answer_busy(3, 16);
    EXPECT_EQ(transmit_apdu(*token, channel, 48, Bytes{4}, 4).status, status::ok);  // other codes unaffected
    for (int i = 0; i < 3; ++i) {
        ClientReply reply = transmit_apdu(*token, channel, 16, {}, 32);
        EXPECT_EQ(reply.status, status::busy);
        EXPECT_TRUE(reply.data.empty());
    }
    EXPECT_EQ(transmit_apdu(*token, channel, 16, {}, 32).status, status::ok);
}

TEST_F(Faults, BusyAnswersKeepTheKeystreamInStep)
{
    ASSERT_EQ(login(*token, channel, login_user, user_pin), status::ok);
    token->faults().answer_busy(2);
    Bytes request = {9};
    EXPECT_EQ(transmit_apdu(*token, channel, 48, request, 9).status, status::busy);
    EXPECT_EQ(transmit_apdu(*token, channel, 48, request, 9).status, status::busy);
    ClientReply reply = transmit_apdu(*token, channel, 48, request, 9);
    EXPECT_EQ(reply.status, status::ok);
    EXPECT_EQ(reply.data.size(), 9u);
}

TEST_F(Faults, StatusOnceWithoutRunningTheCommand)
{
    const std::uint8_t injected = vlrp11::CONNECTION_LOST;
    token->faults().answer_status_once(injected);
    EXPECT_EQ(login(*token, channel, login_user, "0000"), injected);
    EXPECT_EQ(device_info(*token, channel).at(11), 0);  // the login did not run
    EXPECT_EQ(login(*token, channel, login_user, user_pin), status::ok);
}

TEST_F(Faults, OneReplyMacBitCorruptedOnce)
{
    token->faults().corrupt_reply_mac_once(48);
    EXPECT_EQ(transmit_apdu(*token, channel, 16, {}, 32).status, status::ok);
    Bytes response = token->transmit(channel.build_apdu(48, Bytes{4}, 4));
    ClientChannel copy = channel;
    EXPECT_EQ(copy.parse_apdu_response(response).status, vlrp11::TRANSPORT_BAD_MAC);
    response[0] ^= 0x01;
    EXPECT_EQ(channel.parse_apdu_response(response).status, status::ok);  // exactly one bit was flipped
    EXPECT_EQ(transmit_apdu(*token, channel, 48, Bytes{4}, 4).status, status::ok);
}

TEST_F(Faults, CorruptedMacOverTcp)
{
    TempDir other;
    auto hsm = create_device(other, make_profile(DeviceKind::network_hsm));
    auto session = hsm->open_tcp_session();
    ClientChannel tcp;
    hsm->faults().corrupt_reply_mac_once();
    EXPECT_EQ(transmit_tcp(*session, tcp, 16, {}).status, vlrp11::TRANSPORT_BAD_MAC);
    EXPECT_EQ(transmit_tcp(*session, tcp, 16, {}).status, status::ok);
}

TEST_F(Faults, ClearDisarmsEverything)
{
    token->faults().answer_busy(5);
    token->faults().answer_status_once(99);
    token->faults().corrupt_reply_mac_once();
    token->faults().clear();
    EXPECT_EQ(transmit_apdu(*token, channel, 16, {}, 32).status, status::ok);
}

}  // namespace
}  // namespace vlrp11::sim::test
