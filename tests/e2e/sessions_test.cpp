// Sessions, login and PINs through the function table, against one simulated device of each
// kind: the token and the PC/SC HSM behind simulated readers, the network HSM on loopback TCP.
#include "support/module_on_device.h"

#include "api/function_table.h"
#include "api/library_state.h"
#include "core/sample_objects.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vlrp11::testing {
namespace {

CK_UTF8CHAR_PTR text(const char* pin)
{
    return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(pin));
}

constexpr CK_FLAGS RO = CKF_SERIAL_SESSION;
constexpr CK_FLAGS RW = CKF_SERIAL_SESSION | CKF_RW_SESSION;
constexpr std::uint8_t PIN_TRIES = 3;

class Sessions : public ModuleOnDevice {
protected:
    void SetUp() override
    {
        sim::DeviceProfile profile = profile_for(GetParam(), 4242);
        profile.pin_try_limit = PIN_TRIES;
        ASSERT_NO_FATAL_FAILURE(make_device(profile));
        attach();
        ASSERT_GE(slotCount, 1u);
    }

    CK_SESSION_HANDLE open(CK_FLAGS flags)
    {
        CK_SESSION_HANDLE session = 0;
        EXPECT_EQ(p11->C_OpenSession(slot, flags, nullptr, nullptr, &session), CKR_OK);
        return session;
    }

    CK_STATE state(CK_SESSION_HANDLE session)
    {
        CK_SESSION_INFO info{};
        EXPECT_EQ(p11->C_GetSessionInfo(session, &info), CKR_OK);
        return info.state;
    }

    CK_RV login(CK_SESSION_HANDLE session, CK_USER_TYPE type, const char* pin)
    {
        return p11->C_Login(session, type, text(pin), std::strlen(pin));
    }

    bool hsm() const { return GetParam() != sim::DeviceKind::token; }

    const CK_SLOT_ID slot = 1;
};

