// What a careless or hostile application can hand the function table: null pointers, zero and
// huge lengths, handles of closed sessions, vanished objects and other slots, templates with
// null values and absurd lengths, mechanism parameters of the wrong size. Each answers a defined
// code and writes nothing outside the caller's buffers; output buffers are heap blocks of exactly
// the size the case claims, so the sanitizer build sees any write past them.
#include "support/session_fixture.h"

#include "api/library_state.h"
#include "objects/key_kinds.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vlrp11::testing {
namespace {

constexpr CK_ULONG HUGE_LENGTH = 0xFFFFFFFF;

// A caller's buffer of exactly `size` bytes on the heap.
struct Buffer {
    explicit Buffer(std::size_t size) : bytes(new CK_BYTE[size == 0 ? 1 : size]), size(size)
    {
        std::fill_n(bytes.get(), size == 0 ? 1 : size, CK_BYTE{0x5A});
    }
    CK_BYTE* get() { return bytes.get(); }
    std::unique_ptr<CK_BYTE[]> bytes;
    std::size_t size;
};

// Handles a case may use: a live session and its keys, a closed session, an object that is gone,
// a session and key of another slot.
struct Handles {
    CK_SLOT_ID slot;
    CK_SESSION_HANDLE session, closed, otherSession;
    CK_OBJECT_HANDLE aes, gost, rsa, ec, gone, otherSlotKey, publicViewOfSecret;
};

struct Case {
    std::string name;
    std::function<CK_RV(CK_FUNCTION_LIST_PTR, const Handles&)> call;
    std::set<CK_RV> accepted;
};

// Object calls answer CKR_FUNCTION_NOT_SUPPORTED until they are built; the rest of each set is
// what the built call gives.
std::set<CK_RV> or_not_built(std::set<CK_RV> codes)
{
    codes.insert(CKR_FUNCTION_NOT_SUPPORTED);
    return codes;
}

class HostileCalls : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        h.slot = slot;
        add_session_keys();
        h.rsa = token_key(0, CKO_PRIVATE_KEY, KEY_KIND_RSA_GENERATED, 4);
        h.ec = token_key(1, CKO_PRIVATE_KEY, KEY_KIND_EC, 5, KEY_FLAG_DERIVE);
        h.gone = 0x8000 + 40;
        h.publicViewOfSecret = 0x80000000u | h.aes;
        h.closed = open_fake_session(slot, 1);
        EXPECT_EQ(p11->C_CloseSession(h.closed), CKR_OK);
        const CK_SLOT_ID other = place_fake_device(1, DEVICE_TOKEN);
        h.otherSession = open_fake_session(other, 0);
        add_session_object(h.otherSession, 5, CKO_SECRET_KEY);
        h.otherSlotKey = 0x8000 + 6;
    }

    // Closes the session, which ends any operation a case left active, and opens it again with
    // its keys.
    void fresh_session()
    {
        ASSERT_EQ(p11->C_CloseSession(session), CKR_OK);
        session = open_fake_session(slot, 0);
        add_session_keys();
    }

    // Key generation refuses a read-only session before anything else; the cases that mean to
    // reach its other checks make the session read-write first.
    void read_write() { record().flags |= CKF_RW_SESSION; }

    void add_session_keys()
    {
        h.session = session;
        h.aes = session_key(0, CKO_SECRET_KEY, KEY_KIND_AES, Bytes(16, 1), KEY_FLAG_EXTRACTABLE);
        h.gost = session_key(1, CKO_SECRET_KEY, KEY_KIND_GOST28147, Bytes(32, 2), KEY_FLAG_EXTRACTABLE);
    }

    Handles h{};
};

CK_MECHANISM mech(CK_MECHANISM_TYPE type, void* parameter = nullptr, CK_ULONG length = 0)
{
    return CK_MECHANISM{type, parameter, length};
}

