#pragma once

#include "vlrp11/pkcs11.h"

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

struct ObjectRecord;

// Whether a secret key of this kind may have this many bytes: AES 16, 24, 32; Kalyna-128 16, 32;
// Kalyna-256 32, 64; Kalyna-512 64; GOST 28147-89 32. Every other kind is refused.
bool secret_key_length_allowed(std::uint8_t kind, std::size_t length) noexcept;

// Expands the value of a session secret key into the schedule its cipher runs on and keeps it
// in the record's cache (AES: 496 bytes, Kalyna: 2480). GOST 28147-89 keys run from the value
// and get none. CKR_HOST_MEMORY, or CKR_ATTRIBUTE_VALUE_INVALID for a kind or length outside
// the table.
CK_RV build_key_schedule(ObjectRecord& record) noexcept;

}  // namespace vlrp11
