// The function table against the running simulator, with what it takes to spoil the devices: the
// simulator's control channel, and the work directory of scripts/sim-up.sh, from which pcscd and
// the simulator are killed and started again. Each is at hand only under
// tests/ci/stage-25-device-live.sh; under wine the tests that need them skip.
#pragma once

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
#include <utility>
#include <vector>

namespace vlrp11::testing {

inline std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// sim-up.sh and stage-21 provision the same devices and list partitions 0-3 of both network HSMs.
inline const std::vector<std::string> all_serials = {
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

    // The work directory of sim-up.sh, empty when pcscd and the simulator are not ours to kill.
    std::string work() { return env("VLRP11_SIM_WORK"); }

    // Stops pcscd the way sim-down.sh does and starts a new one on the same readers.
    void restart_pcscd()
    {
        const std::string dir = work();
        std::string restart = "pid=$(cat " + dir + "/pcscd.pid); kill $pid; while kill -0 $pid 2>/dev/null; do "
                              "sleep 0.05; done; pcscd -f -c " + dir + "/reader.conf.d >>" + dir +
                              "/pcscd.log 2>&1 & echo $! >" + dir + "/pcscd.pid";
        ASSERT_EQ(std::system(restart.c_str()), 0);
    }

    // SIGKILL: the simulator has no chance to finish anything; whatever it acknowledged is in its
    // state directories. The wait is bounded: a killed process nobody reaps stays a zombie.
    void kill_simulator()
    {
        const std::string dir = work();
        std::string kill = "pid=$(cat " + dir + "/sim.pid); kill -KILL $pid; for i in $(seq 100); do "
                           "kill -0 $pid 2>/dev/null || break; sleep 0.01; done";
        ASSERT_EQ(std::system(kill.c_str()), 0);
    }

    // Once every device is gone from the slots (pcscd notices a dead link at its next look),
    // starts the simulator again on its states and waits until every device is back.
    void start_simulator()
    {
        ASSERT_TRUE(refresh_until([&] { return list_slots(p11).empty(); }));
        const std::string dir = work();
        std::string start = "bash " + dir + "/sim-serve.sh >" + dir + "/sim.log 2>&1 & echo $! >" + dir +
                            "/sim.pid; for i in $(seq 100); do grep -qs '^ready' " + dir +
                            "/sim.log && exit 0; sleep 0.05; done; exit 1";
        ASSERT_EQ(std::system(start.c_str()), 0) << "the simulator did not start again";
        ASSERT_TRUE(refresh_until([&] { return sorted_serials() == all_serials; }));
    }

    // The serial texts of every slot in sorted order: devices that went away take the free
    // slots in the order they come back.
    std::vector<std::string> sorted_serials()
    {
        std::vector<std::string> serials = token_serials(p11);
        std::sort(serials.begin(), serials.end());
        return serials;
    }

    // The slot holding the device or partition with this serial text, 0 when none does.
    CK_SLOT_ID slot_of(const std::string& serial)
    {
        for (CK_SLOT_ID slot : list_slots(p11))
            if (token_serial(p11, slot) == serial)
                return slot;
        return 0;
    }

    std::string config;
    std::string savedConfig;
    CK_FUNCTION_LIST_PTR p11 = nullptr;
};

}  // namespace vlrp11::testing
