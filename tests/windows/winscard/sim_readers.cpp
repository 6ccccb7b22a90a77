#include "sim_readers.h"

#include <charconv>
#include <ws2tcpip.h>

#include "ifd/reader_link.h"

namespace vlrp11::sim {

const char* const default_readers =
    "KESTRELWORKSHOP VELLARO token 00 00=127.0.0.1:36864;"
    "KESTRELWORKSHOP VELLARO HSM 01 00=127.0.0.1:36880";

namespace {

bool send_all(SOCKET socket, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        int sent = send(socket, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
        if (sent <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

bool receive_exact(SOCKET socket, std::span<std::uint8_t> bytes) {
    while (!bytes.empty()) {
        int got = recv(socket, reinterpret_cast<char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
        if (got <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(got));
    }
    return true;
}

std::optional<ReaderConfig> parse_entry(std::string_view entry) {
    auto equals = entry.rfind('=');
    auto colon = entry.rfind(':');
    if (equals == std::string_view::npos || equals == 0 || colon == std::string_view::npos || colon < equals) {
        return std::nullopt;
    }
    ReaderConfig config{std::string(entry.substr(0, equals)),
                        std::string(entry.substr(equals + 1, colon - equals - 1)), 0};
    auto port_text = entry.substr(colon + 1);
    unsigned port = 0;
    auto [end, error] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    in_addr check{};
    if (error != std::errc{} || end != port_text.data() + port_text.size() || port == 0 || port > 65535 ||
        inet_pton(AF_INET, config.address.c_str(), &check) != 1) {
        return std::nullopt;
    }
    config.port = static_cast<std::uint16_t>(port);
    return config;
}

}  // namespace

std::optional<std::vector<ReaderConfig>> parse_reader_list(std::string_view text) {
    std::vector<ReaderConfig> readers;
    while (!text.empty()) {
        auto end = text.find(';');
        auto entry = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (entry.empty()) {
            continue;
        }
        auto config = parse_entry(entry);
        if (!config) {
            return std::nullopt;
        }
        readers.push_back(std::move(*config));
    }
    return readers;
}

bool SimReader::insert() {
    if (link != INVALID_SOCKET) {
        return true;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(config.port);
    inet_pton(AF_INET, config.address.c_str(), &address.sin_addr);
    link = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (link == INVALID_SOCKET) {
        return false;
    }
    // One small write each way per APDU: without this, delayed acknowledgements cost ~40 ms.
    BOOL one = TRUE;
    setsockopt(link, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    if (connect(link, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(link);
        link = INVALID_SOCKET;
        return false;
    }
    auto answer = exchange(static_cast<std::uint8_t>(link::Op::power_up), {});
    if (!answer) {
        return false;
    }
    atr = std::move(*answer);
    ++generation;
    return true;
}

std::optional<std::vector<std::uint8_t>> SimReader::exchange(std::uint8_t op, std::span<const std::uint8_t> payload) {
    std::array<std::uint8_t, link::header_size> header;
    std::optional<std::uint32_t> length;
    if (link != INVALID_SOCKET && send_all(link, link::encode(op, payload)) && receive_exact(link, header)) {
        length = link::payload_length(header);
    }
    std::vector<std::uint8_t> reply(length.value_or(0));
    if (!length || !receive_exact(link, reply) || header[0] != link::reply_done) {
        remove();
        return std::nullopt;
    }
    return reply;
}

void SimReader::remove() {
    if (link != INVALID_SOCKET) {
        closesocket(link);
    }
    link = INVALID_SOCKET;
    atr.clear();
}

}  // namespace vlrp11::sim