// Every entry that takes a session handle, called with sane arguments around the handle.
std::vector<std::pair<std::string, std::function<CK_RV(CK_FUNCTION_LIST_PTR, CK_SESSION_HANDLE, const Handles&)>>>
session_entries()
{
    using H = const Handles&;
    static CK_BYTE data[32], out[512], pin[] = "123456";
    static CK_ULONG length;
    static CK_SESSION_INFO info;
    static CK_OBJECT_HANDLE found[4], key, pub, priv;
    static CK_BBOOL yes = CK_TRUE;
    static CK_ATTRIBUTE tmpl[] = {{CKA_TOKEN, &yes, sizeof yes}};
    static CK_MECHANISM sha = mech(CKM_SHA256), ecdsa = mech(CKM_ECDSA), aesEcb = mech(CKM_AES_ECB),
                        gen = mech(CKM_AES_KEY_GEN);
    auto out_length = [] { return length = sizeof out, &length; };
    return {
        {"C_CloseSession", [](auto p, auto s, H) { return p->C_CloseSession(s); }},
        {"C_GetSessionInfo", [](auto p, auto s, H) { return p->C_GetSessionInfo(s, &info); }},
        {"C_Login", [](auto p, auto s, H) { return p->C_Login(s, CKU_USER, pin, 6); }},
        {"C_Logout", [](auto p, auto s, H) { return p->C_Logout(s); }},
        {"C_InitPIN", [](auto p, auto s, H) { return p->C_InitPIN(s, pin, 6); }},
        {"C_SetPIN", [](auto p, auto s, H) { return p->C_SetPIN(s, pin, 6, pin, 6); }},
        {"C_CreateObject", [](auto p, auto s, H) { return p->C_CreateObject(s, tmpl, 1, &key); }},
        {"C_DestroyObject", [](auto p, auto s, H x) { return p->C_DestroyObject(s, x.aes); }},
        {"C_GetObjectSize", [](auto p, auto s, H x) { return p->C_GetObjectSize(s, x.aes, &length); }},
        {"C_GetAttributeValue", [](auto p, auto s, H x) { return p->C_GetAttributeValue(s, x.aes, tmpl, 1); }},
        {"C_SetAttributeValue", [](auto p, auto s, H x) { return p->C_SetAttributeValue(s, x.aes, tmpl, 1); }},
        {"C_FindObjectsInit", [](auto p, auto s, H) { return p->C_FindObjectsInit(s, tmpl, 1); }},
        {"C_FindObjects", [](auto p, auto s, H) { return p->C_FindObjects(s, found, 4, &length); }},
        {"C_FindObjectsFinal", [](auto p, auto s, H) { return p->C_FindObjectsFinal(s); }},
        {"C_EncryptInit", [](auto p, auto s, H x) { return p->C_EncryptInit(s, &aesEcb, x.aes); }},
        {"C_Encrypt", [=](auto p, auto s, H) { return p->C_Encrypt(s, data, 16, out, out_length()); }},
        {"C_EncryptFinal", [=](auto p, auto s, H) { return p->C_EncryptFinal(s, out, out_length()); }},
        {"C_DecryptInit", [](auto p, auto s, H x) { return p->C_DecryptInit(s, &aesEcb, x.aes); }},
        {"C_Decrypt", [=](auto p, auto s, H) { return p->C_Decrypt(s, data, 16, out, out_length()); }},
        {"C_DecryptFinal", [=](auto p, auto s, H) { return p->C_DecryptFinal(s, out, out_length()); }},
        {"C_DigestInit", [](auto p, auto s, H) { return p->C_DigestInit(s, &sha); }},
        {"C_Digest", [=](auto p, auto s, H) { return p->C_Digest(s, data, 3, out, out_length()); }},
        {"C_DigestUpdate", [](auto p, auto s, H) { return p->C_DigestUpdate(s, data, 3); }},
        {"C_DigestKey", [](auto p, auto s, H x) { return p->C_DigestKey(s, x.aes); }},
        {"C_DigestFinal", [=](auto p, auto s, H) { return p->C_DigestFinal(s, out, out_length()); }},
        {"C_SignInit", [](auto p, auto s, H x) { return p->C_SignInit(s, &ecdsa, x.ec); }},
        {"C_Sign", [=](auto p, auto s, H) { return p->C_Sign(s, data, 32, out, out_length()); }},
        {"C_SignUpdate", [](auto p, auto s, H) { return p->C_SignUpdate(s, data, 3); }},
        {"C_SignFinal", [=](auto p, auto s, H) { return p->C_SignFinal(s, out, out_length()); }},
        {"C_DigestEncryptUpdate",
         [=](auto p, auto s, H) { return p->C_DigestEncryptUpdate(s, data, 16, out, out_length()); }},
        {"C_DecryptDigestUpdate",
         [=](auto p, auto s, H) { return p->C_DecryptDigestUpdate(s, data, 16, out, out_length()); }},
        {"C_DecryptVerifyUpdate",
         [=](auto p, auto s, H) { return p->C_DecryptVerifyUpdate(s, data, 16, out, out_length()); }},
        {"C_GenerateKey", [](auto p, auto s, H) { return p->C_GenerateKey(s, &gen, tmpl, 1, &key); }},
        {"C_GenerateKeyPair",
         [](auto p, auto s, H) { return p->C_GenerateKeyPair(s, &gen, tmpl, 1, tmpl, 1, &pub, &priv); }},
        {"C_WrapKey", [=](auto p, auto s, H x) { return p->C_WrapKey(s, &gen, x.gost, x.aes, out, out_length()); }},
        {"C_UnwrapKey", [](auto p, auto s, H x) { return p->C_UnwrapKey(s, &gen, x.gost, data, 32, tmpl, 1, &key); }},
        {"C_DeriveKey", [](auto p, auto s, H x) { return p->C_DeriveKey(s, &gen, x.ec, tmpl, 1, &key); }},
        {"C_SeedRandom", [](auto p, auto s, H) { return p->C_SeedRandom(s, data, 8); }},
        {"C_GenerateRandom", [](auto p, auto s, H) { return p->C_GenerateRandom(s, data, 8); }},
        {"C_GetFunctionStatus", [](auto p, auto s, H) { return p->C_GetFunctionStatus(s); }},
        {"C_CancelFunction", [](auto p, auto s, H) { return p->C_CancelFunction(s); }},
    };
}

