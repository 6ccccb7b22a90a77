#pragma once

#include "vlrp11/pkcs11.h"

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

inline constexpr std::size_t derived_key_bytes = 32;
inline constexpr std::size_t derive_shared_data_max = 100;
inline constexpr std::size_t shared_info_max_bytes = 3 + 17 + 4 + derive_shared_data_max + 8;

// The DER ECC-CMS-SharedInfo of the mechanism's key derivation into out (shared_info_max_bytes
// at least): the key-wrap algorithm, the shared data when there is any, a key length of 256
// bits. Returns its length; 0 for another mechanism or more than 100 bytes of shared data.
std::size_t kdf_shared_info(CK_MECHANISM_TYPE mechanism, const std::uint8_t* shared_data, std::size_t shared_length,
                            std::uint8_t* out) noexcept;

// The key of a DSTU 4145 agreement: the hash of Z without its leading zero bytes, the counter
// 00 00 00 01 and the shared info above. GOST 34.311-95 for
// CKM_DSTU4145_DERIVE, Kupyna-256 for CKM_DSTU4145_DERIVE_KALYNA_256; false, with nothing
// written, for another mechanism or more than 100 bytes of shared data. out receives 32 bytes.
bool derive_agreement_key(CK_MECHANISM_TYPE mechanism, const std::uint8_t* z, std::size_t z_length,
                          const std::uint8_t* shared_data, std::size_t shared_length, std::uint8_t* out) noexcept;

}  // namespace vlrp11
