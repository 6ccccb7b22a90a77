// Several application threads at once, as Java and NSS call a module: slot lists, token and
// slot information, sessions opened and closed and a blocked C_WaitForSlotEvent, while one
// thread finalises and initialises the library again and again. Run under ThreadSanitizer in CI.
#include "support/simulated_devices.h"
#include "support/simulated_readers.h"
#include "support/temp_dir.h"

#include "api/function_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

namespace vlrp11::testing {
namespace {

using namespace std::chrono_literals;

class Answers {
public:
    // Counts an answer outside the codes the call may give in a library that another thread
    // finalises at any moment.
    void check(const char* call, CK_RV rv, std::initializer_list<CK_RV> allowed)
    {
        for (CK_RV ok : allowed) {
            if (rv == ok)
                return;
        }
        ++unexpected;
        ADD_FAILURE() << call << " answered 0x" << std::hex << rv;
    }
    std::atomic<unsigned> unexpected{0};
};

TEST(LibraryLock, CallsFromManyThreadsWhileTheLibraryIsFinalisedAndInitialisedAgain)
{
    SimulatedReaders readers;
    SimulatedDevice token(profile_for(sim::DeviceKind::token, 1001));
    SimulatedDevice network(profile_for(sim::DeviceKind::network_hsm, 3001));
    readers.add_reader("KESTRELWORKSHOP VELLARO token 00 00", token.device);
    SimulatedNetworkHsm server(network.host);
    TempDir dir("vlrp11-lock");
    std::filesystem::path config = dir.path() / "network-hsms.json";
    std::ofstream(config) << "[{\"address\": \"" << server.address() << "\", \"partition\": 0},"
                          << "{\"address\": \"" << server.address() << "\", \"partition\": 1}]";
    ::setenv("VLRP11_MORVA_HSM_CONFIG", config.c_str(), 1);

    CK_FUNCTION_LIST_PTR p11 = nullptr;
    ASSERT_EQ(get_function_list(&p11), CKR_OK);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    Answers answers;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;

    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] {
            while (!stop) {
                CK_ULONG count = 0;
                CK_RV rv = p11->C_GetSlotList(CK_TRUE, nullptr, &count);
                answers.check("C_GetSlotList", rv, {CKR_OK, CKR_CRYPTOKI_NOT_INITIALIZED});
                std::vector<CK_SLOT_ID> slots(count);
                rv = p11->C_GetSlotList(CK_TRUE, slots.data(), &count);
                answers.check("C_GetSlotList", rv, {CKR_OK, CKR_BUFFER_TOO_SMALL, CKR_CRYPTOKI_NOT_INITIALIZED});
                slots.resize(rv == CKR_OK ? count : 0);
                for (CK_SLOT_ID slot : slots) {
                    CK_TOKEN_INFO token_info;
                    CK_SLOT_INFO slot_info;
                    CK_ULONG mechanisms = 0;
                    for (CK_RV answer : {p11->C_GetTokenInfo(slot, &token_info), p11->C_GetSlotInfo(slot, &slot_info),
                                         p11->C_GetMechanismList(slot, nullptr, &mechanisms)})
                        answers.check("slot call", answer, {CKR_OK, CKR_SLOT_ID_INVALID, CKR_CRYPTOKI_NOT_INITIALIZED});
                }
            }
        });
    }
    // Sessions share their device's channel: opened, asked about and closed from one more thread.
    std::atomic<unsigned> opened{0};
    threads.emplace_back([&] {
        while (!stop) {
            for (CK_SLOT_ID slot : {1, 2, 3}) {
                CK_SESSION_HANDLE session = 0;
                CK_RV rv = p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session);
                answers.check("C_OpenSession", rv, {CKR_OK, CKR_SLOT_ID_INVALID, CKR_CRYPTOKI_NOT_INITIALIZED});
                if (rv != CKR_OK)
                    continue;
                ++opened;
                CK_SESSION_INFO info;
                for (CK_RV answer : {p11->C_GetSessionInfo(session, &info), p11->C_CloseSession(session)})
                    answers.check("session call", answer, {CKR_OK, CKR_SESSION_HANDLE_INVALID, CKR_CRYPTOKI_NOT_INITIALIZED});
            }
        }
    });
    std::atomic<unsigned> events{0};
    threads.emplace_back([&] {
        while (!stop) {
            CK_SLOT_ID slot = 0;
            CK_RV rv = p11->C_WaitForSlotEvent(0, &slot, nullptr);
            answers.check("C_WaitForSlotEvent", rv, {CKR_OK, CKR_CRYPTOKI_NOT_INITIALIZED});
            if (rv == CKR_OK)
                ++events;
            else
                std::this_thread::sleep_for(1ms);
        }
    });

    for (int round = 0; round < 15; ++round) {
        std::this_thread::sleep_for(30ms);
        answers.check("C_Finalize", p11->C_Finalize(nullptr), {CKR_OK});
        answers.check("C_Initialize", p11->C_Initialize(nullptr), {CKR_OK});
    }
    // The waiter may be inside a wait that no device will end: one last C_Finalize ends it.
    stop = true;
    for (std::size_t i = 0; i + 1 < threads.size(); ++i)
        threads[i].join();
    p11->C_Finalize(nullptr);
    threads.back().join();

    EXPECT_EQ(answers.unexpected, 0u);
    EXPECT_GT(events, 0u);
    EXPECT_GT(opened, 0u);
    ::unsetenv("VLRP11_MORVA_HSM_CONFIG");
}

}  // namespace
}  // namespace vlrp11::testing