// Entries that answer one fixed code whatever the session.
const std::set<std::string> fixed_code_entries = {"C_SeedRandom", "C_DigestEncryptUpdate", "C_DecryptDigestUpdate",
                                                  "C_DecryptVerifyUpdate", "C_GetFunctionStatus",
                                                  "C_CancelFunction"};

TEST_F(HostileCalls, EverySessionEntryRefusesDeadSessionHandles)
{
    const CK_SESSION_HANDLE dead[] = {h.closed, 0, 0x0000FFFF, 0x00001101, 0x00000100, 0x00000140 + 0x0101,
                                      0x00000105};
    for (const auto& [name, call] : session_entries())
        for (CK_SESSION_HANDLE handle : dead) {
            const CK_RV rv = call(p11, handle, h);
            if (fixed_code_entries.count(name) != 0)
                EXPECT_NE(rv, CKR_OK) << name;
            else
                EXPECT_TRUE(rv == CKR_SESSION_HANDLE_INVALID || rv == CKR_FUNCTION_NOT_SUPPORTED)
                    << name << " with handle " << std::hex << handle << " answers " << rv;
        }
    EXPECT_TRUE(fake_device().sent.empty());
}

TEST_F(HostileCalls, NullPointersAndLengths)
{
    CK_BYTE data[16] = {};
    CK_ULONG length = 0;
    CK_MECHANISM sha = mech(CKM_SHA256), aesEcb = mech(CKM_AES_ECB), ecdsa = mech(CKM_ECDSA);
    CK_OBJECT_HANDLE key = 0;
    CK_ATTRIBUTE one{CKA_CLASS, nullptr, 0};
    const std::vector<Case> cases = {
        {"GetFunctionList null", [](auto p, auto&) { return p->C_GetFunctionList(nullptr); }, {CKR_ARGUMENTS_BAD}},
        {"GetInfo null", [](auto p, auto&) { return p->C_GetInfo(nullptr); }, {CKR_ARGUMENTS_BAD}},
        {"Finalize non-null", [&](auto p, auto&) { return p->C_Finalize(data); }, {CKR_ARGUMENTS_BAD}},
        {"GetSlotList null count", [](auto p, auto&) { return p->C_GetSlotList(CK_FALSE, nullptr, nullptr); },
         {CKR_ARGUMENTS_BAD}},
        {"GetSlotInfo null", [](auto p, auto& x) { return p->C_GetSlotInfo(x.slot, nullptr); }, {CKR_ARGUMENTS_BAD}},
        {"GetTokenInfo null", [](auto p, auto& x) { return p->C_GetTokenInfo(x.slot, nullptr); }, {CKR_ARGUMENTS_BAD}},
        {"GetMechanismList null count",
         [](auto p, auto& x) { return p->C_GetMechanismList(x.slot, nullptr, nullptr); }, {CKR_ARGUMENTS_BAD}},
        {"GetMechanismInfo null",
         [](auto p, auto& x) { return p->C_GetMechanismInfo(x.slot, CKM_SHA256, nullptr); }, {CKR_ARGUMENTS_BAD}},
        {"GetMechanismInfo unknown mechanism",
         [](auto p, auto& x) {
             CK_MECHANISM_INFO info;
             return p->C_GetMechanismInfo(x.slot, 0xFFFFFFFF, &info);
         },
         {CKR_MECHANISM_INVALID}},
        {"InitToken null PIN with length",
         [](auto p, auto& x) { return p->C_InitToken(x.slot, nullptr, 6, nullptr); },
         {CKR_ARGUMENTS_BAD, CKR_FUNCTION_NOT_SUPPORTED}},
        {"OpenSession null handle",
         [](auto p, auto& x) { return p->C_OpenSession(x.slot, CKF_SERIAL_SESSION, nullptr, nullptr, nullptr); },
         {CKR_ARGUMENTS_BAD}},
        {"WaitForSlotEvent null slot",
         [](auto p, auto&) { return p->C_WaitForSlotEvent(CKF_DONT_BLOCK, nullptr, nullptr); },
         {CKR_ARGUMENTS_BAD}},
        {"GetSessionInfo null", [](auto p, auto& x) { return p->C_GetSessionInfo(x.session, nullptr); },
         {CKR_ARGUMENTS_BAD}},
        {"Login null PIN huge length",
         [](auto p, auto& x) { return p->C_Login(x.session, CKU_USER, nullptr, HUGE_LENGTH); },
         {CKR_ARGUMENTS_BAD, CKR_PIN_LEN_RANGE, CKR_PIN_INCORRECT}},
        {"Login unknown user type",
         [&](auto p, auto& x) { return p->C_Login(x.session, 7, data, 6); }, {CKR_OPERATION_NOT_INITIALIZED}},
        {"InitPIN null PIN huge length",
         [](auto p, auto& x) { return p->C_InitPIN(x.session, nullptr, HUGE_LENGTH); },
         {CKR_OK, CKR_PIN_INVALID}},
        {"SetPIN null PINs", [](auto p, auto& x) { return p->C_SetPIN(x.session, nullptr, 6, nullptr, 6); },
         {CKR_SESSION_READ_ONLY}},
        {"CreateObject null template with count",
         [&](auto p, auto& x) { return p->C_CreateObject(x.session, nullptr, 3, &key); },
         or_not_built({CKR_ARGUMENTS_BAD})},
        {"CreateObject null handle out",
         [&](auto p, auto& x) { return p->C_CreateObject(x.session, &one, 1, nullptr); },
         or_not_built({CKR_ARGUMENTS_BAD})},
        {"GetObjectSize null", [](auto p, auto& x) { return p->C_GetObjectSize(x.session, x.aes, nullptr); },
         or_not_built({CKR_ARGUMENTS_BAD})},
        {"GetAttributeValue null template",
         [](auto p, auto& x) { return p->C_GetAttributeValue(x.session, x.aes, nullptr, 1); },
         or_not_built({CKR_ARGUMENTS_BAD})},
        {"SetAttributeValue null template",
         [](auto p, auto& x) { return p->C_SetAttributeValue(x.session, x.aes, nullptr, 1); },
         or_not_built({CKR_ARGUMENTS_BAD, CKR_SESSION_READ_ONLY})},
        {"FindObjectsInit null template with count",
         [](auto p, auto& x) { return p->C_FindObjectsInit(x.session, nullptr, 2); },
         or_not_built({CKR_ARGUMENTS_BAD})},
        {"FindObjects null list",
         [&](auto p, auto& x) { return p->C_FindObjects(x.session, nullptr, 4, &length); },
         or_not_built({CKR_ARGUMENTS_BAD, CKR_OPERATION_NOT_INITIALIZED})},
        {"EncryptInit null mechanism", [](auto p, auto& x) { return p->C_EncryptInit(x.session, nullptr, x.aes); },
         {CKR_ARGUMENTS_BAD}},
        {"DecryptInit null mechanism", [](auto p, auto& x) { return p->C_DecryptInit(x.session, nullptr, x.aes); },
         {CKR_ARGUMENTS_BAD}},
        {"SignInit null mechanism", [](auto p, auto& x) { return p->C_SignInit(x.session, nullptr, x.ec); },
         {CKR_ARGUMENTS_BAD}},
        {"Encrypt null data huge length",
         [&](auto p, auto& x) {
             EXPECT_EQ(p->C_EncryptInit(x.session, &aesEcb, x.aes), CKR_OK);
             return p->C_Encrypt(x.session, nullptr, HUGE_LENGTH, data, &length);
         },
         {CKR_ARGUMENTS_BAD, CKR_DATA_LEN_RANGE}},
        {"Decrypt null length pointer",
         [&](auto p, auto& x) {
             EXPECT_EQ(p->C_DecryptInit(x.session, &aesEcb, x.aes), CKR_OK);
             return p->C_Decrypt(x.session, data, 16, data, nullptr);
         },
         {CKR_ARGUMENTS_BAD}},
        {"Digest null data huge length",
         [&](auto p, auto& x) {
             EXPECT_EQ(p->C_DigestInit(x.session, &sha), CKR_OK);
             CK_BYTE digest[32];
             length = sizeof digest;
             return p->C_Digest(x.session, nullptr, HUGE_LENGTH, digest, &length);
         },
         {CKR_ARGUMENTS_BAD}},
        {"DigestUpdate zero length null data",
         [&](auto p, auto& x) {
             EXPECT_EQ(p->C_DigestInit(x.session, &sha), CKR_OK);
             return p->C_DigestUpdate(x.session, nullptr, 0);
         },
         {CKR_OK, CKR_ARGUMENTS_BAD}},
        {"Sign null data huge length",
         [&](auto p, auto& x) {
             EXPECT_EQ(p->C_SignInit(x.session, &ecdsa, x.ec), CKR_OK);
             return p->C_Sign(x.session, nullptr, HUGE_LENGTH, nullptr, &length);
         },
         {CKR_ARGUMENTS_BAD, CKR_DATA_LEN_RANGE}},
        {"SignUpdate null data", 
         [&](auto p, auto& x) {
             CK_MECHANISM ecdsaSha = mech(CKM_ECDSA_SHA256);
             EXPECT_EQ(p->C_SignInit(x.session, &ecdsaSha, x.ec), CKR_OK);
             return p->C_SignUpdate(x.session, nullptr, 5);
         },
         {CKR_DATA_INVALID, CKR_ARGUMENTS_BAD}},
        {"SignFinal null length",
         [&](auto p, auto& x) {
             CK_MECHANISM ecdsaSha = mech(CKM_ECDSA_SHA256);
             EXPECT_EQ(p->C_SignInit(x.session, &ecdsaSha, x.ec), CKR_OK);
             return p->C_SignFinal(x.session, data, nullptr);
         },
         {CKR_ARGUMENTS_BAD}},
        {"GenerateKey null mechanism",
         [&](auto p, auto& x) {
             read_write();
             return p->C_GenerateKey(x.session, nullptr, &one, 1, &key);
         },
         or_not_built({CKR_ARGUMENTS_BAD})},
        {"GenerateKeyPair null handles",
         [&](auto p, auto& x) {
             CK_MECHANISM ecGen = mech(CKM_EC_KEY_PAIR_GEN);
             read_write();
             return p->C_GenerateKeyPair(x.session, &ecGen, nullptr, 0, nullptr, 0, nullptr, nullptr);
         },
         or_not_built({CKR_ARGUMENTS_BAD})},
        {"WrapKey null length",
         [&](auto p, auto& x) {
             CK_MECHANISM wrap = mech(CKM_GOST28147_KEY_WRAP);
             return p->C_WrapKey(x.session, &wrap, x.gost, x.aes, data, nullptr);
         },
         {CKR_ARGUMENTS_BAD}},
        {"WrapKey null mechanism",
         [&](auto p, auto& x) { return p->C_WrapKey(x.session, nullptr, x.gost, x.aes, data, &length); },
         {CKR_ARGUMENTS_BAD}},
        {"UnwrapKey null wrapped key",
         [&](auto p, auto& x) {
             CK_MECHANISM wrap = mech(CKM_GOST28147_KEY_WRAP);
             return p->C_UnwrapKey(x.session, &wrap, x.gost, nullptr, 44, &one, 1, &key);
         },
         or_not_built({CKR_ARGUMENTS_BAD})},
        {"DeriveKey null mechanism",
         [&](auto p, auto& x) { return p->C_DeriveKey(x.session, nullptr, x.ec, &one, 1, &key); },
         {CKR_ARGUMENTS_BAD}},
        {"DeriveKey null handle out",
         [&](auto p, auto& x) {
             CK_MECHANISM derive = mech(CKM_DSTU4145_DERIVE, data, 16);
             return p->C_DeriveKey(x.session, &derive, x.ec, &one, 1, nullptr);
         },
         {CKR_ARGUMENTS_BAD, CKR_MECHANISM_INVALID, CKR_MECHANISM_PARAM_INVALID}},
        {"GenerateRandom null huge", [](auto p, auto& x) { return p->C_GenerateRandom(x.session, nullptr, HUGE_LENGTH); },
         {CKR_ARGUMENTS_BAD}},
        {"GenerateRandom zero length",
         [](auto p, auto& x) { return p->C_GenerateRandom(x.session, nullptr, 0); }, {CKR_OK, CKR_ARGUMENTS_BAD}},
        {"SeedRandom null huge", [](auto p, auto& x) { return p->C_SeedRandom(x.session, nullptr, HUGE_LENGTH); },
         {CKR_ARGUMENTS_BAD, CKR_RANDOM_SEED_NOT_SUPPORTED}},
    };
    for (const Case& c : cases) {
        const CK_RV rv = c.call(p11, h);
        EXPECT_TRUE(c.accepted.count(rv) != 0) << c.name << " answers 0x" << std::hex << rv;
        if (record().operation != OPERATION_NONE)
            fresh_session();
    }
}

