#pragma once

#include "objects/object_record.h"
#include "objects/object_table.h"
#include "vlrp11/pkcs11.h"

#include <cstdint>

namespace vlrp11 {

// The class C_CreateObject passes when its template names none.
constexpr std::uint32_t CLASS_ABSENT = 0xFFFFFFFF;

// What an object is to be made of, as the front end read it from a template: the header with
// kind, flags, u16 parameter and texts filled, and the value the caller owns for the call.
struct CreationDescriptor {
    std::uint32_t objectClass;  // CKO_DATA, CKO_CERTIFICATE, CKO_SECRET_KEY, or CLASS_ABSENT
    bool isPrivate;
    bool token;
    ObjectHeader header;
    const std::uint8_t* value;
    std::uint32_t valueLength;
};

// Whether two headers carry the same CKA_ID (length and bytes).
bool same_object_id(const ObjectHeader& a, const ObjectHeader& b) noexcept;

// deviceError is the calling session's: a failed device command leaves its status there.

// Makes an object. Session objects stay in the host (a secret key with its schedule); token
// data objects and certificates are written to the device as a file chained over free
// directory entries from the highest down, token secret keys as a device key in the lowest free
// entry. A write that fails takes every chunk written back off the device. The handle is 0 on
// failure. CKR_TEMPLATE_INCOMPLETE (no value), CKR_ATTRIBUTE_VALUE_INVALID (class, certificate,
// ID, key length), CKR_HOST_MEMORY (table full), CKR_DEVICE_MEMORY (no room on the device,
// nothing written), CKR_DEVICE_ERROR.
CK_RV create_object(const ObjectContext& context, std::uint32_t& deviceError, const CreationDescriptor& descriptor,
                    CK_OBJECT_HANDLE& handle) noexcept;

// Destroys the object a handle names. A public view is only hidden; a token key is deleted from
// the device, a private key with the certificates that carry its ID; a token file loses its
// chunks first and its head last. A failed delete keeps the record (CKR_DEVICE_ERROR).
CK_RV destroy_object(const ObjectContext& context, std::uint32_t& deviceError, CK_OBJECT_HANDLE handle) noexcept;

}  // namespace vlrp11
