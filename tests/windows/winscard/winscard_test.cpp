// The test-only winscard.dll, loaded through the override, against scripted cards that this
// program serves on the loopback link: the PC/SC calls the module makes, their length rules,
// and a card that goes away.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <winscard.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// A card on the simulator's side of the link: ATR to power-up and reset, an echo with 90 00 to
// transmit. Serves one link at a time, for the life of the process: the DLL keeps its link open
// until the process ends.
class ScriptedCard {
public:
    ScriptedCard() {
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 4);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        std::thread([this] { run(); }).detach();
    }

    int port = 0;
    std::atomic<bool> hang_up{false};  // close the link at the next request

private:
    static bool read_exact(SOCKET s, char* out, int n) {
        while (n > 0) {
            int got = recv(s, out, n, 0);
            if (got <= 0) return false;
            out += got;
            n -= got;
        }
        return true;
    }
    void run() {
        for (;;) {
            SOCKET link = accept(listener_, nullptr, nullptr);
            if (link == INVALID_SOCKET) return;
            unsigned char header[5];
            while (read_exact(link, reinterpret_cast<char*>(header), 5) && !hang_up.exchange(false)) {
                std::uint32_t length = header[1] | header[2] << 8 | header[3] << 16 | std::uint32_t(header[4]) << 24;
                std::vector<char> payload(length);
                if (length && !read_exact(link, payload.data(), static_cast<int>(length))) break;
                std::vector<char> reply;
                if (header[0] == 1 || header[0] == 3) {
                    const char atr[] = "\x3B\x8F\x11\x81\x00VTKWD123456789\x74";
                    reply.assign(atr, atr + 20);
                } else if (header[0] == 4) {
                    reply = payload;
                    reply.push_back(char(0x90));
                    reply.push_back(0);
                }
                std::uint32_t n = static_cast<std::uint32_t>(reply.size());
                char out_header[5] = {0, char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
                reply.insert(reply.begin(), out_header, out_header + 5);
                send(link, reply.data(), static_cast<int>(reply.size()), 0);
            }
            closesocket(link);
        }
    }
    SOCKET listener_;
};

int closed_port() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}

ScriptedCard* card;
const std::string token = "SIM token 00 00";
const std::string absent = "SIM HSM 01 00";

class WinscardDll : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context), SCARD_S_SUCCESS); }
    void TearDown() override { SCardReleaseContext(context); }
    SCARDHANDLE connect(const std::string& reader, LONG expected = SCARD_S_SUCCESS) {
        SCARDHANDLE handle = 0;
        DWORD protocol = 0;
        EXPECT_EQ(SCardConnectA(context, reader.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &handle, &protocol),
                  expected);
        if (expected == SCARD_S_SUCCESS) {
            EXPECT_EQ(protocol, DWORD{SCARD_PROTOCOL_T1});
        }
        return handle;
    }
    SCARDCONTEXT context = 0;
};