// Handles that name nothing in this session: an object gone, one of another slot, the public
// view of a secret key, numbers out of range.
TEST_F(HostileCalls, ObjectHandlesThatDoNotResolve)
{
    CK_BYTE out[64];
    CK_ULONG length = sizeof out;
    CK_MECHANISM aesEcb = mech(CKM_AES_ECB), ecdsa = mech(CKM_ECDSA), wrap = mech(CKM_GOST28147_KEY_WRAP);
    CK_ATTRIBUTE classOf{CKA_CLASS, out, sizeof out};
    const CK_OBJECT_HANDLE bad[] = {h.gone, h.otherSlotKey, h.publicViewOfSecret, 0, 0x7FFF, 0x8000, 65, 0x8041};
    for (CK_OBJECT_HANDLE object : bad) {
        EXPECT_EQ(p11->C_EncryptInit(session, &aesEcb, object), CKR_OBJECT_HANDLE_INVALID) << object;
        EXPECT_EQ(p11->C_DecryptInit(session, &aesEcb, object), CKR_OBJECT_HANDLE_INVALID) << object;
        EXPECT_EQ(p11->C_SignInit(session, &ecdsa, object), CKR_OBJECT_HANDLE_INVALID) << object;
        EXPECT_EQ(p11->C_WrapKey(session, &wrap, object, h.aes, out, &length), CKR_WRAPPING_KEY_HANDLE_INVALID)
            << object;
        EXPECT_EQ(p11->C_WrapKey(session, &wrap, h.gost, object, out, &length),
                  object == 0 ? CKR_ARGUMENTS_BAD : CKR_KEY_HANDLE_INVALID)
            << object;
        const std::set<CK_RV> objectInvalid = or_not_built({CKR_OBJECT_HANDLE_INVALID});
        EXPECT_EQ(objectInvalid.count(p11->C_GetAttributeValue(session, object, &classOf, 1)), 1u) << object;
        // The session is read-only, which C_DestroyObject checks before the handle.
        EXPECT_EQ(p11->C_DestroyObject(session, object), CKR_SESSION_READ_ONLY) << object;
        EXPECT_EQ(objectInvalid.count(p11->C_GetObjectSize(session, object, &length)), 1u) << object;
        EXPECT_EQ(record().operation, OPERATION_NONE);
    }
}

