// Eight application threads on a token, a PC/SC HSM and a network HSM at once, in the patterns
// real clients use: a pool of sessions kept open, logged in and used from five threads (random
// bytes from the device, digests, ECDSA signatures with a key pair made on each device, session
// information), one thread blocked in C_WaitForSlotEvent, two threads storming slot, token and
// mechanism information, and one thread that unplugs and replugs the PC/SC devices and finalises
// and initialises the library now and then. Every answer is counted by device kind, call and
// code; an answer outside the codes such a library may give fails the test, and so does any
// signature that OpenSSL does not accept under the public key the module gave for the key.
//
// VLRP11_STRESS_CALLS sets the calls per worker thread (default 10000, the load the module is
// held to: some 3 s in a release build, under a minute under either sanitizer).
#include "support/openssl_checks.h"
#include "support/simulated_devices.h"
#include "support/simulated_readers.h"
#include "support/temp_dir.h"

#include "api/function_table.h"

#include <gtest/gtest.h>
#include <openssl/obj_mac.h>
#include <openssl/sha.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace vlrp11::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// Codes any call may give while other threads finalise the library and unplug devices. Session
// handles are a slot and an entry number, so once a teardown has closed a thread's session,
// another thread's new session may take its handle: the first thread then meets that session's
// operation (CKR_OPERATION_ACTIVE, CKR_OPERATION_NOT_INITIALIZED) or a key handle that names
// nothing there (CKR_OBJECT_HANDLE_INVALID, CKR_KEY_TYPE_INCONSISTENT).
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
                                        CKR_OBJECT_HANDLE_INVALID,
                                        CKR_KEY_TYPE_INCONSISTENT,
                                        CKR_BUFFER_TOO_SMALL};

// The figures are kept per device kind; calls that concern no one device, and slot calls on a
// slot whose device had gone, have groups of their own.
constexpr unsigned kinds = 3;
constexpr unsigned library_group = kinds;
constexpr unsigned no_device_group = kinds + 1;
constexpr unsigned groups = kinds + 2;
const char* const group_names[groups] = {"VELLARO token", "MORVA mini HSM", "MORVA HSM", "library",
                                         "slot without device"};

class Tally {
public:
    void count(unsigned group, const char* call, CK_RV rv)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++codes_[{group, call, rv}];
        ++totals_[group];
        if (expected_codes.count(rv) == 0)
            ADD_FAILURE() << group_names[group] << ": " << call << " answered 0x" << std::hex << rv;
    }
    unsigned long total(unsigned group) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return totals_[group];
    }
    void print(unsigned group) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [key, n] : codes_)
            if (std::get<0>(key) == group)
                std::printf("    %-22s 0x%08lx %lu\n", std::get<1>(key).c_str(),
                            static_cast<unsigned long>(std::get<2>(key)), n);
    }

private:
    mutable std::mutex mutex_;
    std::map<std::tuple<unsigned, std::string, CK_RV>, unsigned long> codes_;
    unsigned long totals_[groups] = {};
};

unsigned calls_per_thread()
{
    const char* text = std::getenv("VLRP11_STRESS_CALLS");
    return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 10000;
}

std::string trimmed(const CK_UTF8CHAR* text, std::size_t length)
{
    std::string s(reinterpret_cast<const char*>(text), length);
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

// The group of a token label; no_device_group for a label of no kind.
unsigned group_of(const std::string& label)
{
    for (unsigned kind = 0; kind < kinds; ++kind)
        if (label == group_names[kind])
            return kind;
    return no_device_group;
}

// A slot as the slot list shows it now: its ID, kind and token serial number.
struct SlotSeen {
    CK_SLOT_ID id;
    unsigned kind;
    std::string serial;
};

std::vector<SlotSeen> slots_now(CK_FUNCTION_LIST_PTR p11)
{
    CK_SLOT_ID list[64];
    CK_ULONG count = 64;
    std::vector<SlotSeen> found;
    if (p11->C_GetSlotList(CK_TRUE, list, &count) != CKR_OK)
        return found;
    for (CK_ULONG i = 0; i < count; ++i) {
        CK_TOKEN_INFO info;
        if (p11->C_GetTokenInfo(list[i], &info) == CKR_OK)
            found.push_back({list[i], group_of(trimmed(info.label, sizeof info.label)),
                             trimmed(info.serialNumber, sizeof info.serialNumber)});
    }
    return found;
}

CK_UTF8CHAR_PTR user_pin()
{
    return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(USER_PIN));
}

