#pragma once

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// Replies of the object-directory and key-reading commands, as far as the device layer knows
// them; what the bytes mean is the object layer's business.
constexpr std::uint32_t DIRECTORY_REPLY_CAPACITY = 512;
constexpr std::uint32_t OBJECT_CHUNK_REPLY_CAPACITY = 2044;  // 4-byte chunk header + 2040 bytes
constexpr std::uint32_t KEY_INFO_REPLY_CAPACITY = 104;
constexpr std::uint32_t KEY_ATTRIBUTE_REPLY_CAPACITY = 64;

// Each sends one command with the directory index as its request. *length holds the capacity
// of reply on entry (at least the constant above) and the received length on return. Returns
// the transport's or the device's status.
std::uint32_t list_objects(DeviceConnection& connection, std::uint8_t* reply, std::uint32_t* length) noexcept;
std::uint32_t read_object(DeviceConnection& connection, std::uint8_t index, std::uint8_t* reply,
                          std::uint32_t* length) noexcept;
std::uint32_t get_key_info(DeviceConnection& connection, std::uint8_t index, std::uint8_t* reply,
                           std::uint32_t* length) noexcept;
std::uint32_t read_public_key(DeviceConnection& connection, std::uint8_t index, std::uint8_t* reply,
                              std::uint32_t* length) noexcept;
std::uint32_t get_key_attribute(DeviceConnection& connection, std::uint8_t index, std::uint8_t* reply,
                                std::uint32_t* length) noexcept;

}  // namespace vlrp11
