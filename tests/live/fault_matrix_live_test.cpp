// Faults only real processes show, injected while an application works through the function
// table: a card pulled while it signs, a network HSM that stops answering, the simulator killed
// while a network HSM signs and while the token writes a chained object. Each call answers at once when the fault strikes, nothing
// the device acknowledged is lost, and the next session works.
#include "live/live_slots.h"
#include "support/session_calls.h"

#include <cstring>

namespace vlrp11::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<CK_BYTE>;

class LiveFaults : public LiveSlots {
protected:
    void SetUp() override
    {
        LiveSlots::SetUp();
        if (work().empty() || !have_control())
            GTEST_SKIP() << "the simulator is not ours to spoil";
        ASSERT_EQ(token_serials(p11), all_serials);
    }

    // A read-write session with the user logged in on the device or partition with this serial.
    CK_SESSION_HANDLE user_session(const std::string& serial)
    {
        CK_SESSION_HANDLE session = 0;
        EXPECT_EQ(p11->C_OpenSession(slot_of(serial), CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session),
                  CKR_OK);
        std::string pin = env("VLRP11_SIM_USER_PIN");
        EXPECT_EQ(p11->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(pin.data()), pin.size()), CKR_OK);
        return session;
    }

    // Runs `call` while `fault` strikes from another thread after `delay`: the call's result and
    // the seconds from the fault to the call's return, below 0 when the call came first.
    template <typename Call, typename Fault>
    std::pair<CK_RV, double> strike_during(Call call, std::chrono::milliseconds delay, Fault fault)
    {
        Clock::time_point struck;
        std::thread other([&] {
            std::this_thread::sleep_for(delay);
            struck = Clock::now();
            fault();
        });
        const CK_RV rv = call();
        const Clock::time_point returned = Clock::now();
        other.join();
        return {rv, std::chrono::duration<double>(returned - struck).count()};
    }

    CK_RV create_data(CK_SESSION_HANDLE session, const char* label, Bytes& value)
    {
        CK_OBJECT_CLASS dataClass = CKO_DATA;
        CK_BBOOL yes = CK_TRUE;
        CK_ATTRIBUTE object[] = {{CKA_CLASS, &dataClass, sizeof dataClass},
                                 {CKA_TOKEN, &yes, 1},
                                 {CKA_LABEL, const_cast<char*>(label), static_cast<CK_ULONG>(std::strlen(label))},
                                 {CKA_VALUE, value.data(), static_cast<CK_ULONG>(value.size())}};
        CK_OBJECT_HANDLE handle = 0;
        return p11->C_CreateObject(session, object, 4, &handle);
    }

    std::vector<CK_OBJECT_HANDLE> labelled(CK_SESSION_HANDLE session, const char* label)
    {
        CK_ATTRIBUTE match{CKA_LABEL, const_cast<char*>(label), static_cast<CK_ULONG>(std::strlen(label))};
        return find_objects(p11, session, &match, 1);
    }

    Bytes value_of(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object)
    {
        CK_ATTRIBUTE value{CKA_VALUE, nullptr, 0};
        EXPECT_EQ(p11->C_GetAttributeValue(session, object, &value, 1), CKR_OK);
        Bytes bytes(value.ulValueLen);
        value.pValue = bytes.data();
        EXPECT_EQ(p11->C_GetAttributeValue(session, object, &value, 1), CKR_OK);
        return bytes;
    }
};

// The token's link drops while it signs, as when the card is pulled: the signature was made, its
// answer never comes, and the card is back as a new one at pcscd's next look.
TEST_F(LiveFaults, TokenPulledMidSign)
{
    CK_SESSION_HANDLE session = user_session("1001");
    control("drop token");
    const auto start = Clock::now();
    EXPECT_EQ(ecdsa_sign(p11, session), CKR_DEVICE_ERROR);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    CK_SESSION_INFO info;
    ASSERT_EQ(p11->C_GetSessionInfo(session, &info), CKR_OK);
    EXPECT_EQ(info.ulDeviceError, 2u);
    // The refresh comes first: it is what notices the card went.
    EXPECT_TRUE(refresh_until([&] {
        return sorted_serials() == all_serials && p11->C_GetSessionInfo(session, &info) == CKR_SESSION_HANDLE_INVALID;
    }));
    EXPECT_EQ(ecdsa_sign(p11, user_session("1001")), CKR_OK);
}

