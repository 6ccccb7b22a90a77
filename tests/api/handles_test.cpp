#include "support/module_fixture.h"

#include "api/handles.h"
#include "api/library_state.h"
#include "api/session_record.h"
#include "objects/object_record.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vlrp11::testing {
namespace {

using HandlesTest = ModuleTest;

TEST_F(HandlesTest, SessionHandleUsesLowTwoBytesOnly)
{
    CK_SLOT_ID slot = place_fake_device(0);
    CK_SESSION_HANDLE handle = open_fake_session(slot, 0);
    EXPECT_EQ(handle, 0x101u);

    struct Case {
        CK_SESSION_HANDLE handle;
        CK_RV expected;
    };
    const Case cases[] = {
        {0x00000101, CKR_OK},
        {0x00010101, CKR_OK},  // bits 16..31 are ignored
        {0xFFFF0101, CKR_OK},
        {0x00001101, CKR_SESSION_HANDLE_INVALID},  // session byte 17
        {0x00000201, CKR_SESSION_HANDLE_INVALID},  // session 2 not open
        {0x00000001, CKR_SESSION_HANDLE_INVALID},  // session byte 0
        {0x00000100, CKR_SESSION_HANDLE_INVALID},  // slot byte 0
        {0x00000102, CKR_SESSION_HANDLE_INVALID},  // empty slot
        {0x00000141, CKR_SESSION_HANDLE_INVALID},  // slot byte 65
    };
    for (const Case& c : cases) {
        ResolvedSession resolved{};
        EXPECT_EQ(resolveSession(c.handle, resolved), c.expected) << std::hex << c.handle;
        if (c.expected == CKR_OK) {
            EXPECT_EQ(resolved.slotIndex, 0u);
            EXPECT_EQ(resolved.session, library_state().slots[0].sessions[0]);
            EXPECT_EQ(resolved.connection, library_state().slots[0].connection);
        }
    }
}

TEST_F(HandlesTest, SessionHandleIsBuiltFromTheSlotIdAsPassed)
{
    EXPECT_EQ(make_session_handle(5, 0), 0x105u);
    EXPECT_EQ(make_session_handle(64, 15), 0x1040u);
    EXPECT_EQ(make_session_handle(0x305, 1), 0x205u);  // bits 8..15 would name another session
    EXPECT_EQ(make_session_handle(0x10005, 1), 0x10205u);  // higher bits carry into the handle
}

TEST_F(HandlesTest, SlotIdLooksAtTheLowByteOnly)
{
    place_fake_device(63);
    EXPECT_NE(resolveSlot(64), nullptr);
    EXPECT_NE(resolveSlot(0x1240), nullptr);
    EXPECT_EQ(resolveSlot(0x100), nullptr);  // low byte 0
    EXPECT_EQ(resolveSlot(65), nullptr);
    EXPECT_EQ(resolveSlot(1), nullptr);  // empty slot
}

TEST_F(HandlesTest, ObjectHandlesSelectTableAndPublicView)
{
    CK_SLOT_ID slot = place_fake_device(2);
    CK_SESSION_HANDLE handle = open_fake_session(slot, 3);
    ResolvedSession session{};
    ASSERT_EQ(resolveSession(handle, session), CKR_OK);

    ObjectRecord* privateKey = add_token_object(slot, 0, CKO_PRIVATE_KEY);
    ObjectRecord* certificate = add_token_object(slot, 1, CKO_CERTIFICATE);
    ObjectRecord* sessionKey = add_session_object(handle, 0, CKO_SECRET_KEY);
    ObjectRecord* lastSessionObject = add_session_object(handle, 63, CKO_DATA);

    EXPECT_EQ(resolveObject(session, 0x0001), privateKey);
    EXPECT_EQ(resolveObject(session, 0x0002), certificate);
    EXPECT_EQ(resolveObject(session, 0x8001), sessionKey);
    EXPECT_EQ(resolveObject(session, 0x8040), lastSessionObject);
    EXPECT_EQ(resolveObject(session, 0x7FFF0001), privateKey);  // bits 16..30 are ignored
    EXPECT_EQ(resolveObject(session, 0x0000), nullptr);
    EXPECT_EQ(resolveObject(session, 0x0003), nullptr);
    EXPECT_EQ(resolveObject(session, 0x0041), nullptr);  // index 65
    EXPECT_EQ(resolveObject(session, 0x8002), nullptr);

    // The public view exists only for private keys whose view was not destroyed.
    EXPECT_EQ(resolveObject(session, 0x80000001), privateKey);
    EXPECT_EQ(resolveObject(session, 0x80000002), nullptr);
    privateKey->publicViewHidden = 1;
    EXPECT_EQ(resolveObject(session, 0x80000001), nullptr);
    EXPECT_EQ(resolveObject(session, 0x0001), privateKey);
}

// Every table has live neighbours, as in a busy library: an index one past a table must not read
// them. Slot 0's sessions are followed by slot 1's record, a slot's token objects by its
// sessions, a session's objects by its find results.
TEST_F(HandlesTest, IndicesOnePastATableDoNotReachTheNeighbours)
{
    CK_SLOT_ID slot = place_fake_device(0);
    CK_SESSION_HANDLE handle = open_fake_session(slot, 0);
    place_fake_device(1);
    std::memset(library_state().slots[1].deviceName, 'x', sizeof library_state().slots[1].deviceName - 1);
    open_fake_session(2, 0);
    ResolvedSession session{};
    ASSERT_EQ(resolveSession(handle, session), CKR_OK);
    session.session->findResults[0] = 0x8001;
    session.session->findResults[1] = 0x0001;
    add_token_object(slot, 63, CKO_DATA);
    add_session_object(handle, 63, CKO_DATA);

    ResolvedSession other{};
    EXPECT_EQ(resolveSession(0x1101, other), CKR_SESSION_HANDLE_INVALID);  // session 17 of slot 1
    EXPECT_EQ(resolveSession(0x1041, other), CKR_SESSION_HANDLE_INVALID);  // slot 65
    EXPECT_EQ(resolveObject(session, 0x0041), nullptr);                    // token object 65
    EXPECT_EQ(resolveObject(session, 0x8041), nullptr);                    // session object 65
    EXPECT_NE(resolveObject(session, 0x0040), nullptr);
    EXPECT_NE(resolveObject(session, 0x8040), nullptr);
}

TEST_F(HandlesTest, FinaliseForgetsSlotsAndSessions)
{
    CK_SLOT_ID slot = place_fake_device(0);
    CK_SESSION_HANDLE handle = open_fake_session(slot, 0);
    add_token_object(slot, 0, CKO_DATA);
    add_session_object(handle, 0, CKO_DATA);

    ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    ResolvedSession session{};
    EXPECT_EQ(resolveSession(handle, session), CKR_CRYPTOKI_NOT_INITIALIZED);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    EXPECT_EQ(resolveSession(handle, session), CKR_SESSION_HANDLE_INVALID);
    const SlotRecord empty{};
    EXPECT_EQ(std::memcmp(&library_state().slots[0], &empty, sizeof empty), 0);
}

}  // namespace
}  // namespace vlrp11::testing
