// Plays a token whose replies to the operation calls are the fuzzer's bytes: random bytes,
// signatures of RSA, EC and DSTU 4145 keys, RSA decryption, the device ciphers, key agreement,
// wrapping's random block and the device-info block behind login and token info. Every call goes
// through the function table as an application makes it, so the library's handling of each reply
// (lengths, statuses, copies to the caller) is what is exercised.
//
// Input: byte 0 chooses the lengths the caller asks for; the rest is the replies, each a status
// byte, a u16 length and that many bytes (as many as are left).
#include "api/function_table.h"
#include "api/handles.h"
#include "api/library_state.h"
#include "api/session_record.h"
#include "device/device_connection.h"
#include "objects/key_kinds.h"
#include "objects/object_record.h"
#include "vlrp11/pkcs11_vendor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using namespace vlrp11;

const std::uint8_t* g_cursor;
const std::uint8_t* g_end;

std::uint32_t transport(DeviceConnection*, std::uint8_t, const std::uint8_t*, std::uint32_t, std::uint8_t* reply,
                        std::uint32_t* length)
{
    if (g_end - g_cursor < 3)
        return 2;
    const std::uint8_t status = g_cursor[0];
    const std::size_t wanted = g_cursor[1] | g_cursor[2] << 8;
    g_cursor += 3;
    const auto available = static_cast<std::size_t>(g_end - g_cursor);
    const std::size_t n = wanted < available ? wanted : available;
    if (reply == nullptr || length == nullptr || n > *length)
        return 7;
    std::memcpy(reply, g_cursor, n);
    *length = static_cast<std::uint32_t>(n);
    g_cursor += n;
    return status;
}

// A token in slot 1 with one read-write session and keys held on the device.
CK_SESSION_HANDLE place_token()
{
    SlotRecord& slot = library_state().slots[0];
    auto* connection = static_cast<DeviceConnection*>(std::calloc(1, sizeof(DeviceConnection)));
    connection->kind = DEVICE_TOKEN;
    connection->login_state = LOGGED_IN_USER;
    connection->transport = transport;
    slot.connection = connection;
    auto* session = static_cast<SessionRecord*>(std::calloc(1, sizeof(SessionRecord)));
    session->flags = CKF_SERIAL_SESSION | CKF_RW_SESSION;
    session->slotId = 1;
    slot.sessions[0] = session;
    const std::uint8_t kinds[] = {KEY_KIND_RSA_GENERATED, KEY_KIND_EC, KEY_KIND_DSTU4145_FIRST, KEY_KIND_AES,
                                  KEY_KIND_GOST28147};
    for (unsigned i = 0; i < sizeof kinds; ++i) {
        auto* key = static_cast<ObjectRecord*>(std::calloc(1, sizeof(ObjectRecord)));
        key->objectClass = kinds[i] <= KEY_KIND_LAST_PRIVATE ? CKO_PRIVATE_KEY : CKO_SECRET_KEY;
        key->connection = connection;
        key->token = 1;
        key->isPrivate = 1;
        key->header.keyKind = kinds[i];
        key->header.flags = KEY_FLAG_DERIVE | KEY_FLAG_EXTRACTABLE;
        key->deviceIndex = static_cast<std::uint8_t>(i + 1);
        slot.tokenObjects[i] = key;
    }
    // Session keys for wrapping: a GOST 28147-89 key wraps an AES key.
    const std::uint8_t value[32] = {1, 2, 3};
    const std::uint8_t sessionKinds[] = {KEY_KIND_GOST28147, KEY_KIND_AES};
    for (unsigned i = 0; i < 2; ++i) {
        auto* key = static_cast<ObjectRecord*>(std::calloc(1, sizeof(ObjectRecord)));
        key->objectClass = CKO_SECRET_KEY;
        key->header.keyKind = sessionKinds[i];
        key->header.flags = KEY_FLAG_EXTRACTABLE;
        set_object_value(*key, value, i == 0 ? 32 : 16);
        session->sessionObjects[i] = key;
    }
    return make_session_handle(1, 0);
}

