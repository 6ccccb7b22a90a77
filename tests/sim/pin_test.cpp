// PIN values, failure counters, blocking, and who may set, change and unblock PINs.

#include "core/pin.h"
#include "sim_test_support.h"

namespace vlrp11::sim::test {
namespace {

Bytes pin_values(const char* pin)
{
    PinRecord record = derive_pin(pin);
    Bytes values(32);
    std::copy(record.a.begin(), record.a.end(), values.begin());
    std::copy(record.b.begin(), record.b.end(), values.begin() + 16);
    return values;
}

class Pins : public ::testing::Test {
protected:
    Pins()
    {
        profile.pin_try_limit = 3;
        token = create_device(dir, profile);
        channel = open_session(*token);
    }
    std::uint8_t user_failures() { return device_info(*token, channel).at(11); }

    TempDir dir;
    DeviceProfile profile = make_profile(DeviceKind::token);
    std::unique_ptr<Device> token;
    ClientChannel channel;
};

TEST_F(Pins, WrongPinsCountUpToTheLimitThenTheRightPinIsBlockedToo)
{
    const std::uint8_t expected_status[] = {status::wrong_pin, status::wrong_pin, status::wrong_pin,
                                            status::pin_blocked};
    for (std::uint8_t i = 0; i < 4; ++i) {
        EXPECT_EQ(login(*token, channel, login_user, "9999"), expected_status[i]);
        EXPECT_EQ(user_failures(), std::min<int>(i + 1, 3));
    }
    EXPECT_EQ(login(*token, channel, login_user, user_pin), status::pin_blocked);
    EXPECT_EQ(user_failures(), 3);
}

TEST_F(Pins, RightPinClearsTheCounter)
{
    EXPECT_EQ(login(*token, channel, login_user, "9999"), status::wrong_pin);
    EXPECT_EQ(login(*token, channel, login_user, "99999"), status::wrong_pin);
    ASSERT_EQ(login(*token, channel, login_user, user_pin), status::ok);
    EXPECT_EQ(user_failures(), 0);
}

TEST_F(Pins, SoPinHasItsOwnCounter)
{
    EXPECT_EQ(login(*token, channel, login_so, user_pin), status::wrong_pin);
    Bytes info = device_info(*token, channel);
    EXPECT_EQ(info.at(11), 0);
    EXPECT_EQ(info.at(12), 1);
}

TEST_F(Pins, SecurityOfficerUnblocksAndSetsTheUserPin)
{
    for (int i = 0; i < 3; ++i) {
        login(*token, channel, login_user, "9999");
    }
    EXPECT_EQ(transmit_apdu(*token, channel, 104, {}, 0).status, status::access_denied);
    ASSERT_EQ(login(*token, channel, login_so, so_pin), status::ok);
    EXPECT_EQ(transmit_apdu(*token, channel, 104, {}, 0).status, status::ok);
    EXPECT_EQ(user_failures(), 0);
    EXPECT_EQ(transmit_apdu(*token, channel, 2, pin_values("735204"), 0).status, status::ok);
    EXPECT_EQ(transmit_apdu(*token, channel, 42, {}, 0).status, status::ok);
    channel.login_state = -1;
    EXPECT_EQ(login(*token, channel, login_user, user_pin), status::wrong_pin);
    EXPECT_EQ(login(*token, channel, login_user, "735204"), status::ok);
}

struct AccessCase {
    std::uint8_t code;
    int login_type;  // -1: nobody
    std::size_t request_length;
    std::uint8_t expected;
};

class PinCommandAccess : public Pins, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(PinCommandAccess, NeedsTheRightLogin)
{
    const AccessCase& param = GetParam();
    if (param.login_type != -1) {
        ASSERT_EQ(login(*token, channel, param.login_type,
                        param.login_type == login_so ? so_pin : user_pin),
                  0);
    }
    Bytes request(param.request_length, 0x31);
    EXPECT_EQ(transmit_apdu(*token, channel, param.code, request, 0).status, param.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PinCommandAccess,
    ::testing::Values(AccessCase{2, -1, 32, status::access_denied},
                      AccessCase{2, login_user, 32, status::access_denied},
                      AccessCase{2, login_so, 31, status::bad_length},
                      AccessCase{2, login_so, 32, status::ok},
                      AccessCase{64, -1, 32, status::access_denied},
                      AccessCase{64, login_user, 32, status::ok},
                      AccessCase{64, login_so, 33, status::bad_length},
                      AccessCase{104, login_user, 0, status::access_denied},
                      AccessCase{104, login_so, 1, status::bad_length}));

TEST_F(Pins, ChangePinReplacesTheLoggedInRolesOwnPin)
{
    ASSERT_EQ(login(*token, channel, login_so, so_pin), status::ok);
    EXPECT_EQ(transmit_apdu(*token, channel, 64, pin_values("new-so"), 0).status, status::ok);
    EXPECT_EQ(transmit_apdu(*token, channel, 42, {}, 0).status, status::ok);
    channel.login_state = -1;
    EXPECT_EQ(login(*token, channel, login_so, so_pin), status::wrong_pin);
    EXPECT_EQ(login(*token, channel, login_user, user_pin), status::ok);
}

TEST(PinLimit255, MeansNoCountersAndNoBlocking)
{
    TempDir dir;
    DeviceProfile profile = make_profile(DeviceKind::token);
    profile.pin_try_limit = 255;
    auto token = create_device(dir, profile);
    ClientChannel channel = open_session(*token);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(login(*token, channel, login_user, "0"), status::wrong_pin);
    }
    Bytes info = device_info(*token, channel);
    EXPECT_EQ(info.at(10), 255);
    EXPECT_EQ(info.at(11), 0);
    EXPECT_EQ(login(*token, channel, login_user, user_pin), status::ok);
}

TEST(UninitialisedUserPin, RefusesUserLoginUntilTheSecurityOfficerSetsIt)
{
    TempDir dir;
    DeviceProfile profile = make_profile(DeviceKind::token);
    profile.user_pin.clear();
    auto token = create_device(dir, profile);
    ClientChannel channel = open_session(*token);
    EXPECT_EQ(login(*token, channel, login_user, user_pin), status::pin_not_initialized);
    EXPECT_EQ(device_info(*token, channel).at(17), 0);
    ASSERT_EQ(login(*token, channel, login_so, so_pin), status::ok);
    EXPECT_EQ(transmit_apdu(*token, channel, 2, pin_values(user_pin), 0).status, status::ok);
    EXPECT_EQ(device_info(*token, channel).at(17), 1);
}

}  // namespace
}  // namespace vlrp11::sim::test
