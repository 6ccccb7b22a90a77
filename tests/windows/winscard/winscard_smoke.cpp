// Windows side of the simulator smoke test, run under wine against a running vlrp11-sim: lists
// the readers of the test winscard.dll, reads both 20-byte ATRs and completes device command 16
// on each with the reply MAC checked (AES CBC-MAC under the all-0xFF key, the module's own AES).
// Exits 0 when everything passed.
#include <winscard.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/aes.h"

namespace {

// First 6 bytes of the AES CBC-MAC with a zero IV, the last block zero-filled.
std::vector<std::uint8_t> channel_mac(const vlrp11::AesKey& key, const std::uint8_t* data, std::size_t length) {
    std::uint8_t state[16] = {};
    for (std::size_t i = 0; i < length; ++i) {
        state[i % 16] ^= data[i];
        if (i % 16 == 15 || i + 1 == length) {
            vlrp11::aes_encrypt_block(key, state, state);
        }
    }
    return {state, state + 6};
}

bool check_reader(SCARDCONTEXT context, const char* reader, const vlrp11::AesKey& key) {
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    LONG rv = SCardConnectA(context, reader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &card, &protocol);
    if (rv != SCARD_S_SUCCESS) {
        std::printf("FAIL %s: SCardConnectA 0x%lx\n", reader, static_cast<unsigned long>(rv));
        return false;
    }
    BYTE atr[32];
    DWORD atr_length = sizeof atr;
    bool ok = SCardGetAttrib(card, 0x90303, atr, &atr_length) == SCARD_S_SUCCESS && atr_length == 20 &&
              std::memcmp(atr, "\x3B\x8F\x11\x81\x00VTKW", 9) == 0;
    // Command 16 on the basic channel: no data, 32 bytes expected.
    std::vector<std::uint8_t> apdu = {0xFF, 16, 0, 0, 6};
    auto mac = channel_mac(key, apdu.data(), apdu.size());
    apdu.insert(apdu.end(), mac.begin(), mac.end());
    apdu.push_back(32 + 6);
    BYTE response[2064];
    DWORD length = sizeof response;
    rv = SCardTransmit(card, SCARD_PCI_T1, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr, response, &length);
    ok = ok && rv == SCARD_S_SUCCESS && length == 8 + 32 && response[length - 1] == 0 &&
         channel_mac(key, response + 6, length - 6) == std::vector<std::uint8_t>(response, response + 6);
    std::printf("%s %s: ATR %lu bytes, command 16 %s\n", ok ? "ok  " : "FAIL", reader,
                static_cast<unsigned long>(atr_length), ok ? "answered, MAC checked" : "failed");
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    return ok;
}

}  // namespace

int main() {
    vlrp11::AesKey key;
    std::uint8_t all_ff[16];
    std::memset(all_ff, 0xFF, sizeof all_ff);
    vlrp11::aes_set_key(key, all_ff, 128);
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
        std::printf("FAIL no PC/SC context (is winscard=n,b in WINEDLLOVERRIDES?)\n");
        return 1;
    }
    char names[1024];
    DWORD length = sizeof names;
    if (SCardListReadersA(context, nullptr, names, &length) != SCARD_S_SUCCESS) {
        std::printf("FAIL no readers\n");
        return 1;
    }
    bool ok = true;
    int readers = 0;
    for (const char* name = names; *name; name += std::strlen(name) + 1, ++readers) {
        ok = check_reader(context, name, key) && ok;
    }
    SCardReleaseContext(context);
    ok = ok && readers == 2;
    std::printf("%s\n", ok ? "wine smoke test passed" : "wine smoke test FAILED");
    return ok ? 0 : 1;
}
