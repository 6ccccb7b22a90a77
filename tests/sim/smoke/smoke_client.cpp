// End-to-end smoke test of the simulator front ends: lists the PC/SC readers, reads the 20-byte
// ATR of the token and the HSM through pcscd, completes device command 16 on each with the reply
// MAC checked, and does the same over TCP with the network HSMs given on the command line.
//
//   vlrp11-sim-smoke [--wait S] [--rounds N] [--tcp <address>[:<port>]]...
//
// --wait S first waits up to S seconds until both cards can be connected (pcscd finds a card
// only at its next presence poll). With --rounds N each device also answers command 16 N times
// and the median round trip is printed. Exits 0 when every check passed.
#include <PCSC/winscard.h>
#include <PCSC/reader.h>

#include <algorithm>
#include <sys/socket.h>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/sim_client.h"
#include "ifd/socket_io.h"
#include "server/cli.h"

namespace {

using vlrp11::sim::ClientChannel;
using vlrp11::sim::ClientReply;

constexpr std::uint8_t cmd_get_device_info = 16;
constexpr std::size_t device_info_size = 32;
const std::string reader_prefixes[] = {"KESTRELWORKSHOP VELLARO token", "KESTRELWORKSHOP VELLARO HSM"};

struct Options {
    int wait_seconds = 0;
    int rounds = 0;
    std::vector<vlrp11::sim::Endpoint> network_hsms;
};

bool parse_options(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--wait" && i + 1 < argc) {
            options.wait_seconds = std::atoi(argv[++i]);
        } else if (arg == "--rounds" && i + 1 < argc) {
            options.rounds = std::atoi(argv[++i]);
        } else if (arg == "--tcp" && i + 1 < argc) {
            auto endpoint = vlrp11::sim::parse_endpoint(argv[++i], vlrp11::sim::network_hsm_port);
            if (!endpoint) {
                return false;
            }
            options.network_hsms.push_back(*endpoint);
        } else {
            return false;
        }
    }
    return options.rounds >= 0 && options.wait_seconds >= 0;
}

// One command 16 over some transport: the exchange function sends the framed request and
// returns the raw reply, the check function unframes it with the MAC check.
template <typename Exchange, typename Check>
bool get_device_info(const char* label, Exchange exchange, Check check, int rounds) {
    std::vector<double> times_ms;
    ClientReply reply;
    for (int i = 0; i < std::max(rounds, 1); ++i) {
        auto start = std::chrono::steady_clock::now();
        std::vector<std::uint8_t> raw;
        if (!exchange(raw)) {
            std::printf("FAIL %s: exchange failed\n", label);
            return false;
        }
        times_ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        reply = check(raw);
        if (reply.status != vlrp11::DEVICE_OK || reply.data.size() != device_info_size) {
            std::printf("FAIL %s: command 16 status %d, %zu bytes\n", label, reply.status, reply.data.size());
            return false;
        }
    }
    unsigned serial = reply.data[0] | reply.data[1] << 8 | reply.data[2] << 16 | unsigned(reply.data[3]) << 24;
    std::printf("ok   %s: command 16, MAC checked, serial %u, version %u\n", label, serial, reply.data[8]);
    if (rounds > 0) {
        std::nth_element(times_ms.begin(), times_ms.begin() + times_ms.size() / 2, times_ms.end());
        std::printf("     %s: median round trip of %d: %.3f ms\n", label, rounds, times_ms[times_ms.size() / 2]);
    }
    return true;
}

ClientReply pcsc_command(SCARDHANDLE card, ClientChannel& channel, std::uint8_t code, std::size_t capacity) {
    auto apdu = channel.build_apdu(code, {}, capacity);
    std::vector<std::uint8_t> raw(2064);
    DWORD length = static_cast<DWORD>(raw.size());
    if (SCardTransmit(card, SCARD_PCI_T1, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr, raw.data(),
                      &length) != SCARD_S_SUCCESS) {
        return {2, {}};
    }
    raw.resize(length);
    return channel.parse_apdu_response(raw);
}

// The HSM's four partitions are reached through four card handles on its one reader, each with
// a channel of its own.
bool check_hsm_handles(SCARDCONTEXT context, const std::string& reader) {
    constexpr std::uint8_t cmd_open_channel = 32;
    constexpr std::uint8_t cmd_close_channel = 36;
    SCARDHANDLE cards[4] = {};
    ClientChannel channels[4];
    bool ok = true;
    for (int i = 0; i < 4 && ok; ++i) {
        DWORD protocol = 0;
        ok = SCardConnect(context, reader.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &cards[i],
                          &protocol) == SCARD_S_SUCCESS;
        auto opened = ok ? pcsc_command(cards[i], channels[i], cmd_open_channel, 2) : ClientReply{2, {}};
        ok = opened.status == vlrp11::DEVICE_OK && opened.data.size() == 2;
        if (ok) {
            channels[i].channel = static_cast<std::uint16_t>(opened.data[0] | opened.data[1] << 8);
            ok = channels[i].channel != 0 &&
                 pcsc_command(cards[i], channels[i], cmd_get_device_info, device_info_size).status == vlrp11::DEVICE_OK;
        }
        for (int j = 0; j < i && ok; ++j) {
            ok = channels[j].channel != channels[i].channel;
        }
    }
    for (int i = 0; i < 4; ++i) {
        if (channels[i].channel != 0) {
            ok = pcsc_command(cards[i], channels[i], cmd_close_channel, 0).status == vlrp11::DEVICE_OK && ok;
        }
        if (cards[i]) {
            SCardDisconnect(cards[i], SCARD_LEAVE_CARD);
        }
    }
    std::printf("%s %s: four card handles, four channels, command 16 on each\n", ok ? "ok  " : "FAIL",
                reader.c_str());
    return ok;
}

