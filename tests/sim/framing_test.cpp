// APDU and TCP frames byte for byte, as the device receives and answers them.

#include "sim_test_support.h"

namespace vlrp11::sim::test {
namespace {

class Framing : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Device> token = create_device(dir, make_profile(DeviceKind::token));
};

TEST_F(Framing, BareCommandIsTwelveBytesAndTheStatusOnlyReplyEight)
{
    ChannelKeys keys;
    Bytes apdu = {0xFF, 42, 0x00, 0x00, 0x06};
    std::array<std::uint8_t, 6> mac = channel_mac(keys, apdu);
    apdu.insert(apdu.end(), mac.begin(), mac.end());
    apdu.push_back(0x06);
    ClientChannel channel;
    EXPECT_EQ(channel.build_apdu(42, {}, 0), apdu);

    // Logout on the basic channel is refused: the reply is MAC, SW1, SW2 only.
    Bytes response = token->transmit(apdu);
    ASSERT_EQ(response.size(), 8u);
    EXPECT_EQ(response[7], status::no_channel);
    std::array<std::uint8_t, 6> reply_mac = channel_mac(keys, std::span(response).subspan(6));
    EXPECT_TRUE(std::equal(reply_mac.begin(), reply_mac.end(), response.begin()));
}

TEST_F(Framing, DeviceInformationOnTheBasicChannel)
{
    ClientChannel channel;
    Bytes apdu = channel.build_apdu(16, {}, 32);
    EXPECT_EQ(apdu.size(), 12u);
    EXPECT_EQ(apdu.back(), 32 + 6);
    ClientReply reply = channel.parse_apdu_response(token->transmit(apdu));
    ASSERT_EQ(reply.status, status::ok);
    ASSERT_EQ(reply.data.size(), 32u);
    const Bytes expected_head = {0x40, 0xE2, 0x01, 0x00,  // serial 123456
                                 0xD0, 0x07, 0x00, 0x00,  // model 2000
                                 7, 64, 10, 0};
    EXPECT_EQ(Bytes(reply.data.begin(), reply.data.begin() + 12), expected_head);
}

struct FormCase {
    std::size_t request_length;
    std::size_t capacity;
    bool extended;
    std::uint8_t expected_le_low;
};

class ApduForm : public Framing, public ::testing::WithParamInterface<FormCase> {};

TEST_P(ApduForm, ShortOrExtendedByLengths)
{
    const FormCase& form = GetParam();
    ClientChannel channel = open_session(*token);
    Bytes request(form.request_length, 0x5A);
    Bytes apdu = channel.build_apdu(48, request, form.capacity);
    if (form.extended) {
        EXPECT_EQ(apdu.size(), form.request_length + 15);
        EXPECT_EQ(apdu[4], 0);
        EXPECT_EQ(apdu[5] << 8 | apdu[6], static_cast<int>(form.request_length + 6));
    } else {
        EXPECT_EQ(apdu.size(), form.request_length + 12);
        EXPECT_EQ(apdu[4], form.request_length + 6);
    }
    EXPECT_EQ(apdu.back(), form.expected_le_low);
    // The device parses both forms: a random request with a wrong length is refused as such.
    ClientReply reply = channel.parse_apdu_response(token->transmit(apdu));
    EXPECT_EQ(reply.status, form.request_length == 1 ? status::ok : status::bad_length);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, ApduForm,
                         ::testing::Values(FormCase{249, 250, false, 0x00},
                                           FormCase{250, 250, true, 0x00},
                                           FormCase{249, 251, true, 0x01},
                                           FormCase{1, 224, false, 230},
                                           FormCase{1, 2048, true, 0x06},
                                           FormCase{2049, 0, true, 6}));

TEST_F(Framing, RandomBytesFillTheAnnouncedCountInBothForms)
{
    ClientChannel channel = open_session(*token);
    for (std::uint8_t count : {std::uint8_t{1}, std::uint8_t{224}, std::uint8_t{0}}) {
        std::size_t wanted = count == 0 ? 256 : count;
        ClientReply reply = transmit_apdu(*token, channel, 48, Bytes{count}, wanted);
        EXPECT_EQ(reply.status, status::ok);
        EXPECT_EQ(reply.data.size(), wanted);
    }
}

TEST_F(Framing, ReplyLongerThanTheCapacityIsRefused)
{
    ClientChannel channel = open_session(*token);
    ClientReply reply = transmit_apdu(*token, channel, 48, Bytes{20}, 19);
    EXPECT_EQ(reply.status, status::reply_too_long);
    EXPECT_TRUE(reply.data.empty());
}

TEST_F(Framing, RequestWithOneMacBitWrongIsRefused)
{
    ClientChannel channel = open_session(*token);
    Bytes apdu = channel.build_apdu(48, Bytes{8}, 8);
    apdu[apdu.size() - 7] ^= 0x80;
    ClientReply reply = channel.parse_apdu_response(token->transmit(apdu));
    EXPECT_EQ(reply.status, status::bad_mac);
    EXPECT_TRUE(reply.data.empty());
    // The channel goes on working.
    EXPECT_EQ(transmit_apdu(*token, channel, 48, Bytes{8}, 8).status, status::ok);
}

TEST_F(Framing, MalformedApdusGetAnEightByteRefusal)
{
    ClientChannel channel;
    Bytes good = channel.build_apdu(16, {}, 32);
    auto changed = [&](std::size_t index, std::uint8_t value) {
        Bytes apdu = good;
        apdu.at(index) = value;
        return apdu;
    };
    Bytes longer = good;
    longer.push_back(0);
    std::vector<Bytes> damaged = {
        {},
        Bytes(good.begin(), good.end() - 1),  // Le missing
        changed(0, 0x80),                     // class byte
        changed(4, 5),                        // Lc below the MAC length
        changed(good.size() - 1, 3),          // Le below the MAC length
        longer,
    };
    for (const Bytes& apdu : damaged) {
        Bytes response = token->transmit(apdu);
        ASSERT_EQ(response.size(), 8u);
        EXPECT_EQ(response[7], status::bad_length);
    }
}

TEST_F(Framing, UnknownChannelIsRefused)
{
    ClientChannel channel;
    channel.channel = 0x0203;
    EXPECT_EQ(transmit_apdu(*token, channel, 16, {}, 32).status, status::no_channel);
}

TEST_F(Framing, ChannelNumberTravelsLowByteFirst)
{
    ClientChannel channel = open_session(*token);
    ClientChannel second = open_session(*token);
    EXPECT_EQ(second.channel, channel.channel + 1);
    Bytes apdu = second.build_apdu(16, {}, 32);
    EXPECT_EQ(apdu[2], second.channel & 0xFF);
    EXPECT_EQ(apdu[3], second.channel >> 8);
}

class TcpFraming : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Device> hsm = create_device(dir, make_profile(DeviceKind::network_hsm));
    std::unique_ptr<TcpSession> session = hsm->open_tcp_session();
    ClientChannel channel;
};

