#include "crypto/aes.h"
#include "device/command_codes.h"
#include "device/device_commands.h"
#include "device/device_connection.h"
#include "device/pin_derivation.h"
#include "device/secure_channel.h"
#include "support/scripted_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace vlrp11::testing {
namespace {

using DeviceCommandsTest = ScriptedDeviceTest;

Bytes derived(const char* pin, std::size_t length)
{
    Bytes ab(32);
    derive_pin(reinterpret_cast<const std::uint8_t*>(pin), length, ab.data(), ab.data() + 16);
    return ab;
}

Bytes aes_block(const std::uint8_t* key, const std::uint8_t* in)
{
    AesKey schedule;
    aes_set_key(schedule, key, 128);
    Bytes out(16);
    aes_encrypt_block(schedule, in, out.data());
    return out;
}

TEST(PinDerivation, HashesExactlyTheGivenBytes)
{
    EXPECT_NE(derived("1234", 4), derived("1234", 5));  // the same text with its trailing NUL
    EXPECT_EQ(derived("1234", 4), derived("12345", 4));
    EXPECT_NE(derived("", 0), Bytes(32, 0));
}

TEST_F(DeviceCommandsTest, LoginRequestsPerKindAndType)
{
    const char pin[] = "123456";
    Bytes ab = derived(pin, 6);
    Bytes expected_block = aes_block(ab.data() + 16, ab.data());

    struct Case {
        DeviceKind kind;
        int type;
        std::uint8_t code;
        Bytes suffix;
    };
    const Case cases[] = {
        {DEVICE_TOKEN, 1, CMD_LOGIN_USER, {}},
        {DEVICE_TOKEN, 0, CMD_LOGIN_SO, {}},
        {DEVICE_NETWORK_HSM, 1, CMD_LOGIN_USER, {3, 0, 0, 0}},
        {DEVICE_NETWORK_HSM, 2, CMD_LOGIN_USER_RO, {3, 0, 0, 0}},
        {DEVICE_NETWORK_HSM, 0, CMD_LOGIN_SO, {}},
        {DEVICE_PCSC_HSM, 1, CMD_LOGIN_USER, {3, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        record.sent.clear();
        DeviceConnection device = connection(c.kind);
        device.instance = 3;
        record.answers = {{DEVICE_OK, Bytes(32, 0x44)}};
        if (c.kind == DEVICE_TOKEN)
            record.answers.push_front({DEVICE_OK, {}});  // the time comes first
        ASSERT_EQ(login(device, c.type, reinterpret_cast<const std::uint8_t*>(pin), 6), DEVICE_OK);
        const Sent& command = record.sent.back();
        EXPECT_EQ(command.code, c.code);
        Bytes expected = expected_block;
        for (std::uint8_t b : c.suffix)
            expected.push_back(b);
        EXPECT_EQ(command.request, expected) << c.kind << "/" << c.type;
        EXPECT_EQ(device.login_state, c.type);
        // Only tokens with a clock get the time first.
        EXPECT_EQ(record.sent.size(), c.kind == DEVICE_TOKEN ? 2u : 1u);
    }
}

TEST_F(DeviceCommandsTest, LoginInstallsTheKeyAndCounterFromTheReply)
{
    const char pin[] = "0000";
    Bytes ab = derived(pin, 4);
    Bytes reply(32);
    for (int i = 0; i < 32; ++i)
        reply[i] = static_cast<std::uint8_t>(200 - i);
    DeviceConnection device = connection(DEVICE_PCSC_HSM);
    device.keystream_pos = 5;
    record.answers = {{DEVICE_OK, reply}};
    ASSERT_EQ(login(device, 1, reinterpret_cast<const std::uint8_t*>(pin), 4), DEVICE_OK);

    Bytes key = aes_block(ab.data(), reply.data());
    Bytes counter = aes_block(ab.data(), reply.data() + 16);
    EXPECT_EQ(Bytes(device.counter, device.counter + 16), counter);
    EXPECT_EQ(device.keystream_pos, 0u);
    // The first payload byte is XORed with E_key(counter).
    Bytes keystream = aes_block(key.data(), counter.data());
    std::uint8_t zero = 0, out = 0;
    channel_crypt(device, &zero, 1, &out);
    EXPECT_EQ(out, keystream[0]);
}

TEST_F(DeviceCommandsTest, LoginRefusalsLeaveTheStateAlone)
{
    const std::uint8_t pin[] = {'9', '9', '9', '9'};
    DeviceConnection token = connection(DEVICE_TOKEN);
    EXPECT_EQ(login(token, 2, pin, 4), LOGIN_TYPE_NOT_ALLOWED);
    EXPECT_EQ(login(token, 3, pin, 4), LOGIN_TYPE_NOT_ALLOWED);
    EXPECT_TRUE(record.sent.empty());

    DeviceConnection hsm = connection(DEVICE_NETWORK_HSM);
    std::memset(hsm.counter, 0x11, 16);
    record.answers = {{PIN_WRONG, {}}, {DEVICE_OK, Bytes(31)}};
    EXPECT_EQ(login(hsm, 1, pin, 4), PIN_WRONG);
    EXPECT_EQ(login(hsm, 1, pin, 4), REPLY_LENGTH_WRONG);
    EXPECT_EQ(hsm.login_state, LOGGED_OUT);
    EXPECT_EQ(Bytes(hsm.counter, hsm.counter + 16), Bytes(16, 0x11));
}

TEST_F(DeviceCommandsTest, LogoutRules)
{
    DeviceConnection idle = connection(DEVICE_TOKEN);
    EXPECT_EQ(logout(idle), DEVICE_OK);
    EXPECT_TRUE(record.sent.empty());

    std::uint8_t key[16] = {7};
    std::uint8_t probe[16] = {};
    for (std::int32_t digit : {0, 1}) {
        DeviceConnection token = connection(DEVICE_TOKEN);
        token.atr_digit = digit;
        set_channel_key(token, key);
        token.login_state = LOGGED_IN_USER;
        EXPECT_EQ(logout(token), DEVICE_OK);
        EXPECT_EQ(record.sent.back().code, CMD_LOGOUT);
        EXPECT_EQ(token.login_state, LOGGED_OUT);
        // A token whose ATR digit is 0 goes back to the all-0xFF key.
        std::uint8_t ff[16];
        std::memset(ff, 0xFF, 16);
        Bytes expected = aes_block(digit == 0 ? ff : key, probe);
        Bytes actual(16);
        aes_encrypt_block(token.channel_cipher, probe, actual.data());
        EXPECT_EQ(actual, expected) << digit;
    }

    DeviceConnection failing = connection(DEVICE_NETWORK_HSM);
    failing.login_state = LOGGED_IN_SO;
    record.answers = {{CONNECTION_LOST, {}}};
    EXPECT_EQ(logout(failing), CONNECTION_LOST);
    EXPECT_EQ(failing.login_state, LOGGED_IN_SO);
}

TEST_F(DeviceCommandsTest, TimeIsSentToTokensWithAClockOnly)
{
    DeviceConnection token = connection(DEVICE_TOKEN, 7);
    set_time_at(token, DEVICE_EPOCH_UNIX + 10);
    ASSERT_EQ(record.sent.size(), 1u);
    EXPECT_EQ(record.sent[0].code, CMD_SET_TIME);
    EXPECT_EQ(record.sent[0].request, (Bytes{0x0A, 0, 0, 0}));

    DeviceConnection old_token = connection(DEVICE_TOKEN, 6);
    DeviceConnection hsm = connection(DEVICE_PCSC_HSM, 9);
    set_time(old_token);
    set_time(hsm);
    EXPECT_EQ(record.sent.size(), 1u);

    // The device's answer to the time never matters.
    record.answers = {{0x6F, {}}};  // any status at all
    set_time(token);
    EXPECT_EQ(record.sent.size(), 2u);
}

TEST_F(DeviceCommandsTest, PinCommandsCarryTheDerivedValues)
{
    const std::uint8_t pin[] = {'4', '3', '2', '1'};
    Bytes ab = derived("4321", 4);
    DeviceConnection token = connection(DEVICE_TOKEN);
    EXPECT_EQ(init_pin(token, pin, 4), DEVICE_OK);
    record.answers = {{DEVICE_OK, {}}, {PIN_BLOCKED, {}}};
    EXPECT_EQ(change_pin(token, pin, 4), PIN_BLOCKED);
    ASSERT_EQ(record.sent.size(), 4u);
    EXPECT_EQ(record.sent[0].code, CMD_SET_TIME);
    EXPECT_EQ(record.sent[1].code, CMD_INIT_PIN);
    EXPECT_EQ(record.sent[1].request, ab);
    EXPECT_EQ(record.sent[3].code, CMD_CHANGE_PIN);
    EXPECT_EQ(record.sent[3].request, ab);
}

TEST_F(DeviceCommandsTest, OpenChannelStoresTheNumber)
{
    DeviceConnection hsm = connection(DEVICE_PCSC_HSM);
    record.answers = {{DEVICE_OK, {0x34, 0x12}}, {DEVICE_OK, {0x01}}, {NO_FREE_CHANNEL, {}}};
    EXPECT_EQ(open_channel(hsm), DEVICE_OK);
    EXPECT_EQ(hsm.channel, 0x1234);
    EXPECT_EQ(open_channel(hsm), REPLY_LENGTH_WRONG);
    EXPECT_EQ(hsm.channel, 0);
    hsm.channel = 9;
    EXPECT_EQ(open_channel(hsm), NO_FREE_CHANNEL);
    EXPECT_EQ(hsm.channel, 9);
}

TEST_F(DeviceCommandsTest, DeviceInfoWaitsOutBusyAnswers)
{
    DeviceConnection hsm = connection(DEVICE_NETWORK_HSM);
    Bytes info(32, 0x5C);
    record.answers = {{DEVICE_BUSY, {}}, {DEVICE_BUSY, {}}, {DEVICE_BUSY, {}}, {DEVICE_OK, info}};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(wait_device_info(hsm), DEVICE_OK);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(record.sent.size(), 4u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_EQ(Bytes(hsm.device_info, hsm.device_info + 32), info);
}

}  // namespace
}  // namespace vlrp11::testing
