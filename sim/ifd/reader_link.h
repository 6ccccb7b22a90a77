// The loopback link between the reader driver (inside pcscd) and the simulator serving one PC/SC
// device. The simulator listens; the driver connects, and the card counts as present exactly
// while that connection stands.
//
// Every message, in both directions, is a 5-byte header and a payload:
//   byte 0      request: the operation; reply: 0 = done, 1 = refused
//   bytes 1..4  payload length, little-endian, at most max_payload
// The driver sends one request and reads one reply; the reply to power_up and reset carries the
// ATR, the reply to transmit the R-APDU, the reply to power_down nothing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vlrp11::sim::link {

enum class Op : std::uint8_t { power_up = 1, power_down = 2, reset = 3, transmit = 4 };

inline constexpr std::uint8_t reply_done = 0;
inline constexpr std::uint8_t reply_refused = 1;
inline constexpr std::size_t header_size = 5;
// An extended APDU with 65535 data bytes and its framing fits; larger is a broken peer.
inline constexpr std::uint32_t max_payload = 65548;

struct Message {
    std::uint8_t head = 0;
    std::vector<std::uint8_t> payload;
};

std::vector<std::uint8_t> encode(std::uint8_t head, std::span<const std::uint8_t> payload);
// Length announced by a header, or nothing when it exceeds max_payload.
std::optional<std::uint32_t> payload_length(std::span<const std::uint8_t, header_size> header);

// Over a blocking POSIX socket (reader_link_io.cpp). Blocking read of one whole message; nothing on error, end of stream or an oversized length.
std::optional<Message> read_message(int socket);
bool write_message(int socket, std::uint8_t head, std::span<const std::uint8_t> payload);

}  // namespace vlrp11::sim::link
