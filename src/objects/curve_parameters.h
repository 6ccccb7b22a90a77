#pragma once

#include "objects/key_kinds.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vlrp11 {

// The encodings of the supported curves that CKA_EC_PARAMS can carry: the named-curve OIDs, and
// the explicit domain parameters as other implementations write them. The explicit forms are
// made from the curve constants of the arithmetic library on every call, so they can never
// disagree with the curves the keys live on.

// DER of the named-curve OID of a P-curve (06 len ...); empty for another curve.
std::span<const std::uint8_t> nist_curve_oid(CurveId curve) noexcept;

// DER of the OID 1.2.804.2.1.1.1.1.3.1.1.2.c of a DSTU 4145 curve (c = curve - 27); 15 bytes.
constexpr std::size_t DSTU_CURVE_OID_BYTES = 15;
void dstu_curve_oid(CurveId curve, std::uint8_t (&out)[DSTU_CURVE_OID_BYTES]) noexcept;

// Room for the largest explicit encoding (P-521: 455 bytes).
constexpr std::size_t EXPLICIT_PARAMETERS_MAX_BYTES = 512;

// How coefficient b of P-521 is written: as a full 66-byte field element with its leading zero
// byte (455 bytes in all, as OpenSSL writes it), or without that byte (454 bytes). The other
// curves have no leading zero, so both forms are one.
enum class FieldElementForm { full, minimal_b };

// The SEC 1 specifiedCurve ECParameters of a P-curve: version 1, the prime field, a and b with
// the curve's seed, the uncompressed generator, the order and cofactor 1. Returns the length
// written to out (EXPLICIT_PARAMETERS_MAX_BYTES), 0 for another curve.
std::size_t nist_explicit_parameters(CurveId curve, FieldElementForm form, std::uint8_t* out) noexcept;

// The DSTU 4145 ECBinary domain parameters of a DSTU curve: the field (m and its reduction
// terms), a, b, the order and the compressed base point, field elements big-endian. Returns the
// length written to out (EXPLICIT_PARAMETERS_MAX_BYTES), 0 for another curve.
std::size_t dstu_binary_parameters(CurveId curve, std::uint8_t* out) noexcept;

// The curve that CKA_EC_PARAMS names. Forms are compared as prefixes, so bytes after a known
// form do not matter. P-curves: the OID or the explicit parameters (either form of P-521).
// DSTU 4145: the OID or the ECBinary parameters, bare or as the first element of a SEQUENCE
// that may go on with the DKE, which must then be the default one. 0 when nothing matches.
std::uint16_t match_nist_curve(const std::uint8_t* bytes, std::size_t length) noexcept;
std::uint16_t match_dstu_curve(const std::uint8_t* bytes, std::size_t length) noexcept;

}  // namespace vlrp11
