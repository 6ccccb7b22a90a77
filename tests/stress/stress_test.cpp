// Eight application threads on a token, a PC/SC HSM and a network HSM at once, in the patterns
// real clients use: a pool of sessions kept open and used from five threads (random bytes from the
// device, digests, session information), one thread blocked in C_WaitForSlotEvent, two threads
// storming slot, token and mechanism information, and one thread that unplugs and replugs the
// PC/SC devices and finalises and initialises the library now and then. Every answer is counted
// by call and code; an answer outside the codes such a library may give fails the test.
//
// VLRP11_STRESS_CALLS sets the calls per worker thread (default 300, enough for CI under the
// sanitizers); the full run is VLRP11_STRESS_CALLS=10000.
#include "support/simulated_devices.h"
#include "support/simulated_readers.h"
#include "support/temp_dir.h"

#include "api/function_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vlrp11::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Codes any call may give while other threads finalise the library and unplug devices. Session
// handles are a slot and an entry number, so once a teardown has closed a thread's session,
// another thread's new session may take its handle: the first thread then meets that session's
// digest (CKR_OPERATION_ACTIVE, CKR_OPERATION_NOT_INITIALIZED).
const std::set<CK_RV> expected_codes = {CKR_OK,
                                        CKR_CRYPTOKI_NOT_INITIALIZED,
                                        CKR_SLOT_ID_INVALID,
                                        CKR_SESSION_HANDLE_INVALID,
                                        CKR_SESSION_CLOSED,
                                        CKR_DEVICE_REMOVED,
                                        CKR_DEVICE_ERROR,
                                        CKR_TOKEN_NOT_PRESENT,
                                        CKR_SESSION_COUNT,
                                        CKR_USER_ALREADY_LOGGED_IN,
                                        CKR_USER_NOT_LOGGED_IN,
                                        CKR_OPERATION_ACTIVE,
                                        CKR_OPERATION_NOT_INITIALIZED,
                                        CKR_BUFFER_TOO_SMALL};

class Tally {
public:
    void count(const char* call, CK_RV rv)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++codes_[{call, rv}];
        ++total_;
        if (expected_codes.count(rv) == 0)
            ADD_FAILURE() << call << " answered 0x" << std::hex << rv;
    }
    unsigned long total() const { return total_; }
    void print() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [key, n] : codes_)
            std::printf("  %-22s 0x%08lx %lu\n", key.first.c_str(), static_cast<unsigned long>(key.second), n);
    }

private:
    mutable std::mutex mutex_;
    std::map<std::pair<std::string, CK_RV>, unsigned long> codes_;
    std::atomic<unsigned long> total_{0};
};

unsigned calls_per_thread()
{
    const char* text = std::getenv("VLRP11_STRESS_CALLS");
    return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 300;
}

// The slots whose token label is `label`, as the slot list shows them now.
std::vector<CK_SLOT_ID> slots_of(CK_FUNCTION_LIST_PTR p11, const std::string& label)
{
    CK_SLOT_ID list[64];
    CK_ULONG count = 64;
    std::vector<CK_SLOT_ID> found;
    if (p11->C_GetSlotList(CK_TRUE, list, &count) != CKR_OK)
        return found;
    for (CK_ULONG i = 0; i < count; ++i) {
        CK_TOKEN_INFO info;
        if (p11->C_GetTokenInfo(list[i], &info) != CKR_OK)
            continue;
        std::string text(reinterpret_cast<const char*>(info.label), sizeof info.label);
        if (text.substr(0, text.find_last_not_of(' ') + 1) == label)
            found.push_back(list[i]);
    }
    return found;
}

