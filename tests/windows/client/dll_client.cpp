// A Windows application's view of the module, run under wine against the simulated devices: it
// loads vlrp11.dll by path, takes its one export, and on every slot logs the user in, hashes a
// message with CKM_SHA256, finds the device's EC key pair and signs the hash with CKM_ECDSA.
// Each signature goes to stdout as "sig <serial> <message hex> <EC point hex> <r||s hex>" for
// the caller to verify with an independent implementation. Exits 0 when every slot signed, 2
// when the module does not offer object search yet (nothing to verify), 1 on any failure.
//
//   dll_client.exe <path of vlrp11.dll>        (PIN from VLRP11_SIM_USER_PIN)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vlrp11/pkcs11.h"

namespace {

CK_FUNCTION_LIST_PTR p11 = nullptr;

std::string hex(const CK_BYTE* bytes, CK_ULONG length) {
    std::string text;
    char pair[3];
    for (CK_ULONG i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

bool check(CK_RV rv, const char* what, const std::string& serial) {
    if (rv != CKR_OK)
        std::printf("FAIL %s: %s returned 0x%lx\n", serial.c_str(), what, static_cast<unsigned long>(rv));
    return rv == CKR_OK;
}

// The first object matching the template, or 0.
CK_OBJECT_HANDLE find_one(CK_SESSION_HANDLE session, CK_ATTRIBUTE* templ, CK_ULONG count, CK_RV& rv) {
    CK_OBJECT_HANDLE object = 0;
    CK_ULONG found = 0;
    rv = p11->C_FindObjectsInit(session, templ, count);
    if (rv == CKR_OK)
        rv = p11->C_FindObjects(session, &object, 1, &found);
    p11->C_FindObjectsFinal(session);
    return found == 1 ? object : 0;
}

std::vector<CK_BYTE> attribute(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) {
    CK_ATTRIBUTE entry{type, nullptr, 0};
    if (p11->C_GetAttributeValue(session, object, &entry, 1) != CKR_OK)
        return {};
    std::vector<CK_BYTE> value(entry.ulValueLen);
    entry.pValue = value.data();
    return p11->C_GetAttributeValue(session, object, &entry, 1) == CKR_OK ? value : std::vector<CK_BYTE>{};
}

// 1 signed, 0 failed, 2 object search not offered.
int sign_on_slot(CK_SLOT_ID slot, CK_UTF8CHAR_PTR pin, CK_ULONG pin_length) {
    CK_TOKEN_INFO token{};
    if (!check(p11->C_GetTokenInfo(slot, &token), "C_GetTokenInfo", "slot"))
        return 0;
    std::string serial(reinterpret_cast<char*>(token.serialNumber), sizeof token.serialNumber);
    serial.erase(serial.find_last_not_of(' ') + 1);
    CK_SESSION_HANDLE session = 0;
    if (!check(p11->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session),
               "C_OpenSession", serial) ||
        !check(p11->C_Login(session, CKU_USER, pin, pin_length), "C_Login", serial))
        return 0;
    int result = 0;
    CK_BYTE message[] = "vlrp11 Windows client";
    CK_BYTE hash[32];
    CK_ULONG hash_length = sizeof hash;
    CK_MECHANISM sha256{CKM_SHA256, nullptr, 0};
    CK_OBJECT_CLASS private_class = CKO_PRIVATE_KEY;
    CK_KEY_TYPE ec = CKK_EC;
    CK_ATTRIBUTE private_template[] = {{CKA_CLASS, &private_class, sizeof private_class},
                                       {CKA_KEY_TYPE, &ec, sizeof ec}};
    CK_RV rv = CKR_OK;
    CK_OBJECT_HANDLE key = 0;
    if (check(p11->C_DigestInit(session, &sha256), "C_DigestInit", serial) &&
        check(p11->C_Digest(session, message, sizeof message - 1, hash, &hash_length), "C_Digest", serial)) {
        key = find_one(session, private_template, 2, rv);
        if (rv == CKR_FUNCTION_NOT_SUPPORTED)
            result = 2;
        else if (key == 0)
            std::printf("FAIL %s: no EC private key found (0x%lx)\n", serial.c_str(), static_cast<unsigned long>(rv));
    }
    if (key != 0) {
        std::vector<CK_BYTE> id = attribute(session, key, CKA_ID);
        CK_OBJECT_CLASS public_class = CKO_PUBLIC_KEY;
        CK_ATTRIBUTE public_template[] = {{CKA_CLASS, &public_class, sizeof public_class},
                                          {CKA_ID, id.data(), static_cast<CK_ULONG>(id.size())}};
        std::vector<CK_BYTE> point = attribute(session, find_one(session, public_template, 2, rv), CKA_EC_POINT);
        CK_MECHANISM ecdsa{CKM_ECDSA, nullptr, 0};
        CK_BYTE signature[132];
        CK_ULONG signature_length = sizeof signature;
        if (point.empty())
            std::printf("FAIL %s: no public key with the private key's ID\n", serial.c_str());
        else if (check(p11->C_SignInit(session, &ecdsa, key), "C_SignInit", serial) &&
                 check(p11->C_Sign(session, hash, hash_length, signature, &signature_length), "C_Sign", serial)) {
            std::printf("sig %s %s %s %s\n", serial.c_str(), hex(message, sizeof message - 1).c_str(),
                        hex(point.data(), static_cast<CK_ULONG>(point.size())).c_str(),
                        hex(signature, signature_length).c_str());
            result = 1;
        }
    }
    check(p11->C_Logout(session), "C_Logout", serial);
    p11->C_CloseSession(session);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const char* pin = std::getenv("VLRP11_SIM_USER_PIN");
    if (argc != 2 || pin == nullptr) {
        std::printf("usage: dll_client.exe <vlrp11.dll>, with VLRP11_SIM_USER_PIN set\n");
        return 1;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    auto get_list = module ? reinterpret_cast<CK_C_GetFunctionList>(
                                 reinterpret_cast<void*>(GetProcAddress(module, "C_GetFunctionList")))
                           : nullptr;
    if (get_list == nullptr || get_list(&p11) != CKR_OK || p11->C_Initialize(nullptr) != CKR_OK) {
        std::printf("FAIL cannot load %s\n", argv[1]);
        return 1;
    }
    CK_ULONG count = 0;
    p11->C_GetSlotList(CK_TRUE, nullptr, &count);
    std::vector<CK_SLOT_ID> slots(count);
    p11->C_GetSlotList(CK_TRUE, slots.data(), &count);
    int results[3] = {};
    for (CK_ULONG i = 0; i < count; ++i)
        ++results[sign_on_slot(slots[i], reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(pin)),
                               static_cast<CK_ULONG>(std::strlen(pin)))];
    p11->C_Finalize(nullptr);
    std::printf("%d of %lu slots signed\n", results[1], static_cast<unsigned long>(count));
    if (count == 0 || results[0] > 0)
        return 1;
    return results[2] > 0 ? 2 : 0;
}
