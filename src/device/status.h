#pragma once

#include <cstdint>

namespace vlrp11 {

// Every status a device command can end with: the device's own status bytes that callers react
// to and the results the library's device access produces itself. The values are the
// protocol's and never change. A device status byte of the same value as a local result reaches
// the caller the same way; callers do not tell them apart. Any other device status byte passes
// through unchanged.
enum DeviceStatus : std::uint32_t {
    DEVICE_OK = 0,
    TRANSPORT_FAILED = 2,            // nothing or too little came back; the device is gone
    CONNECTION_LOST = 3,             // the device is gone
    LOGIN_TYPE_NOT_ALLOWED = 5,      // nothing is sent
    OUTPUT_TOO_SHORT = 6,            // the caller's buffer is below the RSA key's signature size
    TRANSPORT_LENGTH = 7,            // request or reply capacity over the limit; nothing is sent
    REPLY_LENGTH_WRONG = 8,          // a channel or login reply of the wrong length
    KEY_EXCHANGE_CRYPTO_FAILED = 23, // key or random generation, shared secret
    TRANSPORT_BAD_MAC = 42,          // the reply's MAC did not match; no data returned
    NO_FREE_CHANNEL = 44,            // the device has no channel left; reset its channels
    COMMAND_LENGTH_WRONG = 45,       // data a block or key command cannot carry, or a reply of
                                     // another length than asked (a key-exchange reply not 268
                                     // bytes among them)
    PIN_WRONG = 48,
    KEY_KIND_WRONG = 53,             // the key is not of the kind the operation needs
    PIN_BLOCKED = 60,
    OPERATION_STARTED = 63,          // key generation runs on; poll for its end
    DEVICE_BUSY = 64,                // repeat the same command after a pause
    CERTIFICATE_INVALID = 110,       // device certificate fields or root signature
    DEVICE_SIGNATURE_INVALID = 111,  // the device's signature over the exchange
    RANDOM_FAILED = 190,             // the system's random source could not deliver
    ENCODING_FAILED = 209,           // the hash does not fit a PKCS#1 v1.5 block of the key's size
    DECRYPTED_BLOCK_INVALID = 217,   // an RSA decryption that is not a PKCS#1 v1.5 block
    DECRYPTED_MESSAGE_TOO_LARGE = 218, // its message exceeds the caller's buffer
    WRAPPED_KEY_INVALID = 219,       // a wrapped key whose checksum does not match
    DRBG_REQUEST_TOO_LONG = 255,     // more than 65536 bytes asked of the random generator
};

}  // namespace vlrp11
