#pragma once

#include <cstdint>

namespace vlrp11 {

// The device command catalogue: one byte per command.
enum DeviceCommand : std::uint8_t {
    CMD_INIT_PIN = 2,
    CMD_GET_DEVICE_INFO = 16,
    CMD_LIST_OBJECTS = 18,
    CMD_OPEN_CHANNEL = 32,
    CMD_CLOSE_CHANNEL = 36,
    CMD_LOGIN_USER = 38,
    CMD_LOGIN_USER_RO = 39,
    CMD_LOGIN_SO = 40,
    CMD_LOGOUT = 42,
    CMD_GET_RANDOM = 48,
    CMD_READ_OBJECT = 50,
    CMD_CHANGE_PIN = 64,
    CMD_GENERATE_KEY = 66,
    CMD_WRITE_KEY = 68,
    CMD_DELETE_OBJECT = 72,
    CMD_WRITE_OBJECT = 74,
    CMD_GET_KEY_INFO = 80,
    CMD_READ_PUBLIC_KEY = 82,
    CMD_PRIVATE_KEY_OP = 84,
    CMD_DERIVE = 96,
    CMD_UNBLOCK_PIN = 104,
    CMD_ENCRYPT_16 = 112,
    CMD_DECRYPT_16 = 113,
    CMD_ENCRYPT_8 = 120,
    CMD_DECRYPT_8 = 121,
    CMD_SET_TIME = 160,
    CMD_RESET_CHANNELS = 166,
    CMD_KEY_EXCHANGE = 240,
    CMD_GET_KEY_ATTRIBUTE = 241,
};

}  // namespace vlrp11
