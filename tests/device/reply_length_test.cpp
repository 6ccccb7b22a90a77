// A reply longer than the command asked for ends as the command's own length check says, with
// its side effects, through the real PC/SC transport.
#include "support/fake_card.h"

#include "device/ctr_drbg.h"
#include "device/device_commands.h"
#include "device/key_exchange.h"
#include "device/transport.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vlrp11::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ReplyLength, OverLongRepliesEndAsTheCommandsOwnCheck)
{
    const std::uint8_t pin[] = {'1', '2', '3', '4'};
    struct Case {
        const char* name;
        std::size_t reply_length;
        std::function<std::uint32_t(DeviceConnection&)> run;
        std::uint32_t expected;
        std::uint16_t channel_after;
    };
    const Case cases[] = {
        {"open channel", 3, [](DeviceConnection& c) { return open_channel(c); }, REPLY_LENGTH_WRONG, 0},
        {"login", 33, [&](DeviceConnection& c) { return login(c, LOGGED_IN_USER, pin, 4); }, REPLY_LENGTH_WRONG, 5},
        {"key exchange", 269, [](DeviceConnection& c) { return key_exchange(c); }, COMMAND_LENGTH_WRONG, 5},
        // No check of its own: the transport's refusal stands.
        {"device information", 33, [](DeviceConnection& c) { return wait_device_info(c); }, TRANSPORT_LENGTH, 5},
    };
    for (const Case& c : cases) {
        DeviceConnection device = make_pcsc_connection(DEVICE_PCSC_HSM);
        DeviceConnection connection = make_pcsc_connection(DEVICE_PCSC_HSM);
        connection.device_info[DEVICE_INFO_VERSION] = 7;
        connection.channel = 5;
        ASSERT_EQ(drbg_instantiate(connection.random), DEVICE_OK);
        FakeCard card([&](std::span<const std::uint8_t>) {
            return device_response(device, Bytes(c.reply_length, 0x31), DEVICE_OK);
        });
        EXPECT_EQ(c.run(connection), c.expected) << c.name;
        EXPECT_EQ(connection.login_state, LOGGED_OUT) << c.name;
        EXPECT_EQ(connection.channel, c.channel_after) << c.name;
    }
}

TEST(ReplyLength, TheDevicesOwnRefusalComesFirst)
{
    const std::uint8_t refused = 0x6F;
    DeviceConnection device = make_pcsc_connection(DEVICE_PCSC_HSM);
    DeviceConnection connection = make_pcsc_connection(DEVICE_PCSC_HSM);
    connection.channel = 5;
    FakeCard card([&](std::span<const std::uint8_t>) { return device_response(device, Bytes(3, 0x31), refused); });
    EXPECT_EQ(open_channel(connection), refused);
    EXPECT_EQ(connection.channel, 5);
}

}  // namespace
}  // namespace vlrp11::testing