TEST_P(Sessions, OpenChecksItsArgumentsInOrder)
{
    CK_SESSION_HANDLE session = 0;
    EXPECT_EQ(p11->C_OpenSession(slot, 0, nullptr, nullptr, nullptr), CKR_SESSION_PARALLEL_NOT_SUPPORTED);
    EXPECT_EQ(p11->C_OpenSession(slot, RW, nullptr, nullptr, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_OpenSession(9, RW, nullptr, nullptr, &session), CKR_SLOT_ID_INVALID);
    EXPECT_EQ(p11->C_CloseAllSessions(9), CKR_SLOT_ID_INVALID);
    EXPECT_EQ(p11->C_CloseSession(slot + 0x100), CKR_SESSION_HANDLE_INVALID);
    EXPECT_EQ(p11->C_GetSessionInfo(open(RO), nullptr), CKR_ARGUMENTS_BAD);
}

TEST_P(Sessions, SixteenSessionsAndAFreedEntryIsTakenAgain)
{
    for (unsigned i = 0; i < 16; ++i)
        ASSERT_EQ(open(i % 2 ? RW : RO), slot + 0x100 * (i + 1));
    CK_SESSION_HANDLE session = 0;
    EXPECT_EQ(p11->C_OpenSession(slot, RW, nullptr, nullptr, &session), CKR_HOST_MEMORY);
    ASSERT_EQ(p11->C_CloseSession(slot + 0x300), CKR_OK);
    EXPECT_EQ(p11->C_GetSessionInfo(slot + 0x300, nullptr), CKR_SESSION_HANDLE_INVALID);
    EXPECT_EQ(open(RW), slot + 0x300);
    CK_SESSION_INFO info{};
    ASSERT_EQ(p11->C_GetSessionInfo(slot + 0x300, &info), CKR_OK);
    EXPECT_EQ(info.slotID, slot);
    EXPECT_EQ(info.flags, RW);
    ASSERT_EQ(p11->C_CloseAllSessions(slot), CKR_OK);
    EXPECT_EQ(p11->C_CloseSession(slot + 0x100), CKR_SESSION_HANDLE_INVALID);
}

// A slot ID with bits 8..15 set still names the slot, and its sessions get handles of their own.
TEST_P(Sessions, SlotIdWithASecondByteGivesTheRightHandles)
{
    CK_SESSION_HANDLE first = 0;
    CK_SESSION_HANDLE second = 0;
    ASSERT_EQ(p11->C_OpenSession(slot | 0x200, RO, nullptr, nullptr, &first), CKR_OK);
    ASSERT_EQ(p11->C_OpenSession(slot | 0x200, RO, nullptr, nullptr, &second), CKR_OK);
    EXPECT_EQ(first, slot + 0x100);
    EXPECT_EQ(second, slot + 0x200);
    ASSERT_EQ(p11->C_CloseSession(first), CKR_OK);
    EXPECT_EQ(p11->C_GetSessionInfo(second, nullptr), CKR_ARGUMENTS_BAD);
}

TEST_P(Sessions, LoginStatesFollowTheRoleAndTheSessionKind)
{
    CK_SESSION_HANDLE ro = open(RO);
    CK_SESSION_HANDLE rw = open(RW);
    EXPECT_EQ(state(ro), CKS_RO_PUBLIC_SESSION);
    EXPECT_EQ(state(rw), CKS_RW_PUBLIC_SESSION);
    EXPECT_EQ(p11->C_Login(rw, CKU_USER, nullptr, 0), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(login(rw, CKU_CONTEXT_SPECIFIC, USER_PIN), CKR_OPERATION_NOT_INITIALIZED);
    EXPECT_EQ(login(ro, CKU_SO, SO_PIN), CKR_SESSION_READ_ONLY);
    EXPECT_EQ(login(rw, CKU_SO, SO_PIN), CKR_SESSION_READ_ONLY_EXISTS);
    EXPECT_EQ(p11->C_Logout(rw), CKR_OK);  // nobody logged in: nothing sent

    // A user login from a read-only session is a read-only user on the HSMs.
    ASSERT_EQ(login(ro, CKU_USER, USER_PIN), CKR_OK);
    EXPECT_EQ(state(ro), CKS_RO_USER_FUNCTIONS);
    EXPECT_EQ(state(rw), hsm() ? CKS_RO_USER_FUNCTIONS : CKS_RW_USER_FUNCTIONS);
    EXPECT_EQ(login(rw, CKU_USER, USER_PIN), hsm() ? CKR_USER_ANOTHER_ALREADY_LOGGED_IN : CKR_USER_ALREADY_LOGGED_IN);
    ASSERT_EQ(p11->C_Logout(ro), CKR_OK);

    ASSERT_EQ(p11->C_CloseSession(ro), CKR_OK);
    ASSERT_EQ(login(rw, CKU_SO, SO_PIN), CKR_OK);
    EXPECT_EQ(state(rw), CKS_RW_SO_FUNCTIONS);
    CK_SESSION_HANDLE session = 0;
    EXPECT_EQ(p11->C_OpenSession(slot, RO, nullptr, nullptr, &session), CKR_SESSION_READ_WRITE_SO_EXISTS);
    CK_SESSION_HANDLE second = open(RW);
    EXPECT_EQ(state(second), CKS_RW_SO_FUNCTIONS);
    EXPECT_EQ(login(second, CKU_USER, USER_PIN), CKR_USER_ANOTHER_ALREADY_LOGGED_IN);

    // Closing the last session logs the device out.
    ASSERT_EQ(p11->C_CloseAllSessions(slot), CKR_OK);
    EXPECT_EQ(state(open(RO)), CKS_RO_PUBLIC_SESSION);
}

TEST_P(Sessions, WrongPinsCountUntilTheyLockAndTheSecurityOfficerUnblocks)
{
    CK_SESSION_HANDLE rw = open(RW);
    EXPECT_EQ(p11->C_InitPIN(rw, nullptr, 0), CKR_PIN_INVALID);  // not blocked
    for (unsigned i = 1; i < PIN_TRIES; ++i)
        EXPECT_EQ(login(rw, CKU_USER, "00000000"), CKR_PIN_INCORRECT) << i;
    CK_TOKEN_INFO info{};
    ASSERT_EQ(p11->C_GetTokenInfo(slot, &info), CKR_OK);
    EXPECT_NE(info.flags & CKF_USER_PIN_FINAL_TRY, 0u);
    EXPECT_EQ(login(rw, CKU_USER, "00000000"), CKR_PIN_LOCKED);
    EXPECT_EQ(login(rw, CKU_USER, USER_PIN), CKR_PIN_LOCKED);

    // Unblocking needs the security officer on the device: refused, yet the call succeeds and
    // the session shows the device's answer.
    EXPECT_EQ(p11->C_InitPIN(rw, nullptr, 0), CKR_OK);
    CK_SESSION_INFO session{};
    ASSERT_EQ(p11->C_GetSessionInfo(rw, &session), CKR_OK);
    EXPECT_NE(session.ulDeviceError, 0u);
    ASSERT_EQ(login(rw, CKU_SO, SO_PIN), CKR_OK);
    EXPECT_EQ(p11->C_InitPIN(rw, nullptr, 0), CKR_OK);
    ASSERT_EQ(p11->C_GetSessionInfo(rw, &session), CKR_OK);
    EXPECT_EQ(session.ulDeviceError, 0u);
    ASSERT_EQ(p11->C_Logout(rw), CKR_OK);
    EXPECT_EQ(login(rw, CKU_USER, USER_PIN), CKR_OK);
}

TEST_P(Sessions, SecurityOfficerSetsTheUserPin)
{
    CK_SESSION_HANDLE rw = open(RW);
    EXPECT_EQ(p11->C_InitPIN(rw, text("abcd"), 4), CKR_USER_NOT_LOGGED_IN);
    ASSERT_EQ(login(rw, CKU_SO, SO_PIN), CKR_OK);
    EXPECT_EQ(p11->C_InitPIN(rw, text("abc"), 3), CKR_PIN_LEN_RANGE);
    std::string longest(64, 'p');
    EXPECT_EQ(p11->C_InitPIN(rw, text(longest.c_str()), 65), CKR_PIN_LEN_RANGE);
    ASSERT_EQ(p11->C_InitPIN(rw, text(longest.c_str()), 64), CKR_OK);
    ASSERT_EQ(p11->C_Logout(rw), CKR_OK);
    EXPECT_EQ(login(rw, CKU_USER, USER_PIN), CKR_PIN_INCORRECT);
    EXPECT_EQ(login(rw, CKU_USER, longest.c_str()), CKR_OK);
}

TEST_P(Sessions, SetPinLogsTheUserInWithTheOldPin)
{
    CK_SESSION_HANDLE ro = open(RO);
    EXPECT_EQ(p11->C_SetPIN(ro, nullptr, 0, nullptr, 0), CKR_SESSION_READ_ONLY);
    CK_SESSION_HANDLE rw = open(RW);
    EXPECT_EQ(p11->C_SetPIN(rw, text(USER_PIN), 8, nullptr, 4), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_SetPIN(rw, text(USER_PIN), 8, text("abc"), 3), CKR_PIN_LEN_RANGE);
    EXPECT_EQ(p11->C_SetPIN(rw, text("wrong-pin"), 9, text("new-pin"), 7), CKR_PIN_INCORRECT);
    ASSERT_EQ(p11->C_SetPIN(rw, text(USER_PIN), 8, text("new-pin"), 7), CKR_OK);
    EXPECT_EQ(state(rw), CKS_RW_USER_FUNCTIONS);
    ASSERT_EQ(p11->C_Logout(rw), CKR_OK);
    EXPECT_EQ(login(rw, CKU_USER, USER_PIN), CKR_PIN_INCORRECT);
    EXPECT_EQ(login(rw, CKU_USER, "new-pin"), CKR_OK);
}

TEST_P(Sessions, InitTokenSetsTheDefaultUserPin)
{
    CK_SESSION_HANDLE session = open(RW);
    EXPECT_EQ(p11->C_InitToken(slot, text(SO_PIN), 8, nullptr), CKR_SESSION_EXISTS);
    ASSERT_EQ(p11->C_CloseSession(session), CKR_OK);
    EXPECT_EQ(p11->C_InitToken(slot, nullptr, 8, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_InitToken(slot, text("00000000"), 8, nullptr), CKR_PIN_INCORRECT);
    ASSERT_EQ(p11->C_InitToken(slot, text(SO_PIN), 8, nullptr), CKR_OK);
    session = open(RW);
    EXPECT_EQ(state(session), CKS_RW_PUBLIC_SESSION);
    EXPECT_EQ(login(session, CKU_USER, USER_PIN), CKR_PIN_INCORRECT);
    EXPECT_EQ(login(session, CKU_USER, "735204"), CKR_OK);
}

unsigned cached_token_objects(CK_SLOT_ID slot)
{
    unsigned count = 0;
    for (const ObjectRecord* record : library_state().slots[slot - 1].tokenObjects)
        count += record != nullptr;
    return count;
}

// The slot's object cache follows the login: a token's public objects come with its first
// session, private ones with a user login, and go again at logout or with the last session.
TEST_P(Sessions, TokenObjectsFollowTheLogin)
{
    std::string error;
    ASSERT_TRUE(provision_sample_objects(*simulated->device, error)) << error;
    const unsigned visible = hsm() ? 0 : 3;  // the data object and two certificates
    const unsigned all = hsm() ? 4 : 5;      // partition 0: an EC key, its certificate, RSA and AES keys
    CK_SESSION_HANDLE session = open(RO);
    EXPECT_EQ(cached_token_objects(slot), visible);
    ASSERT_EQ(login(session, CKU_USER, USER_PIN), CKR_OK);
    EXPECT_EQ(cached_token_objects(slot), all);
    ASSERT_EQ(p11->C_Logout(session), CKR_OK);
    EXPECT_EQ(cached_token_objects(slot), visible);
    ASSERT_EQ(login(session, CKU_USER, USER_PIN), CKR_OK);
    ASSERT_EQ(p11->C_CloseSession(session), CKR_OK);
    EXPECT_EQ(cached_token_objects(slot), visible);
    EXPECT_EQ(state(open(RO)), CKS_RO_PUBLIC_SESSION);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, Sessions, ::testing::ValuesIn(all_kinds), kind_test_name);

}  // namespace
}  // namespace vlrp11::testing
