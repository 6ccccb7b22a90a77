#pragma once

#include "crypto/digest_types.h"
#include "crypto/gost34311.h"
#include "crypto/kupyna.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "crypto/sha3.h"
#include "crypto/sha512.h"
#include "vlrp11/pkcs11.h"

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

// The hash a digest or sign operation runs; the numbers are the digest types 1..13, and 0
// stands for "no hash" (raw signature mechanisms).
using HashKind = DigestType;
inline constexpr HashKind HASH_NONE{};

// The software hash of a session's digest or sign operation: 424 bytes, the hash kind and the
// context of that hash sharing one area. A plain record without interior pointers; its owner
// wipes it when the operation ends.
struct DigestContext {
    HashKind hashKind;
    union {
        Sha1Context sha1;
        Sha256Context sha256;
        Sha512Context sha512;
        Sha3Context sha3;
        KupynaContext kupyna;
        Gost34311Context gost34311;
    };
};
static_assert(sizeof(DigestContext) == 424);

// The hash a digest, RSA, ECDSA or DSTU 4145 mechanism selects; HASH_NONE for any other.
HashKind hash_kind_of(CK_MECHANISM_TYPE mechanism) noexcept;

// Output bytes of a hash kind; 0 outside 1..13.
std::size_t digest_length(HashKind kind) noexcept;

// Starts the hash of the mechanism in context. CKR_ARGUMENTS_BAD for a null mechanism,
// CKR_MECHANISM_INVALID (context untouched) for one that selects no hash, else CKR_OK. The
// session's operation fields are the caller's to set, and only on CKR_OK.
CK_RV digest_init(DigestContext& context, const CK_MECHANISM* mechanism) noexcept;

// Feeds length bytes; length 0 does nothing. False when the context holds no started hash.
bool digest_update(DigestContext& context, const std::uint8_t* data, std::size_t length) noexcept;

// Writes digest_length(context.hashKind) bytes to out, then wipes the whole context (its hash
// kind becomes HASH_NONE). False, with nothing written, when no hash was started.
bool digest_final(DigestContext& context, std::uint8_t* out) noexcept;

}  // namespace vlrp11