CK_BYTE signer_label[] = {'s', 't', 'r', 'e', 's', 's', ' ', 's', 'i', 'g', 'n', 'e', 'r'};

// The signing key of one device kind: the slot's serial number (an HSM shows one slot per
// partition) and the public point X ‖ Y as the module answers CKA_EC_POINT.
struct Signer {
    std::string serial;
    Bytes xy;
};

// Makes a P-256 token key pair on the first slot of the kind, through the function table.
Signer make_signer(CK_FUNCTION_LIST_PTR p11, unsigned kind)
{
    Signer signer;
    CK_SESSION_HANDLE session = 0;
    for (const SlotSeen& slot : slots_now(p11)) {
        if (slot.kind != kind)
            continue;
        signer.serial = slot.serial;
        EXPECT_EQ(p11->C_OpenSession(slot.id, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session),
                  CKR_OK);
        break;
    }
    EXPECT_EQ(p11->C_Login(session, CKU_USER, user_pin(), std::strlen(USER_PIN)), CKR_OK);
    CK_BYTE p256Oid[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
    CK_BBOOL yes = CK_TRUE;
    CK_ATTRIBUTE publicTemplate[] = {{CKA_EC_PARAMS, p256Oid, sizeof p256Oid}, {CKA_VERIFY, &yes, 1}};
    CK_ATTRIBUTE privateTemplate[] = {
        {CKA_LABEL, signer_label, sizeof signer_label}, {CKA_SIGN, &yes, 1}, {CKA_TOKEN, &yes, 1}};
    CK_MECHANISM generate = {CKM_EC_KEY_PAIR_GEN, nullptr, 0};
    CK_OBJECT_HANDLE publicKey = 0, privateKey = 0;
    EXPECT_EQ(p11->C_GenerateKeyPair(session, &generate, publicTemplate, 2, privateTemplate, 3, &publicKey, &privateKey),
              CKR_OK);
    // An uncompressed point in a DER octet string: 04 41 04 X Y.
    CK_BYTE point[67] = {};
    CK_ATTRIBUTE attribute = {CKA_EC_POINT, point, sizeof point};
    EXPECT_EQ(p11->C_GetAttributeValue(session, publicKey, &attribute, 1), CKR_OK);
    EXPECT_EQ(attribute.ulValueLen, sizeof point);
    signer.xy.assign(point + 3, point + sizeof point);
    EXPECT_EQ(p11->C_CloseSession(session), CKR_OK);
    return signer;
}

// Signatures by the device kind of the thread that asked for them. One that verifies under the
// key of another kind was made through a session handle a teardown had handed on to a session
// on that device: a valid signature, by a key the thread did not mean.
struct SignatureFigures {
    std::atomic<unsigned long> made{0}, own{0}, otherKey{0}, invalid{0};
};

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
    Signer signers[kinds];
    for (unsigned kind = 0; kind < kinds; ++kind) {
        signers[kind] = make_signer(p11, kind);
        ASSERT_EQ(signers[kind].xy.size(), 64u) << group_names[kind];
    }

    const unsigned calls = calls_per_thread();
    Tally tally;
    SignatureFigures signatures[kinds];
    std::atomic<unsigned> workersDone{0};
    std::atomic<unsigned long> randomBytes{0};
    std::vector<std::thread> threads;

    // Session pool: one session per thread, reopened and logged in whenever it is gone; one
    // thread per kind plus a second on the token and on the network HSM.
    constexpr unsigned pools = 5;
    const unsigned poolKinds[pools] = {0, 1, 2, 0, 2};
    for (unsigned pool = 0; pool < pools; ++pool) {
        threads.emplace_back([&, pool] {
            const unsigned kind = poolKinds[pool];
            auto counted = [&](const char* call, CK_RV rv) {
                tally.count(kind, call, rv);
                return rv;
            };
            CK_SESSION_HANDLE session = 0;
            CK_OBJECT_HANDLE key = 0;
            bool open = false;
            unsigned uses = 0;  // rounds on the open session
            for (unsigned i = 0; i < calls;) {
                if (!open) {
                    const std::vector<SlotSeen> slots = slots_now(p11);
                    i += 1 + static_cast<unsigned>(slots.size());
                    const SlotSeen* mine = nullptr;
                    for (const SlotSeen& slot : slots)
                        if (slot.kind == kind && slot.serial == signers[kind].serial)
                            mine = &slot;
                    if (mine == nullptr) {
                        // Finalised, or the device is unplugged: wait as a pool does.
                        std::this_thread::sleep_for(1ms);
                        continue;
                    }
                    open = counted("C_OpenSession", p11->C_OpenSession(mine->id, CKF_SERIAL_SESSION | CKF_RW_SESSION,
                                                                     nullptr, nullptr, &session)) == CKR_OK;
                    if (!open)
                        continue;
                    // The login lasts while the slot has a session; the other pool thread on
                    // the device may have logged in already.
                    counted("C_Login", p11->C_Login(session, CKU_USER, user_pin(), std::strlen(USER_PIN)));
                    CK_OBJECT_CLASS privateClass = CKO_PRIVATE_KEY;
                    CK_ATTRIBUTE search[] = {{CKA_CLASS, &privateClass, sizeof privateClass},
                                             {CKA_LABEL, signer_label, sizeof signer_label}};
                    CK_ULONG found = 0;
                    key = 0;
                    if (counted("C_FindObjectsInit", p11->C_FindObjectsInit(session, search, 2)) == CKR_OK) {
                        counted("C_FindObjects", p11->C_FindObjects(session, &key, 1, &found));
                        counted("C_FindObjectsFinal", p11->C_FindObjectsFinal(session));
                    }
                    if (found == 0)
                        key = 0;
                    uses = 0;
                    i += 5;
                    continue;
                }
                CK_BYTE message[32] = {};
                CK_BYTE digest[64];
                CK_ULONG length = sizeof digest;
                CK_MECHANISM sha = {CKM_SHA256, nullptr, 0};
                CK_SESSION_INFO info;
                const CK_RV randomRv = counted("C_GenerateRandom", p11->C_GenerateRandom(session, message, 32));
                if (randomRv == CKR_OK)
                    randomBytes += 32;
                if (counted("C_DigestInit", p11->C_DigestInit(session, &sha)) == CKR_OK)
                    counted("C_Digest", p11->C_Digest(session, message, 32, digest, &length));
                i += 3;
                CK_MECHANISM ecdsa = {CKM_ECDSA_SHA256, nullptr, 0};
                if (key != 0 && counted("C_SignInit", p11->C_SignInit(session, &ecdsa, key)) == CKR_OK) {
                    Bytes signature(64);
                    CK_ULONG signatureLength = 64;
                    i += 2;
                    if (counted("C_Sign", p11->C_Sign(session, message, 32, signature.data(), &signatureLength)) ==
                        CKR_OK) {
                        SignatureFigures& figures = signatures[kind];
                        ++figures.made;
                        Bytes hash(32);
                        SHA256(message, sizeof message, hash.data());
                        signature.resize(signatureLength);
                        unsigned verifiedBy = kinds;
                        for (unsigned k = 0; k < kinds && verifiedBy == kinds; ++k)
                            if (ecdsa_verifies(NID_X9_62_prime256v1, signers[(kind + k) % kinds].xy, hash, signature))
                                verifiedBy = (kind + k) % kinds;
                        if (verifiedBy == kind)
                            ++figures.own;
                        else if (verifiedBy < kinds)
                            ++figures.otherKey;
                        else
                            ++figures.invalid;
                    }
                }
                const CK_RV rv = counted("C_GetSessionInfo", p11->C_GetSessionInfo(session, &info));
                ++i;
                if (rv != CKR_OK) {
                    open = false;
                } else if (randomRv == CKR_DEVICE_ERROR || ++uses == 10) {
                    // A pool drops a session whose device failed: after an unplug the slot keeps
                    // the dead connection until the next slot list, so its calls fail meanwhile.
                    counted("C_CloseSession", p11->C_CloseSession(session));
                    open = false;
                }
            }
            ++workersDone;
        });
    }
    // Attribute storms: slot, token and mechanism information of every slot, counted by the
    // kind the token information names.
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            for (unsigned i = 0; i < calls;) {
                CK_SLOT_ID list[64];
                CK_ULONG n = 64;
                const CK_RV rv = p11->C_GetSlotList(CK_FALSE, list, &n);
                tally.count(library_group, "C_GetSlotList", rv);
                if (rv == CKR_CRYPTOKI_NOT_INITIALIZED) {
                    std::this_thread::sleep_for(1ms);
                    continue;
                }
                ++i;
                for (CK_ULONG s = 0; rv == CKR_OK && s < n; ++s, i += 3) {
                    CK_SLOT_INFO slotInfo;
                    CK_TOKEN_INFO tokenInfo;
                    CK_MECHANISM_INFO mechanismInfo;
                    const CK_RV slotRv = p11->C_GetSlotInfo(list[s], &slotInfo);
                    const CK_RV tokenRv = p11->C_GetTokenInfo(list[s], &tokenInfo);
                    const CK_RV mechanismRv = p11->C_GetMechanismInfo(list[s], CKM_SHA256, &mechanismInfo);
                    const unsigned group = tokenRv == CKR_OK ? group_of(trimmed(tokenInfo.label, sizeof tokenInfo.label))
                                                             : no_device_group;
                    tally.count(group, "C_GetSlotInfo", slotRv);
                    tally.count(group, "C_GetTokenInfo", tokenRv);
                    tally.count(group, "C_GetMechanismInfo", mechanismRv);
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
            tally.count(library_group, "C_WaitForSlotEvent", rv);
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
            tally.count(library_group, "C_Finalize", p11->C_Finalize(nullptr));
            tally.count(library_group, "C_Initialize", p11->C_Initialize(nullptr));
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

    std::printf("stress: %.1f s, %u workers x %u calls and a waiter, %u unplugs, %u finalise cycles, %u slot "
                "events, %lu random bytes\n",
                seconds, static_cast<unsigned>(threads.size()), calls, unplugs, cycles, events.load(),
                randomBytes.load());
    for (unsigned group = 0; group < groups; ++group) {
        std::printf("  %s: %lu calls (%.0f calls/s)", group_names[group], tally.total(group),
                    tally.total(group) / seconds);
        if (group < kinds)
            std::printf(", %lu signatures: %lu valid, %lu valid under another kind's key, %lu invalid",
                        signatures[group].made.load(), signatures[group].own.load(),
                        signatures[group].otherKey.load(), signatures[group].invalid.load());
        std::printf("\n");
        tally.print(group);
    }
    EXPECT_GT(randomBytes.load(), 0u);
    for (unsigned kind = 0; kind < kinds; ++kind) {
        EXPECT_GT(signatures[kind].own.load(), 0u) << group_names[kind];
        EXPECT_EQ(signatures[kind].invalid.load(), 0u) << group_names[kind];
    }
}

}  // namespace
}  // namespace vlrp11::testing