// Attribute templates whose values are null, of the wrong size, or far longer than any value the
// module keeps (a caller's buffer of that length behind them: the module may read what the caller
// claims).
TEST_F(HostileCalls, TemplatesWithNullValuesAndAbsurdLengths)
{
    CK_OBJECT_CLASS secret = CKO_SECRET_KEY;
    CK_KEY_TYPE aes = CKK_AES;
    CK_ULONG valueLength = 16;
    CK_BYTE small[1] = {1};
    std::vector<CK_BYTE> longId(0x10000, 7);
    CK_OBJECT_HANDLE key = 0;
    const std::vector<std::vector<CK_ATTRIBUTE>> templates = {
        {{CKA_CLASS, nullptr, sizeof secret}},
        {{CKA_CLASS, &secret, HUGE_LENGTH}},
        {{CKA_CLASS, &secret, 1}},
        {{CKA_CLASS, &secret, sizeof secret}, {CKA_KEY_TYPE, &aes, sizeof aes}, {CKA_VALUE, nullptr, 16}},
        {{CKA_CLASS, &secret, sizeof secret}, {CKA_KEY_TYPE, &aes, sizeof aes}, {CKA_VALUE_LEN, small, 1}},
        {{CKA_CLASS, &secret, sizeof secret}, {CKA_KEY_TYPE, &aes, sizeof aes}, {CKA_VALUE_LEN, &valueLength, 0}},
        {{CKA_LABEL, nullptr, HUGE_LENGTH}},
        {{CKA_ID, longId.data(), static_cast<CK_ULONG>(longId.size())}},
        {{0xFFFFFFFF, small, 1}},
    };
    CK_MECHANISM gen = mech(CKM_AES_KEY_GEN), ecGen = mech(CKM_EC_KEY_PAIR_GEN);
    std::size_t tried = 0;
    read_write();
    for (auto tmpl : templates) {
        const auto count = static_cast<CK_ULONG>(tmpl.size());
        const CK_RV rvs[] = {p11->C_CreateObject(session, tmpl.data(), count, &key),
                             p11->C_FindObjectsInit(session, tmpl.data(), count),
                             p11->C_FindObjectsFinal(session),
                             p11->C_GenerateKey(session, &gen, tmpl.data(), count, &key),
                             p11->C_GenerateKeyPair(session, &ecGen, tmpl.data(), count, tmpl.data(), count, &key, &key),
                             p11->C_SetAttributeValue(session, h.aes, tmpl.data(), count)};
        for (CK_RV rv : rvs) {
            // A template the call takes creates a key; everything else is one of the refusals.
            EXPECT_NE(rv, CKR_GENERAL_ERROR);
            EXPECT_NE(rv, CKR_FUNCTION_FAILED);
            ++tried;
        }
    }
    // Reading attributes into buffers that are null, too short or claimed larger than they are.
    for (CK_ULONG claimed : {CK_ULONG{0}, CK_ULONG{1}, CK_ULONG{3}, HUGE_LENGTH}) {
        Buffer value(claimed == HUGE_LENGTH ? 16 : claimed);
        CK_ATTRIBUTE read[] = {{CKA_VALUE, value.get(), claimed}, {CKA_CLASS, nullptr, claimed},
                               {CKA_LABEL, value.get(), claimed}, {0xFFFFFFFF, value.get(), claimed}};
        const CK_RV rv = p11->C_GetAttributeValue(session, h.aes, read, 4);
        EXPECT_TRUE(or_not_built({CKR_OK, CKR_BUFFER_TOO_SMALL, CKR_ATTRIBUTE_TYPE_INVALID,
                                  CKR_ATTRIBUTE_SENSITIVE})
                        .count(rv) != 0)
            << claimed << " answers 0x" << std::hex << rv;
    }
    EXPECT_GT(tried, 0u);
}

