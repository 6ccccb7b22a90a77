#pragma once

#include "objects/object_record.h"
#include "objects/object_table.h"
#include "vlrp11/pkcs11.h"

#include <cstdint>

namespace vlrp11 {

// deviceError is the calling session's: a failed device command leaves its status there.

// Makes a session secret key from the device's random bytes. The header names the kind and, in
// bytes 2..3, the key length in bytes, which must be one the kind allows
// (CKR_ATTRIBUTE_VALUE_INVALID). The key is private, extractable only as the header's flags
// say, and keeps its schedule. CKR_HOST_MEMORY when the session's table is full.
CK_RV generate_secret_key(const ObjectContext& context, std::uint32_t& deviceError, const ObjectHeader& header,
                          CK_OBJECT_HANDLE& handle) noexcept;

// Has the device make a key pair in its lowest free directory entry: header byte 0 is the kind
// (1 EC, 3 DSTU 4145, 8 RSA), bytes 2..3 the CurveId or the modulus bits. The pair becomes one
// private-key record with its public view (the public handle is the private one with bit 31).
// Sets the device clock first and, while an RSA key is made, polls every 200 ms without limit.
// CKR_HOST_MEMORY (token table full), CKR_DEVICE_MEMORY (no free entry),
// CKR_KEY_TYPE_INCONSISTENT (a kind the device model does not make), CKR_DEVICE_ERROR; a
// failure after the device made the key deletes it again.
CK_RV generate_key_pair(const ObjectContext& context, std::uint32_t& deviceError, const ObjectHeader& header,
                        CK_OBJECT_HANDLE& privateHandle, CK_OBJECT_HANDLE& publicHandle) noexcept;

}  // namespace vlrp11
