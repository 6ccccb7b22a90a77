#pragma once

#include "objects/digest_context.h"
#include "objects/object_record.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vlrp11 {

inline constexpr std::size_t rsa_max_modulus_bytes = 512;

// The DER DigestInfo prefix that precedes a hash of the kind in a PKCS#1 v1.5 signature block:
// 15 bytes for SHA-1, 19 for SHA-2 and SHA-3, empty for the kinds without one.
std::span<const std::uint8_t> digest_info_prefix(HashKind kind) noexcept;

// The hash kind whose prefix begins the input (SHA-1 first, then SHA-224 ... SHA3-512), the
// input being longer than the prefix; HASH_NONE when none does.
HashKind match_digest_info(const std::uint8_t* input, std::size_t length) noexcept;

// Bytes of a signature by the key: by curve for EC and DSTU 4145 keys (0 for a curve without
// signatures), the modulus bytes rounded up for RSA keys.
std::uint32_t signature_length(const ObjectHeader& header) noexcept;

// EMSA-PKCS1-v1_5: writes the k-byte block 00 01 FF.. 00 prefix hash to em. The hash must be
// the kind's length and leave room for at least eight FF bytes; else ENCODING_FAILED
// with nothing written.
std::uint32_t encode_em(HashKind kind, const std::uint8_t* hash, std::size_t hash_length, std::uint8_t* em,
                        std::size_t k) noexcept;

// EME-PKCS1-v1_5 decoding of the k-byte block em (k at least 11), without a branch or a memory
// access that depends on its bytes before the result. em is the work area and is changed.
// *out_length holds the capacity of out on entry; the c = min(capacity, k - 11) bytes that hold
// the message at their start are written to out when it is not null. On return *out_length
// is the message length, or c for a refused block. Returns 0,
// DECRYPTED_BLOCK_INVALID for a malformed block, or DECRYPTED_MESSAGE_TOO_LARGE when
// the message exceeds c.
std::uint32_t pkcs1_v15_unpad(std::uint8_t* em, std::size_t k, std::uint8_t* out, std::size_t* out_length) noexcept;

}  // namespace vlrp11