// Every template reader screens every entry before it reads any: a null value with a length, or
// a boolean or CK_ULONG attribute of another size, is refused the same way by all four.
TEST_F(HostileCalls, EveryTemplateReaderScreensEveryEntry)
{
    CK_BBOOL yes = CK_TRUE;
    CK_ULONG wide = 1;
    CK_BYTE wrapped[44] = {};
    const std::vector<CK_ATTRIBUTE> bad[] = {
        {{CKA_LABEL, nullptr, 5}},
        {{CKA_APPLICATION, nullptr, 1}},
        {{CKA_TOKEN, &wide, sizeof wide}},
        {{CKA_CLASS, &yes, sizeof yes}},
        {{CKA_VALUE_LEN, &yes, sizeof yes}},
    };
    CK_MECHANISM gen = mech(CKM_AES_KEY_GEN), ecGen = mech(CKM_EC_KEY_PAIR_GEN);
    CK_MECHANISM unwrap = mech(CKM_GOST28147_KEY_WRAP);
    CK_OBJECT_HANDLE key = 0, other = 0;
    read_write();
    for (auto tmpl : bad) {
        const auto n = static_cast<CK_ULONG>(tmpl.size());
        EXPECT_EQ(p11->C_CreateObject(session, tmpl.data(), n, &key), CKR_ATTRIBUTE_VALUE_INVALID);
        EXPECT_EQ(p11->C_GenerateKey(session, &gen, tmpl.data(), n, &key), CKR_ATTRIBUTE_VALUE_INVALID);
        EXPECT_EQ(p11->C_GenerateKeyPair(session, &ecGen, tmpl.data(), n, tmpl.data(), n, &key, &other),
                  CKR_ATTRIBUTE_VALUE_INVALID);
        EXPECT_EQ(p11->C_UnwrapKey(session, &unwrap, h.gost, wrapped, sizeof wrapped, tmpl.data(), n, &key),
                  CKR_ATTRIBUTE_VALUE_INVALID);
    }
}