// The network HSM holds its answer (latency) while the simulator is killed: the call ends with
// the connection, not with the answer that was due.
TEST_F(LiveFaults, NetworkHsmKilledMidSign)
{
    CK_SESSION_HANDLE session = user_session("3001:0");
    control("latency net-127.0.0.2 2000");
    auto [rv, after] = strike_during([&] { return ecdsa_sign(p11, session); }, std::chrono::milliseconds(300),
                                     [&] { kill_simulator(); });
    EXPECT_EQ(rv, CKR_DEVICE_ERROR);
    EXPECT_GT(after, 0.0);
    EXPECT_LT(after, 0.5);
    start_simulator();
    EXPECT_EQ(ecdsa_sign(p11, user_session("3001:0")), CKR_OK);
}

// The network HSM holds its answer past the library's reply wait, as a frozen process would:
// the call ends at the wait, and the partition comes back on a new connection.
TEST_F(LiveFaults, NetworkHsmSilentPastTheReplyWait)
{
    CK_SESSION_HANDLE session = user_session("3001:0");
    control("latency net-127.0.0.2 32000");
    const auto start = Clock::now();
    EXPECT_EQ(ecdsa_sign(p11, session), CKR_DEVICE_ERROR);
    const double waited = std::chrono::duration<double>(Clock::now() - start).count();
    control("latency net-127.0.0.2 0");
    EXPECT_GT(waited, 29.9);
    EXPECT_LT(waited, 31.0);
    CK_SESSION_INFO info;
    EXPECT_TRUE(refresh_until([&] {
        return sorted_serials() == all_serials && p11->C_GetSessionInfo(session, &info) == CKR_SESSION_HANDLE_INVALID;
    }));
    EXPECT_EQ(ecdsa_sign(p11, user_session("3001:0")), CKR_OK);
}

// Each answer waits 600 ms: the listing is answered at 0.6 s and the first chunk at 1.2 s, so the
// kill at 1.5 s strikes while the device holds the second of three chunks.
TEST_F(LiveFaults, SimulatorKilledDuringChainedWrite)
{
    CK_SESSION_HANDLE session = user_session("1001");
    Bytes small(100, 0x11), chained(5000, 0x22), cut(5000, 0x33);
    ASSERT_EQ(create_data(session, "kept small", small), CKR_OK);
    ASSERT_EQ(create_data(session, "kept chained", chained), CKR_OK);
    control("latency token 600");
    auto [rv, after] = strike_during([&] { return create_data(session, "cut", cut); },
                                     std::chrono::milliseconds(1500), [&] { kill_simulator(); });
    EXPECT_EQ(rv, CKR_DEVICE_ERROR);
    EXPECT_GT(after, 0.0);
    EXPECT_LT(after, 1.0);
    start_simulator();

    session = user_session("1001");
    for (auto [label, value] : {std::pair{"kept small", small}, std::pair{"kept chained", chained}}) {
        std::vector<CK_OBJECT_HANDLE> found = labelled(session, label);
        ASSERT_EQ(found.size(), 1u) << label;
        EXPECT_EQ(value_of(session, found[0]), value) << label;
        EXPECT_EQ(p11->C_DestroyObject(session, found[0]), CKR_OK);
    }
    // The two chunks the device took before the kill are no object.
    EXPECT_TRUE(labelled(session, "cut").empty());
    EXPECT_EQ(create_data(session, "after", small), CKR_OK);
    for (CK_OBJECT_HANDLE object : labelled(session, "after"))
        EXPECT_EQ(p11->C_DestroyObject(session, object), CKR_OK);
}

}  // namespace
}  // namespace vlrp11::testing
