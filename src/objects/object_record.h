#pragma once

#include "vlrp11/pkcs11.h"

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

constexpr std::uint32_t OBJECT_HEADER_BYTES = sizeof(ObjectHeader);
constexpr std::uint8_t HEADER_TEXT_BYTES = 32;

// Key flag bits of header byte 1.
constexpr std::uint8_t KEY_FLAG_LOCAL = 0x80;
constexpr std::uint8_t KEY_FLAG_EXTRACTABLE = 0x10;
constexpr std::uint8_t KEY_FLAG_DERIVE = 0x04;

// The u16 at bytes 2..3.
std::uint16_t header_parameter(const ObjectHeader& header) noexcept;

// ID, label and application lengths as they may be used: a device header can claim more than the
// 32 bytes each field holds, and nothing is ever read past its field.
std::uint8_t header_id_length(const ObjectHeader& header) noexcept;
std::uint8_t header_label_length(const ObjectHeader& header) noexcept;
std::uint8_t header_application_length(const ObjectHeader& header) noexcept;

// What the cache of a record holds; each kind has its own release.
enum ObjectCacheKind : std::uint8_t {
    CACHE_NONE = 0,
    CACHE_CERTIFICATE = 1,   // the CertificateRecord of the value; points into value
    CACHE_PUBLIC_KEY = 2,    // a device key's public key as the device answered it
    CACHE_KEY_SCHEDULE = 3,  // the expanded schedule of a session secret key
};

// One PKCS#11 object. Allocated zero-filled and owned by the table entry that points to it.
// Whoever replaces the value goes through set_object_value, which rebuilds the cache: a stale
// cache would answer for bytes that are gone.
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
    ObjectCacheKind cacheKind;
    std::uint8_t publicViewHidden;  // 1 once the public view of this private key was destroyed
    std::int64_t createdSeconds;
    std::int64_t createdNanoseconds;
};

// A zero-filled record stamped with its creation time; null when memory runs out. Stamps are
// strictly increasing within the process, so no two records share one even when the clock
// stands still between them.
ObjectRecord* allocate_object() noexcept;

// Frees the record with its value and cache, wiping them first: they may hold key bytes or key
// schedules. Null is ignored.
void release_object(ObjectRecord* record) noexcept;

// Replaces the cache with a zero-filled buffer of the given kind and length; null (and no
// cache) when memory runs out.
std::uint8_t* allocate_cache(ObjectRecord& record, ObjectCacheKind kind, std::uint32_t length) noexcept;
void release_cache(ObjectRecord& record) noexcept;

// Replaces the value by a copy of the given bytes and rebuilds the cache from it: a certificate
// is parsed again at once, other caches are dropped and refilled on their next use.
// CKR_HOST_MEMORY, or CKR_ATTRIBUTE_VALUE_INVALID when a certificate does not parse (the record
// then has the new value and no cache).
CK_RV set_object_value(ObjectRecord& record, const std::uint8_t* bytes, std::uint32_t length) noexcept;
// Builds the cache afresh from the value: a certificate's parse now, nothing for the others (their
// caches fill on first use). Results as for set_object_value.
CK_RV rebuild_object_cache(ObjectRecord& record) noexcept;
// The same as set_object_value for a value already on the heap (std::malloc): the record owns it from here on, also
// when the call fails. A null value is an empty one.
CK_RV adopt_object_value(ObjectRecord& record, std::uint8_t* value, std::uint32_t length) noexcept;

}  // namespace vlrp11