CK_MECHANISM mech(CK_MECHANISM_TYPE type, void* parameter = nullptr, CK_ULONG length = 0)
{
    return CK_MECHANISM{type, parameter, length};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    get_function_list(&p11);
    p11->C_Initialize(nullptr);
    const CK_SESSION_HANDLE s = place_token();
    const CK_OBJECT_HANDLE rsa = 1, ec = 2, dstu = 3, aes = 4, gost = 5;
    const std::uint8_t lengths = data[0];
    g_cursor = data + 1;
    g_end = data + size;

    static CK_BYTE out[4096];
    CK_BYTE in[256] = {};
    CK_ULONG length = 0;
    auto out_length = [&] { return length = 1 + lengths % 2 * (sizeof out - 1), &length; };

    p11->C_GenerateRandom(s, out, lengths);
    CK_MECHANISM sign[] = {mech(CKM_RSA_PKCS), mech(CKM_ECDSA), mech(CKM_DSTU4145), mech(CKM_SHA256_RSA_PKCS),
                           mech(CKM_ECDSA_SHA256)};
    const CK_OBJECT_HANDLE signers[] = {rsa, ec, dstu, rsa, ec};
    for (unsigned i = 0; i < 5; ++i)
        if (p11->C_SignInit(s, &sign[i], signers[i]) == CKR_OK) {
            p11->C_Sign(s, in, 32, nullptr, &length);
            p11->C_Sign(s, in, 32, out, out_length());
        }
    CK_MECHANISM rsaPkcs = mech(CKM_RSA_PKCS);
    if (p11->C_DecryptInit(s, &rsaPkcs, rsa) == CKR_OK)
        p11->C_Decrypt(s, in, sizeof in, out, out_length());
    CK_BYTE iv[16] = {};
    CK_MECHANISM ciphers[] = {mech(CKM_AES_ECB), mech(CKM_AES_CBC, iv, 16), mech(CKM_GOST28147_ECB),
                              mech(CKM_GOST28147_CTR, iv, 8)};
    const CK_OBJECT_HANDLE cipherKeys[] = {aes, aes, gost, gost};
    for (unsigned i = 0; i < 4; ++i) {
        if (p11->C_EncryptInit(s, &ciphers[i], cipherKeys[i]) == CKR_OK)
            p11->C_Encrypt(s, in, 64, out, out_length());
        if (p11->C_DecryptInit(s, &ciphers[i], cipherKeys[i]) == CKR_OK)
            p11->C_Decrypt(s, in, 64, out, out_length());
    }
    CK_BYTE point[35] = {0x04, 0x21};
    CK_ECDH1_DERIVE_PARAMS agreement{CKD_NULL, 0, nullptr, sizeof point, point};
    CK_MECHANISM derive = mech(CKM_DSTU4145_DERIVE, &agreement, sizeof agreement);
    CK_BBOOL no = CK_FALSE;
    CK_ATTRIBUTE sessionOnly{CKA_TOKEN, &no, 1};
    CK_OBJECT_HANDLE derived = 0;
    p11->C_DeriveKey(s, &derive, dstu, &sessionOnly, 1, &derived);
    CK_MECHANISM wrap = mech(CKM_GOST28147_KEY_WRAP);
    p11->C_WrapKey(s, &wrap, 0x8001, 0x8002, out, out_length());
    CK_TOKEN_INFO token;
    p11->C_GetTokenInfo(1, &token);
    p11->C_Logout(s);
    // Login derives the PIN values at some cost; a quarter of the inputs reach it.
    CK_BYTE pin[] = "123456";
    if ((lengths & 0xC0) == 0xC0)
        p11->C_Login(s, CKU_USER, pin, 6);
    p11->C_Finalize(nullptr);
    return 0;
}
