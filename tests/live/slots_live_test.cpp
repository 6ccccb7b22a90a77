// Discovery through the function table against the running simulator: the token and the PC/SC
// HSM through pcsc-lite and pcscd (or, under wine, the test-only winscard.dll), network HSMs
// over loopback TCP as the configuration file lists them; devices unplugged and pcscd restarted
// where live/live_slots.h has the means.
#include "live/live_slots.h"

#include <algorithm>

namespace vlrp11::testing {
namespace {

std::string field(const unsigned char* text, std::size_t length)
{
    std::string value(reinterpret_cast<const char*>(text), length);
    return value.substr(0, value.find_last_not_of(' ') + 1);
}

TEST_F(LiveSlots, EverySimulatedDeviceOnceWithItsTexts)
{
    ASSERT_EQ(token_serials(p11), all_serials);
    EXPECT_EQ(pending_events(p11).size(), all_serials.size());
    EXPECT_EQ(token_serials(p11), all_serials);
    EXPECT_EQ(pending_events(p11), std::vector<CK_SLOT_ID>{});

    const struct {
        CK_SLOT_ID slot;
        const char* label;
        const char* manufacturer;
        const char* model;
    } texts[] = {
        {1, "VELLARO token", "KESTRELWORKSHOP LLC", "VELLARO 2000"},
        {2, "MORVA mini HSM", "RVN LLC", "MORVA mini HSM"},
        {6, "MORVA HSM", "RVN LLC", "MORVA HSM"},
    };
    for (const auto& t : texts) {
        CK_TOKEN_INFO info;
        ASSERT_EQ(p11->C_GetTokenInfo(t.slot, &info), CKR_OK);
        EXPECT_EQ(field(info.label, sizeof info.label), t.label);
        EXPECT_EQ(field(info.manufacturerID, sizeof info.manufacturerID), t.manufacturer);
        EXPECT_EQ(field(info.model, sizeof info.model), t.model);
        CK_ULONG mechanisms = 0;
        ASSERT_EQ(p11->C_GetMechanismList(t.slot, nullptr, &mechanisms), CKR_OK);
        EXPECT_EQ(mechanisms, 44u);
    }
}

TEST_F(LiveSlots, NetworkHsmsAsConfigured)
{
    // The same partition twice connects once; a host name is no address.
    configure({{"127.0.0.2", 0}, {"127.0.0.2", 0}, {"localhost", 1}, {"127.0.0.3", 1}});
    EXPECT_EQ(token_serials(p11), (std::vector<std::string>{"1001", "2001:0", "2001:1", "2001:2", "2001:3",
                                                            "3001:0", "3002:1"}));
    // A full table leaves the rest of the list unconnected.
    std::vector<std::pair<std::string, int>> many;
    for (int partition = 0; partition < 70; ++partition)
        many.emplace_back("127.0.0.3", partition);
    configure(many);
    std::vector<std::string> serials = token_serials(p11);
    ASSERT_EQ(serials.size(), 64u);
    EXPECT_EQ(serials[5], "3001:0");
    EXPECT_EQ(serials[6], "3002:1");
    EXPECT_EQ(serials[7], "3002:0");
    EXPECT_EQ(serials[63], "3002:57");
}

// A dropped link is an unplugged card at pcscd's next look and a new card at the one after; a
// dropped TCP connection is a network HSM that went away and is back at once.
TEST_F(LiveSlots, UnpluggedDevicesComeBackAsNewDevices)
{
    if (!have_control())
        GTEST_SKIP() << "no control channel";
    ASSERT_EQ(token_serials(p11), all_serials);
    pending_events(p11);
    std::vector<CK_SESSION_HANDLE> sessions;
    for (CK_SLOT_ID slot : {1, 2, 6}) {
        CK_SESSION_HANDLE session = 0;
        ASSERT_EQ(p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session), CKR_OK) << slot;
        sessions.push_back(session);
    }
    CK_TOKEN_INFO info;
    for (const char* device : {"token", "hsm", "net-127.0.0.2"})
        control(std::string("drop ") + device);
    for (CK_SLOT_ID slot : {1, 2, 6})
        EXPECT_EQ(p11->C_GetTokenInfo(slot, &info), CKR_OK);
    std::vector<CK_SLOT_ID> events;
    EXPECT_TRUE(refresh_until([&] {
        for (CK_SLOT_ID slot : pending_events(p11))
            events.push_back(slot);
        return events.size() >= 6 && list_slots(p11).size() == all_serials.size();
    })) << events.size() << " events";
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<CK_SLOT_ID>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(sorted_serials(), all_serials);
    // The devices in the slots now are new ones: the sessions went with the old.
    for (CK_SESSION_HANDLE session : sessions) {
        CK_SESSION_INFO session_info;
        EXPECT_EQ(p11->C_GetSessionInfo(session, &session_info), CKR_SESSION_HANDLE_INVALID) << session;
    }
}

// pcsc-lite keeps calling its context valid after pcscd restarts; the module must notice the
// "no service" answers and take a new context. A session open across the restart answers its
// next call at once and is gone after the refresh.
TEST_F(LiveSlots, PcscdRestartedUnderTheProcess)
{
    if (work().empty())
        GTEST_SKIP() << "pcscd is not ours to restart";
    ASSERT_EQ(token_serials(p11), all_serials);
    pending_events(p11);
    CK_SESSION_HANDLE session = 0;
    ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION, nullptr, nullptr, &session), CKR_OK);
    restart_pcscd();
    CK_BYTE bytes[16];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(p11->C_GenerateRandom(session, bytes, sizeof bytes), CKR_DEVICE_ERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    std::vector<CK_SLOT_ID> events;
    EXPECT_TRUE(refresh_until([&] {
        for (CK_SLOT_ID slot : pending_events(p11))
            events.push_back(slot);
        return events.size() >= 5;
    }));
    EXPECT_EQ(events, (std::vector<CK_SLOT_ID>{1, 2, 3, 4, 5}));
    EXPECT_EQ(token_serials(p11), all_serials);
    EXPECT_EQ(p11->C_GetSessionInfo(session, nullptr), CKR_SESSION_HANDLE_INVALID);
    ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION, nullptr, nullptr, &session), CKR_OK);
    EXPECT_EQ(p11->C_GenerateRandom(session, bytes, sizeof bytes), CKR_OK);
}

}  // namespace
}  // namespace vlrp11::testing
