// Faults a device or its link can show, injected while an application works through the
// function table on each kind of device: the code each call answers, how long it takes, and that
// the next session works.
#include "support/session_calls.h"
#include "support/module_on_device.h"

#include "api/function_table.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace vlrp11::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr CK_FLAGS RW = CKF_SERIAL_SESSION | CKF_RW_SESSION;

class FaultMatrix : public ModuleOnDevice {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(make_device(profile_for(GetParam(), 4343)));
        attach();
        ASSERT_EQ(slotCount, partitions());
        if (network())
            address = server->address();
    }

    // Slots the device fills: the PC/SC HSM shows its four partitions, the configuration names
    // one partition of the network HSM.
    CK_ULONG partitions() const { return GetParam() == sim::DeviceKind::pcsc_hsm ? 4 : 1; }

    CK_ULONG slots()
    {
        CK_ULONG count = 0;
        EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
        return count;
    }

    // A read-write session on the first slot with the user logged in.
    CK_SESSION_HANDLE logged_in_session()
    {
        CK_SLOT_ID list[64] = {};
        CK_ULONG count = 64;
        EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, list, &count), CKR_OK);
        CK_SESSION_HANDLE session = 0;
        EXPECT_EQ(p11->C_OpenSession(list[0], RW, nullptr, nullptr, &session), CKR_OK);
        CK_UTF8CHAR pin[sizeof USER_PIN];
        std::memcpy(pin, USER_PIN, sizeof pin);
        const CK_RV rv = p11->C_Login(session, CKU_USER, pin, std::strlen(USER_PIN));
        EXPECT_TRUE(rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN) << std::hex << rv;
        return session;
    }

    CK_RV random(CK_SESSION_HANDLE session)
    {
        CK_BYTE bytes[200];
        return p11->C_GenerateRandom(session, bytes, sizeof bytes);
    }

    // An EC P-256 key pair made on the device, kept there.
    void generate_signing_key(CK_SESSION_HANDLE session)
    {
        CK_BYTE p256[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
        CK_BBOOL yes = CK_TRUE;
        char label[] = "signer";
        CK_ATTRIBUTE publicTemplate[] = {{CKA_EC_PARAMS, p256, sizeof p256}, {CKA_TOKEN, &yes, sizeof yes}};
        CK_ATTRIBUTE privateTemplate[] = {{CKA_LABEL, label, sizeof label - 1}, {CKA_TOKEN, &yes, sizeof yes}};
        CK_MECHANISM mechanism{CKM_EC_KEY_PAIR_GEN, nullptr, 0};
        CK_OBJECT_HANDLE publicKey = 0, privateKey = 0;
        ASSERT_EQ(p11->C_GenerateKeyPair(session, &mechanism, publicTemplate, 2, privateTemplate, 2, &publicKey,
                                         &privateKey),
                  CKR_OK);
    }

    // After a fault: the slot list finds the device again and a new logged-in session works.
    void next_session_works()
    {
        ASSERT_EQ(slots(), partitions());
        CK_SESSION_HANDLE session = logged_in_session();
        EXPECT_EQ(random(session), CKR_OK);
    }

    std::string address;
};

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST_P(FaultMatrix, ReplyMacFlippedWhileLoggedIn)
{
    CK_SESSION_HANDLE session = logged_in_session();
    simulated->device->faults().corrupt_reply_mac_once(48);
    const auto start = Clock::now();
    EXPECT_EQ(random(session), CKR_DEVICE_ERROR);
    EXPECT_LT(seconds_since(start), 1.0);
    CK_SESSION_INFO info{};
    ASSERT_EQ(p11->C_GetSessionInfo(session, &info), CKR_OK);
    EXPECT_EQ(info.ulDeviceError, 42u);
    ASSERT_EQ(p11->C_CloseSession(session), CKR_OK);
    next_session_works();
}

// The device answers busy for two seconds while login waits for its information block.
TEST_P(FaultMatrix, BusyStormDuringLogin)
{
    CK_SLOT_ID slot = 1;
    CK_SESSION_HANDLE session = 0;
    ASSERT_EQ(p11->C_OpenSession(slot, RW, nullptr, nullptr, &session), CKR_OK);
    simulated->device->faults().answer_busy(20, 16);
    CK_UTF8CHAR pin[sizeof USER_PIN];
    std::memcpy(pin, USER_PIN, sizeof pin);
    const auto start = Clock::now();
    EXPECT_EQ(p11->C_Login(session, CKU_USER, pin, std::strlen(USER_PIN)), CKR_OK);
    const double waited = seconds_since(start);
    EXPECT_GE(waited, 1.9);
    EXPECT_LT(waited, 5.0);
    EXPECT_EQ(random(session), CKR_OK);
}