TEST_F(TcpFraming, RequestAndReplyLayouts)
{
    Bytes frame = channel.build_tcp_frame(16, {});
    ASSERT_EQ(frame.size(), 7u);
    EXPECT_EQ(frame[0], 16);
    ChannelKeys keys;
    std::array<std::uint8_t, 6> mac = channel_mac(keys, Bytes{16});
    EXPECT_TRUE(std::equal(mac.begin(), mac.end(), frame.begin() + 1));

    Bytes reply = session->receive(frame);
    ASSERT_EQ(reply.size(), 1u + 32 + 6);
    EXPECT_EQ(reply[0], 0);
    std::array<std::uint8_t, 6> reply_mac = channel_mac(keys, std::span(reply).first(33));
    EXPECT_TRUE(std::equal(reply_mac.begin(), reply_mac.end(), reply.end() - 6));
}

TEST_F(TcpFraming, RequestSplitAcrossReceivesIsAnsweredOnceWhole)
{
    Bytes frame = channel.build_tcp_frame(48, Bytes{100});
    EXPECT_TRUE(session->receive(std::span(frame).first(3)).empty());
    EXPECT_TRUE(session->pending());
    ClientReply reply = channel.parse_tcp_reply(session->receive(std::span(frame).subspan(3)));
    EXPECT_EQ(reply.status, status::ok);
    EXPECT_EQ(reply.data.size(), 100u);
    EXPECT_FALSE(session->pending());
}

TEST_F(TcpFraming, DamagedFrameIsAnsweredWhenThePeerFallsQuiet)
{
    Bytes frame = channel.build_tcp_frame(16, {});
    frame.back() ^= 0x01;
    EXPECT_TRUE(session->receive(frame).empty());
    ClientReply reply = channel.parse_tcp_reply(session->flush());
    EXPECT_EQ(reply.status, status::bad_mac);
    EXPECT_TRUE(session->flush().empty());
    EXPECT_FALSE(session->closed());
    EXPECT_EQ(transmit_tcp(*session, channel, 16, {}).status, status::ok);
}

TEST_F(TcpFraming, EndlessGarbageClosesTheConnection)
{
    Bytes garbage(3000, 0x33);
    Bytes reply = session->receive(garbage);
    EXPECT_EQ(reply.size(), 7u);
    EXPECT_TRUE(session->closed());
}

TEST_F(TcpFraming, ChannelCommandsBelongToThePcscKinds)
{
    EXPECT_EQ(transmit_tcp(*session, channel, 32, {}).status, status::unknown_command);
    EXPECT_EQ(transmit_tcp(*session, channel, 166, {}).status, status::unknown_command);
    EXPECT_TRUE(hsm->atr().empty());
}

TEST(Atr, TwentyBytesWithVersionDigitsAndCheckByte)
{
    TempDir dir;
    DeviceProfile profile = make_profile(DeviceKind::pcsc_hsm);
    profile.firmware_minor = 4;
    profile.atr_digit = 2;
    profile.serial = 1234567;
    auto hsm = create_device(dir, profile);
    Bytes atr = hsm->atr();
    const Bytes expected = {0x3B, 0x8F, 0x11, 0x81, 0x00, 'V', 'T', 'K', 'W', 'H',
                            '7',  '4',  '2',  '2',  '3',  '4', '5', '6', '7'};
    ASSERT_EQ(atr.size(), 20u);
    EXPECT_EQ(Bytes(atr.begin(), atr.end() - 1), expected);
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < atr.size(); ++i) {
        check ^= atr[i];
    }
    EXPECT_EQ(check, 0);
}

}  // namespace
}  // namespace vlrp11::sim::test