TEST(Stress, EightThreadsOnEveryDeviceKind)
{
    SimulatedReaders readers;
    SimulatedDevice token(profile_for(sim::DeviceKind::token, 1001));
    SimulatedDevice hsm(profile_for(sim::DeviceKind::pcsc_hsm, 2001));
    SimulatedDevice network(profile_for(sim::DeviceKind::network_hsm, 3001));
    const std::size_t tokenReader = readers.add_reader("KESTRELWORKSHOP VELLARO token 00 00", token.device);
    const std::size_t hsmReader = readers.add_reader("KESTRELWORKSHOP VELLARO HSM 00 00", hsm.device);
    SimulatedNetworkHsm server(network.host);
    TempDir dir("vlrp11-stress");
    const std::filesystem::path config = dir.path() / "network-hsms.json";
    std::ofstream(config) << "[{\"address\": \"" << server.address() << "\", \"partition\": 0}]";
    ::setenv("VLRP11_MORVA_HSM_CONFIG", config.c_str(), 1);

    CK_FUNCTION_LIST_PTR p11 = nullptr;
    ASSERT_EQ(get_function_list(&p11), CKR_OK);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    CK_ULONG count = 0;
    ASSERT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    ASSERT_GE(count, 3u);

    const unsigned calls = calls_per_thread();
    Tally tally;
    std::atomic<unsigned> workersDone{0};
    std::atomic<unsigned long> randomBytes{0};
    std::vector<std::thread> threads;

    // Session pool: one session per thread, reopened whenever it is gone; one thread per kind
    // plus a second on the token and on the network HSM.
    constexpr unsigned pools = 5;
    const char* poolKinds[pools] = {"VELLARO token", "MORVA mini HSM", "MORVA HSM", "VELLARO token", "MORVA HSM"};
    std::atomic<unsigned long> deviceCalls[pools] = {};
    for (unsigned pool = 0; pool < pools; ++pool) {
        threads.emplace_back([&, pool] {
            const char* kind = poolKinds[pool];
            CK_SESSION_HANDLE session = 0;
            bool open = false;
            for (unsigned i = 0; i < calls;) {
                if (!open) {
                    const std::vector<CK_SLOT_ID> slots = slots_of(p11, kind);
                    if (slots.empty()) {
                        // Finalised, or the device is unplugged: wait as a pool does.
                        std::this_thread::sleep_for(1ms);
                        continue;
                    }
                    i += 1 + static_cast<unsigned>(slots.size());
                    const CK_RV rv = p11->C_OpenSession(slots[0], CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr,
                                                        nullptr, &session);
                    tally.count("C_OpenSession", rv);
                    open = rv == CKR_OK;
                    continue;
                }
                CK_BYTE buffer[64];
                CK_ULONG length = sizeof buffer;
                CK_MECHANISM sha = {CKM_SHA256, nullptr, 0};
                CK_SESSION_INFO info;
                CK_RV rv = p11->C_GenerateRandom(session, buffer, 32);
                const CK_RV randomRv = rv;
                tally.count("C_GenerateRandom", rv);
                ++deviceCalls[pool];
                if (rv == CKR_OK)
                    randomBytes += 32;
                rv = p11->C_DigestInit(session, &sha);
                tally.count("C_DigestInit", rv);
                if (rv == CKR_OK)
                    tally.count("C_Digest", p11->C_Digest(session, buffer, 32, buffer, &length));
                rv = p11->C_GetSessionInfo(session, &info);
                tally.count("C_GetSessionInfo", rv);
                i += 4;
                if (rv != CKR_OK) {
                    open = false;
                } else if (randomRv == CKR_DEVICE_ERROR || i % 64 == 0) {
                    // A pool drops a session whose device failed: after an unplug the slot keeps
                    // the dead connection until the next slot list, so its calls fail meanwhile.
                    tally.count("C_CloseSession", p11->C_CloseSession(session));
                    open = false;
                }
            }
            ++workersDone;
        });
    }
    // Attribute storms: slot, token and mechanism information of every slot.
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            for (unsigned i = 0; i < calls;) {
                CK_SLOT_ID list[64];
                CK_ULONG n = 64;
                const CK_RV rv = p11->C_GetSlotList(CK_FALSE, list, &n);
                tally.count("C_GetSlotList", rv);
                if (rv == CKR_CRYPTOKI_NOT_INITIALIZED) {
                    std::this_thread::sleep_for(1ms);
                    continue;
                }
                ++i;
                for (CK_ULONG s = 0; rv == CKR_OK && s < n; ++s, i += 3) {
                    CK_SLOT_INFO slotInfo;
                    CK_TOKEN_INFO tokenInfo;
                    CK_MECHANISM_INFO mechanismInfo;
                    tally.count("C_GetSlotInfo", p11->C_GetSlotInfo(list[s], &slotInfo));
                    tally.count("C_GetTokenInfo", p11->C_GetTokenInfo(list[s], &tokenInfo));
                    tally.count("C_GetMechanismInfo", p11->C_GetMechanismInfo(list[s], CKM_SHA256, &mechanismInfo));
                }
            }
            ++workersDone;
        });
    }
    // The waiter: blocked in C_WaitForSlotEvent until an event or the library's end.
    std::atomic<unsigned> events{0};
    std::atomic<bool> stop{false};
    std::thread waiter([&] {
        while (!stop) {
            CK_SLOT_ID slot = 0;
            const CK_RV rv = p11->C_WaitForSlotEvent(0, &slot, nullptr);
            tally.count("C_WaitForSlotEvent", rv);
            if (rv == CKR_OK)
                ++events;
            else
                std::this_thread::sleep_for(1ms);
        }
    });

    // Unplugs and replugs the PC/SC devices, and cycles the library, while the workers run.
    const auto started = Clock::now();
    unsigned cycles = 0, unplugs = 0;
    while (workersDone < threads.size()) {
        std::this_thread::sleep_for(20ms);
        const std::size_t reader = unplugs % 2 == 0 ? tokenReader : hsmReader;
        readers.insert(reader, nullptr);
        std::this_thread::sleep_for(10ms);
        readers.insert(reader, reader == tokenReader ? token.device : hsm.device);
        ++unplugs;
        if (unplugs % 5 == 0) {
            tally.count("C_Finalize", p11->C_Finalize(nullptr));
            tally.count("C_Initialize", p11->C_Initialize(nullptr));
            ++cycles;
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    stop = true;
    p11->C_Finalize(nullptr);
    waiter.join();
    ::unsetenv("VLRP11_MORVA_HSM_CONFIG");

    std::printf("stress: %lu calls in %.1f s (%.0f calls/s), %u workers x %u calls and a waiter, %u unplugs, %u "
                "finalise cycles, %u slot events, %lu random bytes\n",
                tally.total(), seconds, tally.total() / seconds, static_cast<unsigned>(threads.size()), calls, unplugs, cycles, events.load(),
                randomBytes.load());
    for (unsigned pool = 0; pool < pools; ++pool)
        std::printf("  pool thread on %-15s %lu random calls (%.0f/s)\n", poolKinds[pool], deviceCalls[pool].load(),
                    deviceCalls[pool] / seconds);
    tally.print();
    EXPECT_GT(randomBytes.load(), 0u);
}

}  // namespace
}  // namespace vlrp11::testing
