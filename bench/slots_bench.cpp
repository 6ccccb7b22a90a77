// Cost of one slot refresh (C_GetSlotList with a null list) with the full simulated set in
// place: the token and the PC/SC HSM through pcscd, two network HSMs with four partitions each,
// 13 slots. Beside it, the floor: the platform calls that any refresh of those 13 slots makes at
// the least (the configuration read, one reader list, one status query per card handle, one
// socket check per connection). Needs the devices of scripts/sim-up.sh; scripts/bench.sh starts
// them.
#include "api/function_table.h"
#include "device/config_file.h"
#include "device/connect.h"
#include "device/discovery.h"
#include "device/platform_context.h"
#include "platform/sockets.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace vlrp11 {
namespace {

constexpr CK_ULONG simulated_slots = 13;

CK_FUNCTION_LIST_PTR initialised_module(benchmark::State& state)
{
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    get_function_list(&p11);
    p11->C_Initialize(nullptr);
    CK_ULONG count = 0;
    p11->C_GetSlotList(CK_TRUE, nullptr, &count);
    if (count != simulated_slots)
        state.SkipWithError("the simulated devices are not all there (scripts/sim-up.sh)");
    return p11;
}

void BM_Refresh_Library(benchmark::State& state)
{
    CK_FUNCTION_LIST_PTR p11 = initialised_module(state);
    for (auto _ : state) {
        CK_ULONG count = 0;
        p11->C_GetSlotList(CK_TRUE, nullptr, &count);
        benchmark::DoNotOptimize(count);
    }
    p11->C_Finalize(nullptr);
}
BENCHMARK(BM_Refresh_Library)->Name("slot_refresh/ours/13")->UseRealTime();

// The same 13 devices held by connections of their own, checked the cheapest way there is.
void BM_Refresh_Floor(benchmark::State& state)
{
    ensure_platform();
    std::vector<ConnectionPtr> connections;
    char name[READER_NAME_CAPACITY];
    for (DeviceKind kind : {DEVICE_TOKEN, DEVICE_PCSC_HSM}) {
        if (find_reader(0, kind, name) != PCSC_FOUND)
            continue;
        for (int partition = 0; partition < (kind == DEVICE_TOKEN ? 1 : 4); ++partition) {
            ConnectionPtr connection;
            if (connect_reader(name, kind, partition, connection) == PCSC_FOUND)
                connections.push_back(std::move(connection));
        }
    }
    for (const NetworkHsmEntry& entry : read_network_hsm_list()) {
        if (ConnectionPtr connection = connect_network(entry.address.c_str(), static_cast<std::int32_t>(entry.partition)))
            connections.push_back(std::move(connection));
    }
    if (connections.size() != simulated_slots)
        state.SkipWithError("the simulated devices are not all there (scripts/sim-up.sh)");
    for (auto _ : state) {
        std::vector<NetworkHsmEntry> entries = read_network_hsm_list();
        benchmark::DoNotOptimize(entries.data());
        benchmark::DoNotOptimize(find_reader(0, DEVICE_TOKEN, name));
        for (const ConnectionPtr& connection : connections)
            benchmark::DoNotOptimize(connection_alive(*connection));
    }
}
BENCHMARK(BM_Refresh_Floor)->Name("slot_refresh/floor/13")->UseRealTime();

// A first refresh after C_Initialize: every device connected and placed.
void BM_FirstRefresh_Library(benchmark::State& state)
{
    CK_FUNCTION_LIST_PTR p11 = initialised_module(state);
    for (auto _ : state) {
        p11->C_Finalize(nullptr);
        p11->C_Initialize(nullptr);
        CK_ULONG count = 0;
        p11->C_GetSlotList(CK_TRUE, nullptr, &count);
        benchmark::DoNotOptimize(count);
    }
    p11->C_Finalize(nullptr);
}
BENCHMARK(BM_FirstRefresh_Library)->Name("first_slot_refresh/ours/13")->UseRealTime();

}  // namespace
}  // namespace vlrp11

BENCHMARK_MAIN();
