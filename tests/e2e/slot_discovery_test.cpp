// Discovery through the function table: simulated cards behind a simulated PC/SC service and
// network HSMs on loopback TCP, found, kept, dropped and found again by the slot refresh.
#include "support/simulated_devices.h"
#include "support/simulated_readers.h"
#include "support/slot_queries.h"
#include "support/temp_dir.h"

#include "api/function_table.h"
#include "api/library_state.h"
#include "api/session_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace vlrp11::testing {
namespace {

constexpr char token_reader[] = "KESTRELWORKSHOP VELLARO token 00 00";
constexpr char hsm_reader[] = "KESTRELWORKSHOP VELLARO HSM 01 00";

class SlotDiscovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        config = configDir.path() / "network-hsms.json";
        set_network_hsms({});
        ::setenv("VLRP11_MORVA_HSM_CONFIG", config.c_str(), 1);
        ASSERT_EQ(get_function_list(&p11), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    }

    void TearDown() override
    {
        p11->C_Finalize(nullptr);
        ::unsetenv("VLRP11_MORVA_HSM_CONFIG");
    }

    // The configuration file lists these (address, partition) pairs.
    void set_network_hsms(const std::vector<std::pair<std::string, int>>& entries)
    {
        std::ofstream file(config);
        file << "[";
        for (std::size_t i = 0; i < entries.size(); ++i)
            file << (i ? "," : "") << "{\"address\": \"" << entries[i].first << "\", \"partition\": "
                 << entries[i].second << "}";
        file << "]";
    }

    std::vector<CK_SLOT_ID> slots() { return list_slots(p11); }
    std::string serial(CK_SLOT_ID slot) { return token_serial(p11, slot); }
    std::vector<std::string> serials() { return token_serials(p11); }
    std::vector<CK_SLOT_ID> events() { return pending_events(p11); }

    TempDir configDir{"vlrp11-discovery"};
    std::filesystem::path config;
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    SimulatedReaders readers;
    SimulatedDevice token{profile_for(sim::DeviceKind::token, 1001)};
    SimulatedDevice hsm{profile_for(sim::DeviceKind::pcsc_hsm, 2001)};
    SimulatedDevice network{profile_for(sim::DeviceKind::network_hsm, 3001)};
};

TEST_F(SlotDiscovery, FindsEveryKindOnceAndReportsEachSlotOnce)
{
    readers.add_reader(token_reader, token.device);
    readers.add_reader(hsm_reader, hsm.device);
    SimulatedNetworkHsm server(network.host);
    set_network_hsms({{server.address(), 0}, {server.address(), 7}, {server.address(), 0}});
    const std::vector<std::string> expected = {"1001", "2001:0", "2001:1", "2001:2", "2001:3", "3001:0", "3001:7"};
    EXPECT_EQ(serials(), expected);
    EXPECT_EQ(events(), (std::vector<CK_SLOT_ID>{1, 2, 3, 4, 5, 6, 7}));
    // A second refresh finds the same devices in their slots and raises no event.
    EXPECT_EQ(serials(), expected);
    EXPECT_EQ(events(), std::vector<CK_SLOT_ID>{});
}

