// The library's device access against the simulator's device core: framing, secure channel,
// key exchange and the connection commands, on all three kinds of device.
#include "support/simulated_devices.h"

#include "device/command_codes.h"
#include "device/connect.h"
#include "device/connection_close.h"
#include "device/device_commands.h"
#include "device/key_exchange.h"
#include "device/session_setup.h"
#include "device/transport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace vlrp11::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::uint8_t* pin(const char* text)
{
    return reinterpret_cast<const std::uint8_t*>(text);
}

std::uint32_t le32(const std::uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// One simulated device of a kind, reachable the way the library reaches that kind.
class DeviceAccess : public ::testing::TestWithParam<sim::DeviceKind> {
protected:
    void SetUp() override
    {
        simulated = std::make_unique<SimulatedDevice>(profile_for(GetParam(), 0x00C0FFEE));
        ASSERT_NE(simulated->device, nullptr);
        connection = connect();
        ASSERT_NE(connection, nullptr);
    }

    ConnectionPtr connect(std::int32_t instance = 0)
    {
        if (GetParam() == sim::DeviceKind::network_hsm) {
            if (!hsm)
                hsm = std::make_unique<SimulatedNetworkHsm>(simulated->host);
            return connect_network(hsm->address(), instance);
        }
        if (!card)
            card = std::make_unique<SimulatedCard>(*simulated->device);
        DeviceKind kind = GetParam() == sim::DeviceKind::token ? DEVICE_TOKEN : DEVICE_PCSC_HSM;
        return connect_pcsc(1, kind, instance);
    }

    std::uint32_t random_bytes(DeviceConnection& c, std::uint8_t count, Bytes& out)
    {
        out.assign(count, 0);
        std::uint32_t length = count;
        std::uint32_t status = c.transport(&c, CMD_GET_RANDOM, &count, 1, out.data(), &length);
        out.resize(length);
        return status;
    }

    std::unique_ptr<SimulatedDevice> simulated;
    std::unique_ptr<SimulatedCard> card;
    std::unique_ptr<SimulatedNetworkHsm> hsm;
    ConnectionPtr connection;
};

TEST_P(DeviceAccess, ConnectsAndIdentifiesTheDevice)
{
    EXPECT_EQ(le32(connection->device_info + DEVICE_INFO_SERIAL), 0x00C0FFEEu);
    if (GetParam() != sim::DeviceKind::network_hsm) {
        EXPECT_EQ(connection->atr_length, 20u);
        EXPECT_EQ(connection->atr_digit, simulated->device->profile().atr_digit);
    }
}

TEST_P(DeviceAccess, SessionLoginEncryptedCommandsLogout)
{
    ASSERT_EQ(set_up_session(*connection), DEVICE_OK);
    if (GetParam() != sim::DeviceKind::network_hsm) {
        EXPECT_NE(connection->channel, 0);
    }
    EXPECT_EQ(le32(connection->device_certificate), 0x00C0FFEEu);

    Bytes random;
    ASSERT_EQ(random_bytes(*connection, 16, random), DEVICE_OK);
    EXPECT_EQ(random.size(), 16u);

    ASSERT_EQ(login(*connection, LOGGED_IN_USER, pin(USER_PIN), std::strlen(USER_PIN)), DEVICE_OK);
    EXPECT_EQ(connection->login_state, LOGGED_IN_USER);
    // Encrypted exchanges of different lengths keep both keystreams in step.
    for (std::uint8_t count : {1, 15, 16, 17, 200, 3}) {
        ASSERT_EQ(random_bytes(*connection, count, random), DEVICE_OK) << int(count);
        EXPECT_EQ(random.size(), count);
    }
    EXPECT_EQ(wait_device_info(*connection), DEVICE_OK);
    ASSERT_EQ(logout(*connection), DEVICE_OK);
    EXPECT_EQ(connection->login_state, LOGGED_OUT);
    ASSERT_EQ(random_bytes(*connection, 8, random), DEVICE_OK);

    // The security officer next.
    ASSERT_EQ(login(*connection, LOGGED_IN_SO, pin(SO_PIN), std::strlen(SO_PIN)), DEVICE_OK);
    ASSERT_EQ(random_bytes(*connection, 32, random), DEVICE_OK);
    ASSERT_EQ(logout(*connection), DEVICE_OK);
}

TEST_P(DeviceAccess, WrongPinCountsAndTheRightOneResets)
{
    ASSERT_EQ(set_up_session(*connection), DEVICE_OK);
    EXPECT_EQ(login(*connection, LOGGED_IN_USER, pin("00000000"), 8), PIN_WRONG);
    EXPECT_EQ(connection->login_state, LOGGED_OUT);
    ASSERT_EQ(wait_device_info(*connection), DEVICE_OK);
    EXPECT_EQ(connection->device_info[DEVICE_INFO_PIN_FAILURES], 1);
    EXPECT_EQ(connection->device_info[DEVICE_INFO_PIN_LIMIT], simulated->device->profile().pin_try_limit);
    // The refused login changed no key: the channel still works.
    Bytes random;
    EXPECT_EQ(random_bytes(*connection, 4, random), DEVICE_OK);
    ASSERT_EQ(login(*connection, LOGGED_IN_USER, pin(USER_PIN), std::strlen(USER_PIN)), DEVICE_OK);
    ASSERT_EQ(wait_device_info(*connection), DEVICE_OK);
    EXPECT_EQ(connection->device_info[DEVICE_INFO_PIN_FAILURES], 0);
}

TEST_P(DeviceAccess, PinChangeTakesEffect)
{
    ASSERT_EQ(set_up_session(*connection), DEVICE_OK);
    ASSERT_EQ(login(*connection, LOGGED_IN_USER, pin(USER_PIN), std::strlen(USER_PIN)), DEVICE_OK);
    ASSERT_EQ(change_pin(*connection, pin("new-pin-1"), 9), DEVICE_OK);
    ASSERT_EQ(logout(*connection), DEVICE_OK);
    EXPECT_EQ(login(*connection, LOGGED_IN_USER, pin(USER_PIN), std::strlen(USER_PIN)), PIN_WRONG);
    EXPECT_EQ(login(*connection, LOGGED_IN_USER, pin("new-pin-1"), 9), DEVICE_OK);
}

TEST_P(DeviceAccess, InjectedFaults)
{
    ASSERT_EQ(set_up_session(*connection), DEVICE_OK);
    sim::CoreFaults& faults = simulated->device->faults();

    // Three busy answers, then the answer: all three were waited out by the one call.
    faults.answer_busy(3, CMD_GET_DEVICE_INFO);
    EXPECT_EQ(wait_device_info(*connection), DEVICE_OK);
    EXPECT_FALSE(faults.take(CMD_GET_DEVICE_INFO).answer_instead);

    const std::uint32_t refused = 0x6F;  // any device status with no meaning of its own
    faults.answer_status_once(refused, CMD_GET_RANDOM);
    Bytes random;
    EXPECT_EQ(random_bytes(*connection, 4, random), refused);

    faults.corrupt_reply_mac_once(CMD_GET_RANDOM);
    EXPECT_EQ(random_bytes(*connection, 4, random), TRANSPORT_BAD_MAC);
    EXPECT_EQ(random_bytes(*connection, 4, random), DEVICE_OK);
}

TEST_P(DeviceAccess, ADamagedReplyWhileLoggedInCostsThatCommandOnly)
{
    ASSERT_EQ(set_up_session(*connection), DEVICE_OK);
    ASSERT_EQ(login(*connection, LOGGED_IN_USER, pin(USER_PIN), std::strlen(USER_PIN)), DEVICE_OK);
    Bytes random;
    for (std::uint8_t count : {1, 5, 16, 40}) {
        simulated->device->faults().corrupt_reply_mac_once(CMD_GET_RANDOM);
        EXPECT_EQ(random_bytes(*connection, count, random), TRANSPORT_BAD_MAC) << int(count);
        EXPECT_EQ(random_bytes(*connection, count, random), DEVICE_OK) << int(count);
    }
    EXPECT_EQ(logout(*connection), DEVICE_OK);
}

TEST_P(DeviceAccess, AFailedKeyExchangeLeavesNoChannelBehind)
{
    const std::uint32_t refused = 0x6F;
    simulated->device->faults().answer_status_once(refused, CMD_KEY_EXCHANGE);
    EXPECT_EQ(set_up_session(*connection), refused);
    EXPECT_EQ(connection->channel, 0);
    // The next session opening starts over, and the device agrees to every step.
    ASSERT_EQ(set_up_session(*connection), DEVICE_OK);
    ASSERT_EQ(login(*connection, LOGGED_IN_USER, pin(USER_PIN), std::strlen(USER_PIN)), DEVICE_OK);
    Bytes random;
    EXPECT_EQ(random_bytes(*connection, 8, random), DEVICE_OK);
}

TEST_P(DeviceAccess, SecondConnectionToTheSameDevice)
{
    // HSM partitions each get a connection of their own; so may a second application.
    ASSERT_EQ(set_up_session(*connection), DEVICE_OK);
    ConnectionPtr other = connect(GetParam() == sim::DeviceKind::token ? 0 : 1);
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(set_up_session(*other), DEVICE_OK);
    ASSERT_EQ(login(*other, LOGGED_IN_USER, pin(USER_PIN), std::strlen(USER_PIN)), DEVICE_OK);
    Bytes random;
    EXPECT_EQ(random_bytes(*other, 20, random), DEVICE_OK);
    EXPECT_EQ(random_bytes(*connection, 20, random), DEVICE_OK);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, DeviceAccess,
                         ::testing::ValuesIn(all_kinds), kind_test_name);

TEST(OldFirmwareToken, WorksWithoutKeyExchange)
{
    sim::DeviceProfile profile = profile_for(sim::DeviceKind::token, 77);
    profile.version = 6;
    profile.atr_digit = 0;
    SimulatedDevice simulated(profile);
    ASSERT_NE(simulated.device, nullptr);
    SimulatedCard card(*simulated.device);
    ConnectionPtr connection = connect_pcsc(1, DEVICE_TOKEN, 0);
    ASSERT_NE(connection, nullptr);
    ASSERT_EQ(open_channel(*connection), DEVICE_OK);
    ASSERT_EQ(key_exchange(*connection), DEVICE_OK);
    ASSERT_EQ(login(*connection, LOGGED_IN_USER, pin(USER_PIN), std::strlen(USER_PIN)), DEVICE_OK);
    std::uint8_t count = 8;
    std::uint8_t random[8];
    std::uint32_t length = sizeof random;
    EXPECT_EQ(connection->transport(connection.get(), CMD_GET_RANDOM, &count, 1, random, &length), DEVICE_OK);
    // Logout on this token goes back to the all-0xFF key, and the device agrees.
    ASSERT_EQ(logout(*connection), DEVICE_OK);
    EXPECT_EQ(connection->transport(connection.get(), CMD_GET_RANDOM, &count, 1, random, &length), DEVICE_OK);
}

TEST(NetworkHsmAddress, HostNamesAndAbsentDevicesGiveNoConnection)
{
    EXPECT_EQ(connect_network("localhost", 0), nullptr);
    EXPECT_EQ(connect_network("", 0), nullptr);
    EXPECT_EQ(connect_network("127.0.0.254", 0), nullptr);  // nothing listens there
}

}  // namespace
}  // namespace vlrp11::testing
