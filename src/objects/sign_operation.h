#pragma once

#include "objects/digest_context.h"
#include "objects/object_record.h"
#include "vlrp11/pkcs11.h"

#include <cstddef>
#include <cstdint>

// Signing with a private key held on the device: the set-up that checks mechanism and key and
// starts the hash, and the back end that formats what is signed and runs the device's step.

namespace vlrp11 {

// Checks the mechanism (CKR_ARGUMENTS_BAD when null, CKR_MECHANISM_INVALID when it does not
// sign) against the key (CKR_KEY_TYPE_INCONSISTENT for another kind, or a private key that is
// not on a device) and starts the hash in digest for the mechanisms that hash first. The
// session's operation fields are the caller's to set, and only on CKR_OK: a refusal, the
// hash's included, leaves no operation behind.
CK_RV sign_init(const ObjectRecord& key, const CK_MECHANISM* mechanism, DigestContext& digest) noexcept;

// Whether the mechanism signs the caller's data as it is (CKM_RSA_PKCS, CKM_ECDSA,
// CKM_DSTU4145) rather than its hash.
bool signs_raw_data(CK_MECHANISM_TYPE mechanism) noexcept;

// Whether length bytes of caller's data may be signed as they are: at most 128 bytes, and for
// CKM_ECDSA and CKM_DSTU4145 the length of a hash (20, 28, 32, 48 or 64).
bool raw_sign_length_fits(CK_MECHANISM_TYPE mechanism, std::size_t length) noexcept;

// Signs input: the finished hash of hash_kind for the mechanisms that hash, or the caller's
// data with HASH_NONE for CKM_RSA_PKCS (a DigestInfo), CKM_ECDSA and CKM_DSTU4145 (a hash).
// A null out asks for the signature length; a shorter *out_length gives CKR_BUFFER_TOO_SMALL
// and stays unchanged. A failed device step leaves its status in device_error and gives
// CKR_DEVICE_ERROR.
CK_RV sign_final(const ObjectRecord& key, CK_MECHANISM_TYPE mechanism, HashKind hash_kind, const std::uint8_t* input,
                 std::size_t length, std::uint8_t* out, CK_ULONG* out_length, std::uint32_t& device_error) noexcept;

}  // namespace vlrp11