// Callers that pass their list at once (p11-kit does) see the devices on their first call; later
// lists stay as the last refresh left them.
TEST_F(SlotDiscovery, FirstListAfterInitialiseLooksForDevices)
{
    readers.add_reader(token_reader, token.device);
    std::vector<CK_SLOT_ID> list(8);
    CK_ULONG count = list.size();
    ASSERT_EQ(p11->C_GetSlotList(CK_TRUE, list.data(), &count), CKR_OK);
    EXPECT_EQ(count, 1u);
    readers.add_reader(hsm_reader, hsm.device);
    count = list.size();
    ASSERT_EQ(p11->C_GetSlotList(CK_TRUE, list.data(), &count), CKR_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(slots().size(), 5u);
}

TEST_F(SlotDiscovery, ReadersAreKnownByTheStartOfTheirNames)
{
    readers.add_reader("Acme KESTRELWORKSHOP VELLARO token", token.device);
    readers.add_reader("KESTRELWORKSHOP VELLARO HS", hsm.device);
    EXPECT_EQ(slots(), std::vector<CK_SLOT_ID>{});
    // A name too long for the slot's 127 characters is kept cut, and still known at the next
    // refresh as the device already there.
    std::string long_name = std::string(token_reader) + std::string(150, 'x');
    readers.add_reader(long_name, token.device);
    EXPECT_EQ(slots(), std::vector<CK_SLOT_ID>{1});
    EXPECT_EQ(slots(), std::vector<CK_SLOT_ID>{1});
    EXPECT_EQ(std::string(library_state().slots[0].deviceName), long_name.substr(0, 127));
}

TEST_F(SlotDiscovery, UnpluggedDevicesLoseTheirSlotsAndSessions)
{
    std::size_t token_slot = readers.add_reader(token_reader, token.device);
    std::size_t hsm_slot = readers.add_reader(hsm_reader, hsm.device);
    ASSERT_EQ(slots().size(), 5u);
    auto* session = static_cast<SessionRecord*>(std::calloc(1, sizeof(SessionRecord)));
    library_state().slots[0].sessions[3] = session;

    readers.insert(token_slot, nullptr);
    EXPECT_EQ(slots(), (std::vector<CK_SLOT_ID>{2, 3, 4, 5}));
    readers.insert(hsm_slot, nullptr);
    EXPECT_EQ(slots(), std::vector<CK_SLOT_ID>{});
    events();

    // Plugged in again, the token takes the lowest free slot with a new event and no session.
    readers.insert(token_slot, token.device);
    EXPECT_EQ(slots(), std::vector<CK_SLOT_ID>{1});
    EXPECT_EQ(library_state().slots[0].sessions[3], nullptr);
    EXPECT_EQ(events(), std::vector<CK_SLOT_ID>{1});
}

// pcsc-lite keeps calling its context valid after pcscd restarts while every call on it answers
// "no service"; the refresh that meets that answer starts over with a new context.
TEST_F(SlotDiscovery, PcscServiceRestartIsSurvivedInOneRefresh)
{
    readers.add_reader(token_reader, token.device);
    readers.add_reader(hsm_reader, hsm.device);
    ASSERT_EQ(slots().size(), 5u);
    events();
    readers.restart_service();
    EXPECT_EQ(serials(), (std::vector<std::string>{"1001", "2001:0", "2001:1", "2001:2", "2001:3"}));
    EXPECT_EQ(events(), (std::vector<CK_SLOT_ID>{1, 2, 3, 4, 5}));
    EXPECT_EQ(slots().size(), 5u);
}

TEST_F(SlotDiscovery, FullTableEndsDiscoveryQuietly)
{
    SimulatedNetworkHsm server(network.host);
    std::vector<std::pair<std::string, int>> partitions;
    for (int partition = 0; partition < 62; ++partition)
        partitions.emplace_back(server.address(), partition);
    set_network_hsms(partitions);
    ASSERT_EQ(slots().size(), 62u);

    // With two slots left, an HSM gets partitions 0 and 1; the second HSM reader is not looked
    // at, and the partitions added to the configuration find no room.
    readers.add_reader(hsm_reader, hsm.device);
    SimulatedDevice second_hsm(profile_for(sim::DeviceKind::pcsc_hsm, 2002));
    readers.add_reader("KESTRELWORKSHOP VELLARO HSM 02 00", second_hsm.device);
    partitions.emplace_back(server.address(), 62);
    set_network_hsms(partitions);
    EXPECT_EQ(slots().size(), 64u);
    EXPECT_EQ(serial(63), "2001:0");
    EXPECT_EQ(serial(64), "2001:1");
    EXPECT_EQ(readers.connects(), 2u);
}

TEST_F(SlotDiscovery, NetworkHsmStoppedAndRestartedComesBackInTheSameRefresh)
{
    std::string address;
    {
        SimulatedNetworkHsm server(network.host);
        address = server.address();
        set_network_hsms({{address, 0}, {address, 1}, {"localhost", 2}, {"127.0.0.1.5", 3}});
        EXPECT_EQ(serials(), (std::vector<std::string>{"3001:0", "3001:1"}));
        events();
    }
    EXPECT_EQ(slots(), std::vector<CK_SLOT_ID>{});
    SimulatedNetworkHsm restarted(network.host, address);
    EXPECT_EQ(serials(), (std::vector<std::string>{"3001:0", "3001:1"}));
    EXPECT_EQ(events(), (std::vector<CK_SLOT_ID>{1, 2}));
}

TEST_F(SlotDiscovery, BusyDeviceIsWaitedFor)
{
    readers.add_reader(token_reader, token.device);
    token.device->faults().answer_busy(3, 16);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(serials(), std::vector<std::string>{"1001"});
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

}  // namespace
}  // namespace vlrp11::testing
