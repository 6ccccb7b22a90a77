// Secrets do not outlive their use. The values derived from the PIN, the channel key and
// encryption state of the login, the connection's random generator and a session key the
// application made are searched for in every record the module frees at logout, session close,
// object destruction and finalisation, and in the connection that stays after a logout.
#include "support/freed_blocks.h"
#include "support/module_on_device.h"
#include "support/openssl_pin.h"

#include "api/library_state.h"
#include "api/session_record.h"
#include "device/device_connection.h"
#include "objects/object_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace vlrp11::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The secret as 16-byte pieces, each enough to tell it; runs of one byte value (the sixteen
// 0xFF bytes of a fresh channel key, unused rows of a schedule) tell nothing and are left out.
void add_secret(std::vector<Secret>& secrets, const std::string& name, const void* bytes, std::size_t length)
{
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t at = 0; at + 16 <= length; at += 16) {
        Bytes piece(p + at, p + at + 16);
        if (std::count(piece.begin(), piece.end(), piece[0]) != 16)
            secrets.push_back({name + " bytes " + std::to_string(at), piece});
    }
}

enum class Event { logout, close_session, destroy_key, finalize };

// What each event must free, and whether it logs the device out.
struct Case {
    Event event;
    const char* name;
    bool freesSession;
    bool freesKey;
    bool freesConnection;
    bool logsOut;
};

const Case cases[] = {
    {Event::logout, "C_Logout", false, false, false, true},
    {Event::close_session, "C_CloseSession of the last session", true, true, false, true},
    {Event::destroy_key, "C_DestroyObject of the session key", false, true, false, false},
    {Event::finalize, "C_Finalize", true, true, true, true},
};

// The module in front of one device of the test's kind, its slot 1 with a session logged in as
// the user and a session AES key of a value the test chose.
class SecretWipe : public ModuleOnDevice {
protected:
    void SetUp() override
    {
        make_device(profile_for(GetParam(), 5001));
        attach();
    }

    void log_in_with_key()
    {
        ASSERT_GE(slotCount, 1u);
        ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session), CKR_OK);
        auto* pin = reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(USER_PIN));
        ASSERT_EQ(p11->C_Login(session, CKU_USER, pin, std::strlen(USER_PIN)), CKR_OK);
        CK_OBJECT_CLASS secretClass = CKO_SECRET_KEY;
        CK_KEY_TYPE aes = CKK_AES;
        CK_ATTRIBUTE key[] = {{CKA_CLASS, &secretClass, sizeof secretClass},
                              {CKA_KEY_TYPE, &aes, sizeof aes},
                              {CKA_VALUE, keyValue, sizeof keyValue}};
        ASSERT_EQ(p11->C_CreateObject(session, key, 3, &keyHandle), CKR_OK);
    }

    SlotRecord& slot() { return library_state().slots[0]; }
    ObjectRecord* key_record() { return slot().sessions[0]->sessionObjects[object_index_of(keyHandle)]; }

    // Everything secret the records hold now, and the values derived from the PIN.
    std::vector<Secret> secrets_now()
    {
        std::vector<Secret> secrets;
        std::uint8_t d[64];
        openssl_pin_digest(reinterpret_cast<const std::uint8_t*>(USER_PIN), std::strlen(USER_PIN), d);
        add_secret(secrets, "PIN value A", d, 16);
        add_secret(secrets, "PIN value B", d + 32, 16);
        const DeviceConnection& connection = *slot().connection;
        add_secret(secrets, "channel key schedule", &connection.channel_cipher, sizeof connection.channel_cipher);
        add_secret(secrets, "channel counter", connection.counter, sizeof connection.counter);
        add_secret(secrets, "channel keystream", connection.keystream, sizeof connection.keystream);
        add_secret(secrets, "random generator counter", connection.random.v, sizeof connection.random.v);
        add_secret(secrets, "random generator key", &connection.random.key_schedule,
                   sizeof connection.random.key_schedule);
        add_secret(secrets, "session key value", keyValue, sizeof keyValue);
        add_secret(secrets, "session key schedule", key_record()->cache, key_record()->cacheLength);
        return secrets;
    }

    CK_RV run(Event event)
    {
        switch (event) {
        case Event::logout:
            return p11->C_Logout(session);
        case Event::close_session:
            return p11->C_CloseSession(session);
        case Event::destroy_key:
            return p11->C_DestroyObject(session, keyHandle);
        default:
            return p11->C_Finalize(nullptr);
        }
    }

    // The secrets a logged-out connection must no longer hold: all that came of the login,
    // except the channel key where the device goes on using it after the logout.
    std::vector<Secret> login_secrets(const std::vector<Secret>& all, const DeviceConnection& connection)
    {
        const bool keyDropped = connection.kind == DEVICE_TOKEN && connection.atr_digit == 0;
        std::vector<Secret> login;
        for (const Secret& secret : all)
            if (secret.name.rfind("PIN value", 0) == 0 || secret.name.rfind("channel counter", 0) == 0 ||
                secret.name.rfind("channel keystream", 0) == 0 ||
                (keyDropped && secret.name.rfind("channel key schedule", 0) == 0))
                login.push_back(secret);
        return login;
    }

    CK_SESSION_HANDLE session = 0;
    CK_OBJECT_HANDLE keyHandle = 0;
    std::uint8_t keyValue[16] = {0x5E, 0xC2, 0x37, 0x91, 0x0B, 0xA4, 0x6F, 0xD8,
                                 0x13, 0x7C, 0xE5, 0x2A, 0x96, 0x41, 0xBF, 0x08};
};

TEST_P(SecretWipe, FreedRecordsAndLoggedOutConnectionHoldNoSecret)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log_in_with_key();
        if (HasFatalFailure())
            return;
        const std::vector<Secret> secrets = secrets_now();
        const ObjectRecord* key = key_record();
        const void* connection = slot().connection;
        const void* sessionRecord = slot().sessions[0];
        const void* keyValueBuffer = key->value;
        const void* keySchedule = key->cache;
        std::vector<std::string> findings;
        {
            FreedBlockWatch watch(secrets);
            watch.watch(connection, "connection record");
            watch.watch(sessionRecord, "session record");
            watch.watch(key, "session key record");
            watch.watch(keyValueBuffer, "session key value buffer");
            watch.watch(keySchedule, "session key schedule buffer");
            EXPECT_EQ(run(c.event), CKR_OK);
            EXPECT_EQ(watch.freed(connection), c.freesConnection);
            EXPECT_EQ(watch.freed(sessionRecord), c.freesSession);
            EXPECT_EQ(watch.freed(key), c.freesKey);
            EXPECT_EQ(watch.freed(keyValueBuffer), c.freesKey);
            EXPECT_EQ(watch.freed(keySchedule), c.freesKey);
            findings = watch.findings();
        }
        for (const std::string& finding : findings)
            ADD_FAILURE() << finding;
        if (c.logsOut && !c.freesConnection) {
            const DeviceConnection& live = *slot().connection;
            EXPECT_EQ(live.login_state, LOGGED_OUT);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(&live);
            for (const Secret& secret : login_secrets(secrets, live))
                EXPECT_EQ(std::search(bytes, bytes + sizeof live, secret.bytes.begin(), secret.bytes.end()),
                          bytes + sizeof live)
                    << "logged-out connection holds " << secret.name;
        }
        if (c.event != Event::finalize) {
            EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        }
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
        ASSERT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &slotCount), CKR_OK);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SecretWipe, ::testing::ValuesIn(all_kinds), kind_test_name);

}  // namespace
}  // namespace vlrp11::testing
