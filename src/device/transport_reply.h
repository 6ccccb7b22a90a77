#pragma once

#include <cstdint>

namespace vlrp11 {

// The last step of both transports, once a reply's MAC has verified: hands its data to the
// caller and returns its status. Data that does not fit the caller's capacity is not copied; its
// length is reported all the same (above the capacity), and a success becomes TRANSPORT_LENGTH.
std::uint32_t deliver_reply(std::uint8_t device_status, const std::uint8_t* data, std::uint32_t data_length,
                            std::uint8_t* reply, std::uint32_t* reply_length) noexcept;

}  // namespace vlrp11