// Every mechanism the token lists, at every init entry and with each key, given parameters that
// are missing, one byte long or far too long: a refusal or a started operation, never a read
// past the parameter (its buffer is exactly the claimed size).
TEST_F(HostileCalls, MechanismParametersOfTheWrongSize)
{
    CK_ULONG count = 0;
    ASSERT_EQ(p11->C_GetMechanismList(slot, nullptr, &count), CKR_OK);
    std::vector<CK_MECHANISM_TYPE> types(count);
    ASSERT_EQ(p11->C_GetMechanismList(slot, types.data(), &count), CKR_OK);
    const std::set<CK_RV> defined = {CKR_OK,
                                     CKR_ARGUMENTS_BAD,
                                     CKR_MECHANISM_INVALID,
                                     CKR_MECHANISM_PARAM_INVALID,
                                     CKR_KEY_TYPE_INCONSISTENT,
                                     CKR_KEY_FUNCTION_NOT_PERMITTED,
                                     CKR_KEY_HANDLE_INVALID,
                                     CKR_KEY_SIZE_RANGE,
                                     CKR_WRAPPING_KEY_TYPE_INCONSISTENT,
                                     CKR_KEY_NOT_WRAPPABLE,
                                     CKR_KEY_UNEXTRACTABLE,
                                     CKR_BUFFER_TOO_SMALL,
                                     CKR_TEMPLATE_INCONSISTENT,
                                     CKR_TEMPLATE_INCOMPLETE,
                                     CKR_DEVICE_ERROR,
                                     CKR_FUNCTION_NOT_SUPPORTED};
    const CK_ULONG sizes[] = {0, 1, 7, 300};
    std::size_t tried = 0;
    for (CK_MECHANISM_TYPE type : types)
        for (CK_ULONG size : sizes)
            for (bool null : {true, false}) {
                Buffer parameter(size);
                CK_MECHANISM m = mech(type, null ? nullptr : parameter.get(), size);
                for (CK_OBJECT_HANDLE key : {h.aes, h.gost, h.rsa, h.ec}) {
                    CK_BYTE out[600];
                    CK_ULONG length = sizeof out;
                    CK_OBJECT_HANDLE derived = 0;
                    CK_ATTRIBUTE none{CKA_TOKEN, nullptr, 0};
                    const std::pair<const char*, std::function<CK_RV()>> calls[] = {
                        {"C_EncryptInit", [&] { return p11->C_EncryptInit(session, &m, key); }},
                        {"C_DecryptInit", [&] { return p11->C_DecryptInit(session, &m, key); }},
                        {"C_SignInit", [&] { return p11->C_SignInit(session, &m, key); }},
                        {"C_DigestInit", [&] { return p11->C_DigestInit(session, &m); }},
                        {"C_WrapKey", [&] { return p11->C_WrapKey(session, &m, key, h.aes, out, &length); }},
                        {"C_DeriveKey", [&] { return p11->C_DeriveKey(session, &m, key, &none, 0, &derived); }},
                        {"C_GenerateKey",
                         [&] {
                             read_write();
                             return p11->C_GenerateKey(session, &m, &none, 0, &derived);
                         }},
                    };
                    for (const auto& [name, call] : calls) {
                        fake_device().status = 0x6A;
                        const CK_RV rv = call();
                        EXPECT_TRUE(defined.count(rv) != 0) << name << " mechanism 0x" << std::hex << type
                                                            << " parameter size " << std::dec << size
                                                            << (null ? " null" : "") << " answers 0x" << std::hex << rv;
                        ++tried;
                        if (record().operation != OPERATION_NONE)
                            fresh_session();
                    }
                }
            }
    EXPECT_GT(tried, 1000u);
}

