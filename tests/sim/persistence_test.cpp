// The state directory: what a device acknowledged is on disk before its reply leaves, and a
// device opened again serves the same identity, PINs and counters.

#include <fstream>

#include "core/atomic_file.h"
#include "core/pin.h"
#include "sim_test_support.h"

namespace vlrp11::sim::test {
namespace {

std::unique_ptr<Device> reopen(const TempDir& dir)
{
    std::string error;
    auto device = Device::open(dir.path() / "device", error);
    EXPECT_TRUE(device) << error;
    return device;
}

Bytes certificate_of(Device& device)
{
    ClientChannel channel;
    channel.channel = transmit_apdu(device, channel, 32, {}, 2).data.at(0);
    ClientKeyExchange exchange;
    EXPECT_TRUE(start_key_exchange(exchange));
    Bytes reply = transmit_apdu(device, channel, 240, exchange.request, 268).data;
    return reply.size() == 268 ? Bytes(reply.begin() + 128, reply.end()) : Bytes{};
}

TEST(Persistence, CountersAreOnDiskBeforeTheReplyLeaves)
{
    TempDir dir;
    DeviceProfile profile = make_profile(DeviceKind::pcsc_hsm);
    auto hsm = create_device(dir, profile);
    ClientChannel channel = open_session(*hsm);
    ASSERT_EQ(login(*hsm, channel, login_user, "0000", true, 1), status::wrong_pin);
    ASSERT_EQ(login(*hsm, channel, login_so, "0000"), status::wrong_pin);

    // Opened while the first instance still runs: as if it had been killed right after replying.
    auto again = reopen(dir);
    ClientChannel probe = open_session(*again);
    EXPECT_EQ(device_info(*again, probe).at(12), 0);  // SO counter of partition 0 is untouched
    EXPECT_EQ(login(*again, probe, login_user, "0000", true, 1), status::wrong_pin);
    Bytes info = device_info(*again, probe);
    EXPECT_EQ(info.at(11), 2);
    EXPECT_EQ(info.at(12), 1);  // partition 1's SO counter
}

TEST(Persistence, IdentityAndChangedPinsSurviveARestart)
{
    TempDir dir;
    DeviceProfile profile = make_profile(DeviceKind::token);
    profile.serial = 4242;
    profile.model = 1000;
    profile.version = 9;
    profile.firmware_minor = 3;
    profile.atr_digit = 0;
    profile.pin_try_limit = 5;
    Bytes atr;
    Bytes certificate;
    {
        auto token = create_device(dir, profile);
        atr = token->atr();
        certificate = certificate_of(*token);
        ClientChannel channel = open_session(*token);
        ASSERT_EQ(login(*token, channel, login_user, user_pin), status::ok);
        PinRecord next = derive_pin("24680");
        Bytes values(32);
        std::copy(next.a.begin(), next.a.end(), values.begin());
        std::copy(next.b.begin(), next.b.end(), values.begin() + 16);
        ASSERT_EQ(transmit_apdu(*token, channel, 64, values, 0).status, status::ok);
    }
    auto token = reopen(dir);
    const DeviceProfile& loaded = token->profile();
    EXPECT_EQ(loaded.serial, 4242u);
    EXPECT_EQ(loaded.model, 1000u);
    EXPECT_EQ(loaded.version, 9);
    EXPECT_EQ(loaded.pin_try_limit, 5);
    EXPECT_TRUE(loaded.so_pin.empty());
    EXPECT_EQ(token->atr(), atr);
    EXPECT_EQ(certificate_of(*token), certificate);
    ClientChannel channel = open_session(*token);
    EXPECT_EQ(login(*token, channel, login_user, user_pin), status::wrong_pin);
    EXPECT_EQ(login(*token, channel, login_user, "24680"), status::ok);
}

TEST(Persistence, NoTemporaryFilesAreLeftBehind)
{
    TempDir dir;
    auto token = create_device(dir, make_profile(DeviceKind::token));
    ClientChannel channel = open_session(*token);
    login(*token, channel, login_user, "0000");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "device")) {
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    }
}

TEST(Persistence, ProvisioningRefusesADirectoryThatHoldsADevice)
{
    TempDir dir;
    auto token = create_device(dir, make_profile(DeviceKind::token));
    std::string error;
    EXPECT_FALSE(Device::create(dir.path() / "device", make_profile(DeviceKind::token), error));
    EXPECT_NE(error.find("already"), std::string::npos);
}

TEST(Persistence, InvalidProfilesAreRefused)
{
    TempDir dir;
    std::vector<DeviceProfile> profiles(6, make_profile(DeviceKind::token));
    profiles[0].partition_count = 2;
    profiles[1].firmware_minor = 10;
    profiles[2].atr_digit = 12;
    profiles[3].pin_try_limit = 0;
    profiles[4].so_pin.clear();
    profiles[5].kind = static_cast<DeviceKind>(4);
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        std::string error;
        EXPECT_FALSE(Device::create(dir.path() / std::to_string(i), profiles[i], error)) << i;
        EXPECT_FALSE(error.empty());
    }
}

TEST(Persistence, DamagedOrMissingStateIsRefused)
{
    TempDir dir;
    create_device(dir, make_profile(DeviceKind::pcsc_hsm));
    std::filesystem::path state = dir.path() / "device" / "device.state";
    auto original = read_whole_file(state);
    ASSERT_TRUE(original);
    std::string text(original->begin(), original->end());
    std::vector<std::string> damaged = {
        "",
        text.substr(0, text.size() / 2),
        text.substr(0, text.rfind("partition 3")),
        [&] { std::string t = text; t.replace(t.find("kind 2"), 6, "kind 7"); return t; }(),
        [&] { std::string t = text; t.replace(t.find("certificate ") + 12, 2, "zz"); return t; }(),
    };
    for (const std::string& content : damaged) {
        std::ofstream(state, std::ios::trunc) << content;
        std::string error;
        EXPECT_FALSE(Device::open(dir.path() / "device", error)) << content.size();
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_FALSE(Device::open(dir.path() / "nothing-here", error));
}

}  // namespace
}  // namespace vlrp11::sim::test