TEST_P(FaultMatrix, BusyAnswerToARandomRequest)
{
    CK_SESSION_HANDLE session = logged_in_session();
    simulated->device->faults().answer_busy(1, 48);
    EXPECT_EQ(random(session), CKR_DEVICE_ERROR);
    EXPECT_EQ(random(session), CKR_OK);
}

TEST_P(FaultMatrix, ReplySplitIntoSingleBytes)
{
    if (!network())
        GTEST_SKIP() << "a PC/SC reply is one APDU";
    CK_SESSION_HANDLE session = logged_in_session();
    simulated->host.faults.trickle_next();
    const auto start = Clock::now();
    EXPECT_EQ(random(session), CKR_OK);
    EXPECT_LT(seconds_since(start), 2.0);
    // The next reply, whole again, is read on its own.
    EXPECT_EQ(random(session), CKR_OK);
}

TEST_P(FaultMatrix, DroppedConnection)
{
    CK_SESSION_HANDLE session = logged_in_session();
    simulated->host.faults.drop_next();
    const auto start = Clock::now();
    const CK_RV rv = random(session);
    EXPECT_TRUE(rv == CKR_DEVICE_ERROR || rv == CKR_DEVICE_REMOVED) << std::hex << rv;
    EXPECT_LT(seconds_since(start), 5.0);
    next_session_works();
}

TEST_P(FaultMatrix, UnpluggedAndReplugged)
{
    CK_SESSION_HANDLE session = logged_in_session();
    if (network())
        server.reset();
    else
        readers.insert(reader, nullptr);
    const auto start = Clock::now();
    EXPECT_EQ(random(session), CKR_DEVICE_ERROR);
    EXPECT_LT(seconds_since(start), 5.0);
    EXPECT_EQ(slots(), 0u);
    EXPECT_EQ(p11->C_GetSessionInfo(session, nullptr), CKR_SESSION_HANDLE_INVALID);
    if (network())
        server = std::make_unique<SimulatedNetworkHsm>(simulated->host, address);
    else
        readers.insert(reader, simulated->device);
    next_session_works();
}

// The device carries the signature out, but the card is pulled (the connection cut) before the
// answer leaves: the call fails at once and the device is back as a new one at the next refresh.
TEST_P(FaultMatrix, UnpluggedMidSign)
{
    CK_SESSION_HANDLE session = logged_in_session();
    generate_signing_key(session);
    simulated->host.faults.drop_next();
    const auto start = Clock::now();
    EXPECT_EQ(ecdsa_sign(p11, session), CKR_DEVICE_ERROR);
    EXPECT_LT(seconds_since(start), 1.0);
    CK_SESSION_INFO info{};
    ASSERT_EQ(p11->C_GetSessionInfo(session, &info), CKR_OK);
    EXPECT_EQ(info.ulDeviceError, 2u);
    ASSERT_EQ(slots(), partitions());
    EXPECT_EQ(p11->C_GetSessionInfo(session, &info), CKR_SESSION_HANDLE_INVALID);
    EXPECT_EQ(ecdsa_sign(p11, logged_in_session()), CKR_OK);
}

// pcscd restarts under an open session: the session's next call fails at once, and the refresh
// takes a new PC/SC context and finds the device again.
TEST_P(FaultMatrix, PcscServiceRestartedUnderASession)
{
    if (network())
        GTEST_SKIP() << "reached without PC/SC";
    CK_SESSION_HANDLE session = logged_in_session();
    readers.restart_service();
    const auto start = Clock::now();
    EXPECT_EQ(random(session), CKR_DEVICE_ERROR);
    EXPECT_LT(seconds_since(start), 1.0);
    ASSERT_EQ(slots(), partitions());
    EXPECT_EQ(p11->C_GetSessionInfo(session, nullptr), CKR_SESSION_HANDLE_INVALID);
    next_session_works();
}

INSTANTIATE_TEST_SUITE_P(Kinds, FaultMatrix, ::testing::ValuesIn(all_kinds), kind_test_name);

}  // namespace
}  // namespace vlrp11::testing
