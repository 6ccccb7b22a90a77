#pragma once

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// Identity and parameters of an object: 104 bytes, byte-identical in memory, in device commands
// and in stored files.
struct ObjectHeader {
    std::uint8_t keyKind;      // 0xFF for data objects on the device; 0 for certificates and session data
    std::uint8_t flags;        // certificate category, or key bits (0x80 local, 0x10 extractable, 0x04 derive)
    std::uint8_t length[2];    // u16: value length, curve id or modulus bits, 0xFFFF for device secret keys
    std::uint8_t idLength;
    std::uint8_t labelLength;
    std::uint8_t applicationLength;
    std::uint8_t secretKeyLength;
    std::uint8_t id[32];
    std::uint8_t label[32];
    std::uint8_t application[32];
};
static_assert(sizeof(ObjectHeader) == 104);

// One PKCS#11 object. Allocated zero-filled and owned by the table entry that points to it.
struct ObjectRecord {
    DeviceConnection* connection;  // the slot's connection for token objects; null for session objects
    std::uint32_t objectClass;     // CKO_DATA, CKO_CERTIFICATE, CKO_PRIVATE_KEY or CKO_SECRET_KEY
    std::uint8_t token;
    std::uint8_t isPrivate;        // CKA_PRIVATE
    ObjectHeader header;
    std::uint8_t deviceIndex;
    std::uint8_t* value;
    std::uint32_t valueLength;
    std::uint8_t* cache;
    std::uint32_t cacheLength;
    std::uint8_t publicViewHidden;  // 1 once the public view of this private key was destroyed
    std::int64_t createdSeconds;
    std::int64_t createdNanoseconds;
};

// Frees the record with its value and cache (a certificate's parsed record with its name
// lists), wiping them first: they may hold key bytes or key schedules. Null is ignored.
void release_object(ObjectRecord* record) noexcept;

}  // namespace vlrp11