TEST_F(WinscardDll, ListsTheConfiguredReadersWithTheLengthRules) {
    const std::string expected = token + '\0' + absent + '\0' + '\0';
    DWORD length = 0;
    ASSERT_EQ(SCardListReadersA(context, nullptr, nullptr, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(length, expected.size());
    std::string names(length, 'x');
    length = static_cast<DWORD>(expected.size() - 1);
    EXPECT_EQ(SCardListReadersA(context, nullptr, names.data(), &length), SCARD_E_INSUFFICIENT_BUFFER);
    length = static_cast<DWORD>(names.size());
    ASSERT_EQ(SCardListReadersA(context, nullptr, names.data(), &length), SCARD_S_SUCCESS);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(SCardListReadersA(context, nullptr, nullptr, nullptr), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(SCardListReadersA(context + 999, nullptr, nullptr, &length), SCARD_E_INVALID_HANDLE);
}

TEST_F(WinscardDll, ConnectRefusals) {
    SCARDHANDLE handle = 0;
    DWORD protocol = 0;
    EXPECT_EQ(SCardConnectA(context, token.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0, &handle, &protocol),
              SCARD_E_PROTO_MISMATCH);
    connect("SIM token", SCARD_E_UNKNOWN_READER);
    connect(absent, SCARD_E_NO_SMARTCARD);
    EXPECT_EQ(SCardIsValidContext(context), SCARD_S_SUCCESS);
    EXPECT_EQ(SCardIsValidContext(context + 999), SCARD_E_INVALID_HANDLE);
}

TEST_F(WinscardDll, AtrAttributeStatusAndTransmit) {
    SCARDHANDLE handle = connect(token);
    BYTE atr[32];
    DWORD length = sizeof atr;
    ASSERT_EQ(SCardGetAttrib(handle, 0x90303, atr, &length), SCARD_S_SUCCESS);
    ASSERT_EQ(length, 20u);
    EXPECT_EQ(std::string(atr + 5, atr + 10), "VTKWD");
    length = 19;
    EXPECT_EQ(SCardGetAttrib(handle, 0x90303, atr, &length), SCARD_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(SCardGetAttrib(handle, 0x10103, atr, &length), SCARD_E_UNSUPPORTED_FEATURE);

    char name[200];
    DWORD name_length = sizeof name, state = 0, protocol = 0;
    length = sizeof atr;
    ASSERT_EQ(SCardStatusA(handle, name, &name_length, &state, &protocol, atr, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(std::string(name), token);
    EXPECT_EQ(protocol, DWORD{SCARD_PROTOCOL_T1});
    EXPECT_EQ(length, 20u);

    std::vector<BYTE> command(2064, 0x3C), response(2066);
    DWORD response_length = static_cast<DWORD>(response.size());
    ASSERT_EQ(SCardTransmit(handle, SCARD_PCI_T1, command.data(), 2064, nullptr, response.data(), &response_length),
              SCARD_S_SUCCESS);
    EXPECT_EQ(response_length, 2066u);
    EXPECT_EQ(response[2064], 0x90);
    response_length = 2065;
    EXPECT_EQ(SCardTransmit(handle, SCARD_PCI_T1, command.data(), 2064, nullptr, response.data(), &response_length),
              SCARD_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(SCardDisconnect(handle, SCARD_LEAVE_CARD), SCARD_S_SUCCESS);
    EXPECT_EQ(SCardDisconnect(handle, SCARD_LEAVE_CARD), SCARD_E_INVALID_HANDLE);
}

TEST_F(WinscardDll, HandlesToARemovedCardStayDeadWhenANewOneArrives) {
    SCARDHANDLE first = connect(token);
    SCARDHANDLE second = connect(token);
    card->hang_up = true;
    BYTE command[5] = {0xFF, 0x10, 0, 0, 0}, response[16];
    DWORD length = sizeof response;
    EXPECT_EQ(SCardTransmit(first, SCARD_PCI_T1, command, 5, nullptr, response, &length), SCARD_E_NOT_TRANSACTED);
    length = sizeof response;
    EXPECT_EQ(SCardTransmit(second, SCARD_PCI_T1, command, 5, nullptr, response, &length), SCARD_W_REMOVED_CARD);
    EXPECT_EQ(SCardStatusA(first, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), SCARD_W_REMOVED_CARD);
    SCARDHANDLE fresh = connect(token);
    length = sizeof response;
    EXPECT_EQ(SCardTransmit(fresh, SCARD_PCI_T1, command, 5, nullptr, response, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(SCardStatusA(second, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), SCARD_W_REMOVED_CARD);
}

TEST_F(WinscardDll, ReleasedContextTakesItsHandlesAlong) {
    SCARDHANDLE handle = connect(token);
    ASSERT_EQ(SCardReleaseContext(context), SCARD_S_SUCCESS);
    EXPECT_EQ(SCardIsValidContext(context), SCARD_E_INVALID_HANDLE);
    EXPECT_EQ(SCardStatusA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), SCARD_E_INVALID_HANDLE);
    EXPECT_EQ(SCardReleaseContext(context), SCARD_E_INVALID_HANDLE);
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context), SCARD_S_SUCCESS);
}

}  // namespace

int main(int argc, char** argv) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    // The DLL reads its reader list once, at the first context.
    card = new ScriptedCard;
    std::string readers = token + "=127.0.0.1:" + std::to_string(card->port) + ";" + absent +
                          "=127.0.0.1:" + std::to_string(closed_port());
    _putenv_s("VLRP11_WINSCARD_READERS", readers.c_str());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
