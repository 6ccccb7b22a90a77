// Discovery through the function table against the running simulator: the token and the PC/SC
// HSM through pcsc-lite and pcscd (or, under wine, the test-only winscard.dll), network HSMs
// over loopback TCP as the configuration file lists them. Devices are unplugged and pcscd
// restarted only where the control channel and the simulator's work directory are at hand
// (tests/ci/stage-25-device-live.sh).
#include "support/slot_queries.h"

#include "api/function_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vlrp11::testing {
namespace {

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// sim-up.sh and stage-21 provision the same devices and list partitions 0-3 of both network HSMs.
const std::vector<std::string> all_serials = {
    "1001",   "2001:0", "2001:1", "2001:2", "2001:3", "3001:0", "3001:1",
    "3001:2", "3001:3", "3002:0", "3002:1", "3002:2", "3002:3",
};

class LiveSlots : public ::testing::Test {
protected:
    void SetUp() override
    {
        config = env("VLRP11_MORVA_HSM_CONFIG");
        ASSERT_FALSE(config.empty()) << "VLRP11_MORVA_HSM_CONFIG is not set";
        std::ifstream file(config);
        savedConfig.assign(std::istreambuf_iterator<char>(file), {});
        ASSERT_EQ(get_function_list(&p11), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    }

    void TearDown() override
    {
        p11->C_Finalize(nullptr);
        std::ofstream(config) << savedConfig;
    }

    // The configuration is read again at every refresh.
    void configure(const std::vector<std::pair<std::string, int>>& entries)
    {
        std::ostringstream text;
        text << "[";
        for (std::size_t i = 0; i < entries.size(); ++i)
            text << (i ? "," : "") << "{\"address\": \"" << entries[i].first << "\", \"partition\": "
                 << entries[i].second << "}";
        text << "]";
        std::ofstream(config) << text.str();
    }

    // Refreshes until `done` holds or the time is up (pcscd looks for cards every 0.4 s).
    template <typename Done>
    bool refresh_until(Done done, std::chrono::seconds limit = std::chrono::seconds(10))
    {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    void control(const std::string& request)
    {
        std::string command = env("VLRP11_SIM") + " ctl " + env("VLRP11_SIM_CONTROL") + " " + request + " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << request;
    }

    bool have_control() { return !env("VLRP11_SIM").empty() && !env("VLRP11_SIM_CONTROL").empty(); }

    std::string config;
    std::string savedConfig;
    CK_FUNCTION_LIST_PTR p11 = nullptr;
};

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
    EXPECT_EQ(token_serials(p11), all_serials);
    // The devices in the slots now are new ones: the sessions went with the old.
    for (CK_SESSION_HANDLE session : sessions) {
        CK_SESSION_INFO session_info;
        EXPECT_EQ(p11->C_GetSessionInfo(session, &session_info), CKR_SESSION_HANDLE_INVALID) << session;
    }
}

// pcsc-lite keeps calling its context valid after pcscd restarts; the module must notice the
// "no service" answers and take a new context.
TEST_F(LiveSlots, PcscdRestartedUnderTheProcess)
{
    std::string work = env("VLRP11_SIM_WORK");
    if (work.empty())
        GTEST_SKIP() << "pcscd is not ours to restart";
    ASSERT_EQ(token_serials(p11), all_serials);
    pending_events(p11);
    std::string restart = "pid=$(cat " + work + "/pcscd.pid); kill $pid; while kill -0 $pid 2>/dev/null; do "
                          "sleep 0.05; done; pcscd -f -c " + work + "/reader.conf.d >>" + work +
                          "/pcscd.log 2>&1 & echo $! >" + work + "/pcscd.pid";
    ASSERT_EQ(std::system(restart.c_str()), 0);
    std::vector<CK_SLOT_ID> events;
    EXPECT_TRUE(refresh_until([&] {
        for (CK_SLOT_ID slot : pending_events(p11))
            events.push_back(slot);
        return events.size() >= 5;
    }));
    EXPECT_EQ(events, (std::vector<CK_SLOT_ID>{1, 2, 3, 4, 5}));
    EXPECT_EQ(token_serials(p11), all_serials);
}

}  // namespace
}  // namespace vlrp11::testing
