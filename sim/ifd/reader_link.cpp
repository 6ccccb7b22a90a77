#include "reader_link.h"

#include "socket_io.h"

#include <algorithm>

namespace vlrp11::sim::link {

std::vector<std::uint8_t> encode(std::uint8_t head, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> bytes(header_size + payload.size());
    auto length = static_cast<std::uint32_t>(payload.size());
    bytes[0] = head;
    for (int i = 0; i < 4; ++i) {
        bytes[1 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    std::copy(payload.begin(), payload.end(), bytes.begin() + header_size);
    return bytes;
}

std::optional<std::uint32_t> payload_length(std::span<const std::uint8_t, header_size> header) {
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
        length |= static_cast<std::uint32_t>(header[1 + i]) << (8 * i);
    }
    if (length > max_payload) {
        return std::nullopt;
    }
    return length;
}

std::optional<Message> read_message(int socket) {
    std::array<std::uint8_t, header_size> header;
    if (!receive_exact(socket, header)) {
        return std::nullopt;
    }
    auto length = payload_length(header);
    if (!length) {
        return std::nullopt;
    }
    Message message{header[0], std::vector<std::uint8_t>(*length)};
    if (!receive_exact(socket, message.payload)) {
        return std::nullopt;
    }
    return message;
}

bool write_message(int socket, std::uint8_t head, std::span<const std::uint8_t> payload) {
    if (payload.size() > max_payload) {
        return false;
    }
    // One write per message: two would cost a second segment on the loopback for nothing.
    return send_all(socket, encode(head, payload));
}

}  // namespace vlrp11::sim::link