bool check_reader(SCARDCONTEXT context, const std::string& reader, int rounds) {
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    LONG rv = SCardConnect(context, reader.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &card, &protocol);
    if (rv != SCARD_S_SUCCESS) {
        std::printf("FAIL %s: SCardConnect 0x%lx\n", reader.c_str(), static_cast<unsigned long>(rv));
        return false;
    }
    std::uint8_t atr[33];
    DWORD atr_length = sizeof atr;
    rv = SCardGetAttrib(card, SCARD_ATTR_ATR_STRING, atr, &atr_length);
    bool ok = rv == SCARD_S_SUCCESS && atr_length == 20 && atr[0] == 0x3B;
    std::printf("%s %s: ATR attribute 0x%lx, %lu bytes\n", ok ? "ok  " : "FAIL", reader.c_str(),
                static_cast<unsigned long>(rv), static_cast<unsigned long>(atr_length));
    ClientChannel channel;
    auto exchange = [&](std::vector<std::uint8_t>& raw) {
        auto apdu = channel.build_apdu(cmd_get_device_info, {}, device_info_size);
        raw.assign(2064, 0);
        DWORD length = static_cast<DWORD>(raw.size());
        if (SCardTransmit(card, SCARD_PCI_T1, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr,
                          raw.data(), &length) != SCARD_S_SUCCESS) {
            return false;
        }
        raw.resize(length);
        return true;
    };
    auto check = [&](const std::vector<std::uint8_t>& raw) { return channel.parse_apdu_response(raw); };
    ok = get_device_info(reader.c_str(), exchange, check, rounds) && ok;
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    return ok;
}

// The readers whose names start with the two prefixes, in prefix order ("" when missing).
std::vector<std::string> find_readers(SCARDCONTEXT context, bool print) {
    DWORD length = 0;
    std::string names;
    if (SCardListReaders(context, nullptr, nullptr, &length) == SCARD_S_SUCCESS && length > 0) {
        names.assign(length, '\0');
        SCardListReaders(context, nullptr, names.data(), &length);
    }
    std::vector<std::string> found(std::size(reader_prefixes));
    for (std::size_t at = 0; at < names.size() && names[at] != '\0'; at = names.find('\0', at) + 1) {
        std::string name = names.c_str() + at;
        if (print) {
            std::printf("     reader \"%s\"\n", name.c_str());
        }
        for (std::size_t i = 0; i < found.size(); ++i) {
            found[i] = found[i].empty() && name.starts_with(reader_prefixes[i]) ? name : found[i];
        }
    }
    return found;
}

bool cards_connectable() {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
        return false;
    }
    bool ok = true;
    for (const auto& reader : find_readers(context, false)) {
        SCARDHANDLE card = 0;
        DWORD protocol = 0;
        ok = ok && !reader.empty() &&
             SCardConnect(context, reader.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &card,
                          &protocol) == SCARD_S_SUCCESS;
        if (card) {
            SCardDisconnect(card, SCARD_LEAVE_CARD);
        }
    }
    SCardReleaseContext(context);
    return ok;
}

void wait_for_cards(int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!cards_connectable() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool check_pcsc(int rounds) {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
        std::printf("FAIL no PC/SC context\n");
        return false;
    }
    auto readers = find_readers(context, true);
    bool ok = true;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        if (readers[i].empty()) {
            std::printf("FAIL no reader \"%s...\"\n", reader_prefixes[i].c_str());
            ok = false;
        } else {
            ok = check_reader(context, readers[i], rounds) && ok;
            if (readers[i].starts_with(reader_prefixes[1])) {
                ok = check_hsm_handles(context, readers[i]) && ok;
            }
        }
    }
    SCardReleaseContext(context);
    return ok;
}

bool check_network_hsm(const vlrp11::sim::Endpoint& endpoint, int rounds) {
    std::string label = "network HSM " + vlrp11::sim::to_string(endpoint);
    int socket = vlrp11::sim::connect_tcp(endpoint, 2000);
    if (socket < 0) {
        std::printf("FAIL %s: cannot connect\n", label.c_str());
        return false;
    }
    vlrp11::sim::set_receive_timeout(socket, 5000);
    ClientChannel channel;
    auto exchange = [&](std::vector<std::uint8_t>& raw) {
        auto frame = channel.build_tcp_frame(cmd_get_device_info, {});
        raw.assign(2056, 0);
        if (!vlrp11::sim::send_all(socket, frame)) {
            return false;
        }
        // One receive, as the module takes a reply.
        ssize_t got = recv(socket, raw.data(), raw.size(), 0);
        raw.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return got > 0;
    };
    auto check = [&](const std::vector<std::uint8_t>& raw) { return channel.parse_tcp_reply(raw); };
    bool ok = get_device_info(label.c_str(), exchange, check, rounds);
    vlrp11::sim::close_socket(socket);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fprintf(stderr, "usage: vlrp11-sim-smoke [--wait S] [--rounds N] [--tcp <address>[:<port>]]...\n");
        return 2;
    }
    wait_for_cards(options.wait_seconds);
    bool ok = check_pcsc(options.rounds);
    for (const auto& endpoint : options.network_hsms) {
        ok = check_network_hsm(endpoint, options.rounds) && ok;
    }
    std::printf("%s\n", ok ? "smoke test passed" : "smoke test FAILED");
    return ok ? 0 : 1;
}
