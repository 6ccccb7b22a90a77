#include "crypto/aes.h"
#include "device/command_codes.h"
#include "device/device_commands.h"
#include "device/device_connection.h"
#include "device/pin_derivation.h"
#include "device/secure_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Sent {
    std::uint8_t code;
    Bytes request;
};

struct Answer {
    std::uint32_t status;
    Bytes reply;
};

// A transport that records every command and answers from a script (default: success, no data).
struct Script {
    std::vector<Sent> sent;
    std::deque<Answer> answers;
};
Script* script = nullptr;

std::uint32_t scripted_transport(DeviceConnection*, std::uint8_t code, const std::uint8_t* request,
                                 std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length)
{
    script->sent.push_back({code, Bytes(request, request + request_length)});
    Answer answer{0, {}};
    if (!script->answers.empty()) {
        answer = script->answers.front();
        script->answers.pop_front();
    }
    if (reply_length != nullptr) {
        *reply_length = static_cast<std::uint32_t>(answer.reply.size());
        if (reply != nullptr && !answer.reply.empty())
            std::memcpy(reply, answer.reply.data(), answer.reply.size());
    }
    return answer.status;
}

class DeviceCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { script = &record; }
    void TearDown() override { script = nullptr; }

    DeviceConnection connection(std::int32_t kind, std::uint8_t version = 7)
    {
        DeviceConnection c{};
        c.kind = kind;
        c.login_state = LOGGED_OUT;
        c.atr_digit = 1;
        c.device_info[DEVICE_INFO_VERSION] = version;
        c.transport = scripted_transport;
        reset_channel_key(c);
        return c;
    }

    Script record;
};

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
        std::int32_t kind;
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
        record.answers = {{0, Bytes(32, 0x44)}};
        if (c.kind == DEVICE_TOKEN)
            record.answers.push_front({0, {}});  // the time comes first
        ASSERT_EQ(login(device, c.type, reinterpret_cast<const std::uint8_t*>(pin), 6), 0u);
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
    record.answers = {{0, reply}};
    ASSERT_EQ(login(device, 1, reinterpret_cast<const std::uint8_t*>(pin), 4), 0u);

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
    record.answers = {{48, {}}, {0, Bytes(31)}};
    EXPECT_EQ(login(hsm, 1, pin, 4), 48u);
    EXPECT_EQ(login(hsm, 1, pin, 4), REPLY_LENGTH_WRONG);
    EXPECT_EQ(hsm.login_state, LOGGED_OUT);
    EXPECT_EQ(Bytes(hsm.counter, hsm.counter + 16), Bytes(16, 0x11));
}

TEST_F(DeviceCommandsTest, LogoutRules)
{
    DeviceConnection idle = connection(DEVICE_TOKEN);
    EXPECT_EQ(logout(idle), 0u);
    EXPECT_TRUE(record.sent.empty());

    std::uint8_t key[16] = {7};
    std::uint8_t probe[16] = {};
    for (std::int32_t digit : {0, 1}) {
        DeviceConnection token = connection(DEVICE_TOKEN);
        token.atr_digit = digit;
        set_channel_key(token, key);
        token.login_state = LOGGED_IN_USER;
        EXPECT_EQ(logout(token), 0u);
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
    record.answers = {{3, {}}};
    EXPECT_EQ(logout(failing), 3u);
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
    record.answers = {{0x6F, {}}};
    set_time(token);
    EXPECT_EQ(record.sent.size(), 2u);
}

TEST_F(DeviceCommandsTest, PinCommandsCarryTheDerivedValues)
{
    const std::uint8_t pin[] = {'4', '3', '2', '1'};
    Bytes ab = derived("4321", 4);
    DeviceConnection token = connection(DEVICE_TOKEN);
    EXPECT_EQ(init_pin(token, pin, 4), 0u);
    record.answers = {{0, {}}, {60, {}}};
    EXPECT_EQ(change_pin(token, pin, 4), 60u);
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
    record.answers = {{0, {0x34, 0x12}}, {0, {0x01}}, {44, {}}};
    EXPECT_EQ(open_channel(hsm), 0u);
    EXPECT_EQ(hsm.channel, 0x1234);
    EXPECT_EQ(open_channel(hsm), REPLY_LENGTH_WRONG);
    EXPECT_EQ(hsm.channel, 0);
    hsm.channel = 9;
    EXPECT_EQ(open_channel(hsm), 44u);
    EXPECT_EQ(hsm.channel, 9);
}

TEST_F(DeviceCommandsTest, DeviceInfoWaitsOutBusyAnswers)
{
    DeviceConnection hsm = connection(DEVICE_NETWORK_HSM);
    Bytes info(32, 0x5C);
    record.answers = {{DEVICE_BUSY, {}}, {DEVICE_BUSY, {}}, {DEVICE_BUSY, {}}, {0, info}};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(wait_device_info(hsm), 0u);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(record.sent.size(), 4u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_EQ(Bytes(hsm.device_info, hsm.device_info + 32), info);
}

}  // namespace
}  // namespace vlrp11
