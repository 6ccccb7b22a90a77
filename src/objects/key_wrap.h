#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

struct ObjectRecord;

inline constexpr std::size_t gost_wrapped_key_bytes = 44;
inline constexpr std::size_t gost_wrap_ukm_bytes = 8;

// Wraps the 32-byte key under the 32-byte key-encryption key with the eight random bytes ukm:
// ukm ‖ key ‖ checksum in 64-bit cipher feedback under ukm, reversed, then in cipher feedback
// under the fixed key-wrap IV, all with GOST 28147-89 and its default S-box. out receives 44
// bytes and may not overlap the inputs.
void gost_key_wrap(const std::uint8_t* kek, const std::uint8_t* ukm, const std::uint8_t* key,
                   std::uint8_t* out) noexcept;

// Undoes gost_key_wrap on 44 bytes; out receives the 32 key bytes. Returns
// WRAPPED_KEY_INVALID, with out wiped, when the checksum does not match.
std::uint32_t gost_key_unwrap(const std::uint8_t* kek, const std::uint8_t* wrapped, std::uint8_t* out) noexcept;

// Whether a record can take part in a wrap: the wrapping (or unwrapping) key is a GOST 28147-89
// session key, and the wrapped key any secret key, each with a 32-byte value held by the host.
bool gost_wrapping_key_fits(const ObjectRecord& key) noexcept;
bool gost_wrapped_key_fits(const ObjectRecord& key) noexcept;

}  // namespace vlrp11