// Outputs claimed huge but exactly as large as the result, and outputs one byte short: the first
// get the result and nothing past it, the second keep the caller's length and bytes.
TEST_F(HostileCalls, OutputBuffersOfExactAndShortSize)
{
    CK_MECHANISM sha = mech(CKM_SHA256), aesEcb = mech(CKM_AES_ECB);
    CK_BYTE data[32] = {};
    struct Output {
        const char* name;
        std::function<CK_RV(CK_BYTE*, CK_ULONG*)> call;
        CK_ULONG size;
    };
    const Output outputs[] = {
        {"C_Digest",
         [&](CK_BYTE* out, CK_ULONG* length) {
             EXPECT_EQ(p11->C_DigestInit(session, &sha), CKR_OK);
             return p11->C_Digest(session, data, 3, out, length);
         },
         32},
        {"C_Encrypt",
         [&](CK_BYTE* out, CK_ULONG* length) {
             EXPECT_EQ(p11->C_EncryptInit(session, &aesEcb, h.aes), CKR_OK);
             return p11->C_Encrypt(session, data, 32, out, length);
         },
         32},
        {"C_Decrypt",
         [&](CK_BYTE* out, CK_ULONG* length) {
             EXPECT_EQ(p11->C_DecryptInit(session, &aesEcb, h.aes), CKR_OK);
             return p11->C_Decrypt(session, data, 32, out, length);
         },
         32},
        {"C_GetMechanismList",
         [&](CK_BYTE* out, CK_ULONG* length) {
             *length /= sizeof(CK_MECHANISM_TYPE);
             const CK_RV rv = p11->C_GetMechanismList(slot, reinterpret_cast<CK_MECHANISM_TYPE*>(out), length);
             *length *= sizeof(CK_MECHANISM_TYPE);
             return rv;
         },
         0},
    };
    for (const Output& o : outputs) {
        CK_ULONG size = o.size;
        if (size == 0) {
            CK_ULONG count = 0;
            ASSERT_EQ(p11->C_GetMechanismList(slot, nullptr, &count), CKR_OK);
            size = count * sizeof(CK_MECHANISM_TYPE);
        }
        Buffer exact(size);
        CK_ULONG length = size;
        EXPECT_EQ(o.call(exact.get(), &length), CKR_OK) << o.name;
        EXPECT_EQ(length, size) << o.name;
        Buffer shorter(size - sizeof(CK_ULONG));
        length = static_cast<CK_ULONG>(shorter.size);
        EXPECT_EQ(o.call(shorter.get(), &length), CKR_BUFFER_TOO_SMALL) << o.name;
        EXPECT_EQ(length, shorter.size) << o.name;
        EXPECT_TRUE(std::all_of(shorter.get(), shorter.get() + shorter.size, [](CK_BYTE b) { return b == 0x5A; }))
            << o.name;
        if (record().operation != OPERATION_NONE)
            fresh_session();
    }
}

}  // namespace
}  // namespace vlrp11::testing
