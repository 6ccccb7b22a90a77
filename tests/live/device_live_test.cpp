// The library's device access against a running vlrp11-sim: PC/SC through the real pcsc-lite and
// pcscd with the project's reader driver, network HSMs over loopback TCP, and transport faults
// set through the simulator's control channel. Run by tests/ci/stage-25-device-live.sh, which
// starts the simulator and pcscd first, and as a Windows program under wine by
// tests/ci/stage-21-sim-wine.sh, where the test-only winscard.dll stands in for PC/SC
// and no control channel is at hand.
#include "device/command_codes.h"
#include "device/connect.h"
#include "device/connection_close.h"
#include "device/device_commands.h"
#include "device/device_connection.h"
#include "device/session_setup.h"
#include "device/transport.h"
#include "platform/pcsc.h"
#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

using Connection = ConnectionPtr;

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool have_control()
{
    return !env("VLRP11_SIM").empty() && !env("VLRP11_SIM_CONTROL").empty();
}

void control(const std::string& request)
{
    std::string command = env("VLRP11_SIM") + " ctl " + env("VLRP11_SIM_CONTROL") + " " + request + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << request;
}

class LiveDevices : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_NE(pcsc(), nullptr) << "no PC/SC library";
        ASSERT_TRUE(sockets_startup());
        ASSERT_EQ(pcsc()->establish_context(PCSC_SCOPE_USER, &context), PCSC_SUCCESS);
    }
    static void TearDownTestSuite() { pcsc()->release_context(context); }

    std::string reader(const char* prefix)
    {
        std::uint32_t length = 0;
        EXPECT_EQ(pcsc()->list_readers(context, nullptr, nullptr, &length), PCSC_SUCCESS);
        std::vector<char> names(length + 1, 0);
        EXPECT_EQ(pcsc()->list_readers(context, nullptr, names.data(), &length), PCSC_SUCCESS);
        for (const char* name = names.data(); *name; name += std::strlen(name) + 1) {
            if (std::strncmp(name, prefix, std::strlen(prefix)) == 0)
                return name;
        }
        return {};
    }

    Connection connect_card(const char* prefix, DeviceKind kind, std::int32_t instance)
    {
        std::string name = reader(prefix);
        EXPECT_FALSE(name.empty()) << prefix;
        PcscCard card = 0;
        std::uint32_t protocol = 0;
        EXPECT_EQ(pcsc()->connect(context, name.c_str(), PCSC_SHARE_SHARED, PCSC_PROTOCOL_T1, &card, &protocol),
                  PCSC_SUCCESS);
        Connection connection = connect_pcsc(card, kind, instance);
        if (connection == nullptr)
            pcsc()->disconnect(card, PCSC_LEAVE_CARD);
        return connection;
    }

    std::uint32_t login_user(DeviceConnection& c)
    {
        std::string pin = env("VLRP11_SIM_USER_PIN");
        return login(c, LOGGED_IN_USER, reinterpret_cast<const std::uint8_t*>(pin.data()), pin.size());
    }

    std::uint32_t random_bytes(DeviceConnection& c, std::uint8_t count)
    {
        Bytes out(count);
        std::uint32_t length = count;
        std::uint32_t status = c.transport(&c, CMD_GET_RANDOM, &count, 1, out.data(), &length);
        if (status == DEVICE_OK) {
            EXPECT_EQ(length, count);
        }
        return status;
    }

    static PcscContext context;
};

PcscContext LiveDevices::context = 0;

TEST_F(LiveDevices, TokenOverPcsc)
{
    Connection token = connect_card("KESTRELWORKSHOP VELLARO token", DEVICE_TOKEN, 0);
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(token->atr_length, 20u);
    ASSERT_EQ(set_up_session(*token), DEVICE_OK);
    ASSERT_EQ(login_user(*token), DEVICE_OK);
    for (std::uint8_t count : {1, 16, 33, 224})
        EXPECT_EQ(random_bytes(*token, count), DEVICE_OK);
    EXPECT_EQ(logout(*token), DEVICE_OK);
}

TEST_F(LiveDevices, FourHsmPartitionsOnFourCardHandles)
{
    std::vector<Connection> partitions;
    for (std::int32_t instance = 0; instance < 4; ++instance) {
        partitions.push_back(connect_card("KESTRELWORKSHOP VELLARO HSM", DEVICE_PCSC_HSM, instance));
        ASSERT_NE(partitions.back(), nullptr);
        ASSERT_EQ(set_up_session(*partitions.back()), DEVICE_OK);
        ASSERT_EQ(login_user(*partitions.back()), DEVICE_OK) << instance;
    }
    for (Connection& partition : partitions)
        EXPECT_EQ(random_bytes(*partition, 48), DEVICE_OK);
    EXPECT_NE(partitions[0]->channel, partitions[1]->channel);
}

TEST_F(LiveDevices, NetworkHsmOverLoopbackTcp)
{
    Connection hsm = connect_network("127.0.0.2", 2);
    ASSERT_NE(hsm, nullptr);
    ASSERT_EQ(set_up_session(*hsm), DEVICE_OK);
    ASSERT_EQ(login_user(*hsm), DEVICE_OK);
    EXPECT_EQ(random_bytes(*hsm, 200), DEVICE_OK);
    EXPECT_EQ(logout(*hsm), DEVICE_OK);
}

TEST_F(LiveDevices, TransportFaultsOverTcp)
{
    if (!have_control())
        GTEST_SKIP() << "no control channel";
    Connection hsm = connect_network("127.0.0.3", 0);
    ASSERT_NE(hsm, nullptr);
    ASSERT_EQ(set_up_session(*hsm), DEVICE_OK);
    ASSERT_EQ(login_user(*hsm), DEVICE_OK);

    // A reply split by the network is read to its end.
    control("split net-127.0.0.3 40");
    EXPECT_EQ(random_bytes(*hsm, 100), DEVICE_OK);
    // A slow device is waited for.
    control("latency net-127.0.0.3 150");
    EXPECT_EQ(random_bytes(*hsm, 10), DEVICE_OK);
    control("latency net-127.0.0.3 0");
    // The device's own faults pass through.
    control("busy net-127.0.0.3 2 16");
    EXPECT_EQ(wait_device_info(*hsm), DEVICE_OK);
    control("corrupt-mac net-127.0.0.3 48");
    EXPECT_EQ(random_bytes(*hsm, 10), TRANSPORT_BAD_MAC);
    // A cut reply never verifies; a dropped connection delivers nothing.
    control("truncate net-127.0.0.3 5");
    EXPECT_EQ(random_bytes(*hsm, 10), TRANSPORT_FAILED);
    Connection other = connect_network("127.0.0.3", 1);
    ASSERT_NE(other, nullptr);
    control("drop net-127.0.0.3");
    EXPECT_EQ(wait_device_info(*other), TRANSPORT_FAILED);
}

TEST_F(LiveDevices, BusyTokenOverPcsc)
{
    if (!have_control())
        GTEST_SKIP() << "no control channel";
    Connection token = connect_card("KESTRELWORKSHOP VELLARO token", DEVICE_TOKEN, 0);
    ASSERT_NE(token, nullptr);
    control("busy token 3 16");
    EXPECT_EQ(wait_device_info(*token), DEVICE_OK);
}

}  // namespace
}  // namespace vlrp11
