// The link over a blocking POSIX socket (the driver's side and the simulator's).
#include "reader_link.h"
#include "socket_io.h"

namespace vlrp11::sim::link {

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
