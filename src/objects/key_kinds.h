#pragma once

#include "vlrp11/pkcs11.h"

#include <cstdint>

namespace vlrp11 {

// Header byte 0 of a key: which algorithm the key serves. 15 and every kind above it are GOST
// 28147-89 keys.
enum KeyKind : std::uint8_t {
    KEY_KIND_EC = 1,
    KEY_KIND_DSTU4145_FIRST = 3,
    KEY_KIND_DSTU4145_LAST = 6,
    KEY_KIND_RSA = 7,
    KEY_KIND_RSA_GENERATED = 8,
    KEY_KIND_LAST_PRIVATE = 10,
    KEY_KIND_AES = 11,
    KEY_KIND_KALYNA_128 = 12,
    KEY_KIND_KALYNA_256 = 13,
    KEY_KIND_KALYNA_512 = 14,
    KEY_KIND_GOST28147 = 15,
};

// Header bytes 2..3 of EC and DSTU 4145 keys.
enum CurveId : std::uint16_t {
    CURVE_P256 = 4,
    CURVE_P384 = 8,
    CURVE_P521 = 16,
    CURVE_DSTU_233 = 32,
    CURVE_DSTU_257 = 33,
    CURVE_DSTU_307 = 34,
    CURVE_DSTU_367 = 35,
    CURVE_DSTU_431 = 36,
};

// The algorithm family whose public-key attributes a kind answers.
enum KeyFamily : std::uint8_t {
    FAMILY_NONE,
    FAMILY_EC,
    FAMILY_DSTU4145,
    FAMILY_RSA,
    FAMILY_SECRET,
};

KeyFamily key_family(std::uint8_t kind) noexcept;

// The CKA_KEY_TYPE of a kind; false for the kinds that have none (0, 2, 9, 10).
bool key_type_of(std::uint8_t kind, CK_KEY_TYPE& type) noexcept;

// The kind a secret key of this CKA_KEY_TYPE has (GOST 28147-89: 15); false for other types.
bool secret_key_kind(CK_KEY_TYPE type, std::uint8_t& kind) noexcept;

// Kinds up to 10 are private keys (with a public view), the others secret keys.
inline bool is_private_key_kind(std::uint8_t kind) noexcept
{
    return kind <= KEY_KIND_LAST_PRIVATE;
}

}  // namespace vlrp11
