#include "reader_link.h"

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

}  // namespace vlrp11::sim::link
