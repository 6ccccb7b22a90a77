// What opening a session asks of the device, in order, and what a failure leaves behind.
#include "device/command_codes.h"
#include "device/session_setup.h"
#include "support/scripted_transport.h"

#include <gtest/gtest.h>

namespace vlrp11::testing {
namespace {

using SessionSetupTest = ScriptedDeviceTest;

const Bytes channel_7 = {0x07, 0x00};
constexpr std::uint32_t refused = 0x6F;  // any device status with no meaning of its own

TEST_F(SessionSetupTest, CommandsInOrder)
{
    struct Case {
        const char* name;
        DeviceKind kind;
        std::uint8_t version;
        std::deque<Answer> answers;
        std::uint32_t expected;
        Bytes codes;
        std::uint16_t channel;
    };
    const Case cases[] = {
        // An old token has no key exchange.
        {"channel", DEVICE_TOKEN, 6, {{DEVICE_OK, channel_7}}, DEVICE_OK, {CMD_OPEN_CHANNEL}, 7},
        {"no free channel, reset, retry", DEVICE_TOKEN, 6,
         {{NO_FREE_CHANNEL, {}}, {DEVICE_OK, {}}, {DEVICE_OK, channel_7}}, DEVICE_OK,
         {CMD_OPEN_CHANNEL, CMD_RESET_CHANNELS, CMD_OPEN_CHANNEL}, 7},
        {"reset refused: no second attempt", DEVICE_TOKEN, 6, {{NO_FREE_CHANNEL, {}}, {refused, {}}}, refused,
         {CMD_OPEN_CHANNEL, CMD_RESET_CHANNELS}, 0},
        {"retried once only", DEVICE_PCSC_HSM, 7, {{NO_FREE_CHANNEL, {}}, {DEVICE_OK, {}}, {NO_FREE_CHANNEL, {}}},
         NO_FREE_CHANNEL, {CMD_OPEN_CHANNEL, CMD_RESET_CHANNELS, CMD_OPEN_CHANNEL}, 0},
        {"channel refused", DEVICE_PCSC_HSM, 7, {{refused, {}}}, refused, {CMD_OPEN_CHANNEL}, 0},
        // The key exchange fails on the device's refusal before any check of a reply.
        {"key exchange refused: channel closed again", DEVICE_PCSC_HSM, 7, {{DEVICE_OK, channel_7}, {refused, {}}},
         refused, {CMD_OPEN_CHANNEL, CMD_KEY_EXCHANGE, CMD_CLOSE_CHANNEL}, 0},
        {"closed again even when the close fails", DEVICE_TOKEN, 7,
         {{DEVICE_OK, channel_7}, {refused, {}}, {refused, {}}}, refused,
         {CMD_OPEN_CHANNEL, CMD_KEY_EXCHANGE, CMD_CLOSE_CHANNEL}, 0},
        {"network HSM: key exchange only", DEVICE_NETWORK_HSM, 7, {{refused, {}}}, refused, {CMD_KEY_EXCHANGE}, 0},
    };
    for (const Case& c : cases) {
        record = Script{};
        record.answers = c.answers;
        DeviceConnection device = connection(c.kind, c.version);
        EXPECT_EQ(set_up_session(device), c.expected) << c.name;
        EXPECT_EQ(record.codes(), c.codes) << c.name;
        EXPECT_EQ(device.channel, c.channel) << c.name;
    }
}

TEST_F(SessionSetupTest, AFailedKeyExchangeIsRepeatedWithANewChannel)
{
    DeviceConnection hsm = connection(DEVICE_PCSC_HSM);
    record.answers = {{DEVICE_OK, channel_7}, {refused, {}}, {DEVICE_OK, {}}, {DEVICE_OK, channel_7}, {refused, {}}};
    EXPECT_EQ(set_up_session(hsm), refused);
    EXPECT_EQ(set_up_session(hsm), refused);
    EXPECT_EQ(record.codes(), (Bytes{CMD_OPEN_CHANNEL, CMD_KEY_EXCHANGE, CMD_CLOSE_CHANNEL, CMD_OPEN_CHANNEL,
                                     CMD_KEY_EXCHANGE, CMD_CLOSE_CHANNEL}));
}

TEST_F(SessionSetupTest, AConnectionWithAChannelIsLeftAlone)
{
    DeviceConnection token = connection(DEVICE_TOKEN);
    token.channel = 3;
    EXPECT_EQ(set_up_session(token), DEVICE_OK);
    EXPECT_TRUE(record.sent.empty());
}

}  // namespace
}  // namespace vlrp11::testing
