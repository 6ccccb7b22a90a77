#pragma once

#include "crypto/aes.h"
#include "device/ctr_drbg.h"

#include <cstdint>

namespace vlrp11 {

// What kind of device a connection serves, and so which transport carries its commands.
enum DeviceKind : std::int32_t {
    DEVICE_TOKEN = 1,        // VELLARO token in a PC/SC reader
    DEVICE_PCSC_HSM = 2,     // VELLARO HSM in a PC/SC reader, one connection per partition
    DEVICE_NETWORK_HSM = 3,  // MORVA network HSM over TCP
    DEVICE_OTHER_PCSC = 100, // further PC/SC-attached kind, closed like 1 and 2
};

enum LoginState : std::int32_t {
    LOGGED_OUT = -1,  // payloads travel unencrypted
    LOGGED_IN_SO = 0,
    LOGGED_IN_USER = 1,
    LOGGED_IN_USER_RO = 2,
};

struct DeviceConnection;

// Sends one device command. reply and reply_length are both null when no reply data is
// expected; otherwise *reply_length holds the capacity on entry and the received length on
// return. Returns 0, a transport status (2, 7, 42) or the device's status byte.
using TransportFn = std::uint32_t (*)(DeviceConnection* connection, std::uint8_t code, const std::uint8_t* request,
                                      std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length);

// Offsets into the 32-byte reply of the device-information command; integers little-endian.
enum DeviceInfoOffset : unsigned {
    DEVICE_INFO_SERIAL = 0,       // uint32
    DEVICE_INFO_MODEL = 4,        // uint32
    DEVICE_INFO_VERSION = 8,      // major firmware version
    DEVICE_INFO_BLOCKS = 9,       // number of 2040-byte storage blocks
    DEVICE_INFO_PIN_LIMIT = 10,   // PIN try limit
    DEVICE_INFO_PIN_FAILURES = 11 // PIN failures so far
};

// One device the library talks to. Allocated zero-filled at connect; owned by its slot.
struct DeviceConnection {
    DeviceKind kind;
    std::int32_t instance;  // HSM partition served by this connection; 0 for a token
    std::uint16_t channel;  // channel number given by the device, sent as P1/P2; 0 = none
    LoginState login_state;
    std::uint8_t device_info[32];
    std::uint64_t handle;  // PC/SC card handle, or the socket of a network HSM
    std::uint8_t device_certificate[140];
    std::uint8_t atr[32];
    std::uint32_t atr_length;
    std::int32_t atr_digit;
    TransportFn transport;
    CtrDrbg random;
    AesKey channel_cipher;          // schedule of the channel key; all 0xFF until replaced
    std::uint64_t keystream_pos;    // next byte of keystream to use; 0 = make a new block first
    std::uint8_t counter[16];       // counter block of the payload encryption, big-endian
    std::uint8_t keystream[16];     // encryption of the last counter value used
};

}  // namespace vlrp11
