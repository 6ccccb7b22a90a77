// The handlers of the object, key and cipher commands. Each checks its request, and the login
// beyond what the command table already demands, and answers a device status.
#pragma once

#include "core/command.h"

namespace vlrp11::sim {

using Request = std::span<const std::uint8_t>;
using Reply = std::vector<std::uint8_t>;

// Object directory and files (objects_commands.cpp).
std::uint8_t list_objects(CommandContext& context, Request request, Reply& reply);    // 18
std::uint8_t read_object(CommandContext& context, Request request, Reply& reply);     // 50
std::uint8_t delete_object(CommandContext& context, Request request, Reply& reply);   // 72
std::uint8_t write_object(CommandContext& context, Request request, Reply& reply);    // 74

// Keys (keys_commands.cpp).
std::uint8_t generate_key(CommandContext& context, Request request, Reply& reply);       // 66
std::uint8_t write_key(CommandContext& context, Request request, Reply& reply);          // 68
std::uint8_t get_key_info(CommandContext& context, Request request, Reply& reply);       // 80
std::uint8_t read_public_key(CommandContext& context, Request request, Reply& reply);    // 82
std::uint8_t get_key_attribute(CommandContext& context, Request request, Reply& reply);  // 241

// Key operations (keys_operations.cpp).
std::uint8_t private_key_operation(CommandContext& context, Request request, Reply& reply);  // 84
std::uint8_t derive(CommandContext& context, Request request, Reply& reply);                 // 96
std::uint8_t encrypt_16(CommandContext& context, Request request, Reply& reply);             // 112
std::uint8_t decrypt_16(CommandContext& context, Request request, Reply& reply);             // 113
std::uint8_t encrypt_8(CommandContext& context, Request request, Reply& reply);              // 120
std::uint8_t decrypt_8(CommandContext& context, Request request, Reply& reply);              // 121

}  // namespace vlrp11::sim
