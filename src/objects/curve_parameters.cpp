#include "objects/curve_parameters.h"

#include "crypto/ec_curve.h"
#include "crypto/ec_gf2m.h"
#include "objects/der.h"

#include <algorithm>
#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::uint8_t P256_OID[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
constexpr std::uint8_t P384_OID[] = {0x06, 0x05, 0x2B, 0x81, 0x04, 0x00, 0x22};
constexpr std::uint8_t P521_OID[] = {0x06, 0x05, 0x2B, 0x81, 0x04, 0x00, 0x23};
// 1.2.804.2.1.1.1.1.3.1.1.2, the arc of the DSTU 4145 named curves; the curve number follows.
constexpr std::uint8_t DSTU_OID_PREFIX[] = {0x06, 0x0D, 0x2A, 0x86, 0x24, 0x02, 0x01, 0x01, 0x01,
                                            0x01, 0x03, 0x01, 0x01, 0x02};
// 1.2.840.10045.1.1, prime-field.
constexpr std::uint8_t PRIME_FIELD_OID[] = {0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x01, 0x01};

// The seeds the P-curves were generated from (FIPS 186-4), which the explicit forms carry.
constexpr std::size_t SEED_BYTES = 20;
constexpr std::uint8_t P256_SEED[SEED_BYTES] = {0xC4, 0x9D, 0x36, 0x08, 0x86, 0xE7, 0x04, 0x93, 0x6A, 0x66,
                                                0x78, 0xE1, 0x13, 0x9D, 0x26, 0xB7, 0x81, 0x9F, 0x7E, 0x90};
constexpr std::uint8_t P384_SEED[SEED_BYTES] = {0xA3, 0x35, 0x92, 0x6A, 0xA3, 0x19, 0xA2, 0x7A, 0x1D, 0x00,
                                                0x89, 0x6A, 0x67, 0x73, 0xA4, 0x82, 0x7A, 0xCD, 0xAC, 0x73};
constexpr std::uint8_t P521_SEED[SEED_BYTES] = {0xD0, 0x9E, 0x88, 0x00, 0x29, 0x1C, 0xB8, 0x53, 0x96, 0xCC,
                                                0x67, 0x17, 0x39, 0x32, 0x84, 0xAA, 0xA0, 0xDA, 0x64, 0xBA};

struct NistCurve {
    CurveId id;
    std::span<const std::uint8_t> oid;
    const CurveDescriptor& curve;
    const std::uint8_t* seed;
};

const NistCurve nist_curves[] = {
    {CURVE_P256, P256_OID, EC_P256, P256_SEED},
    {CURVE_P384, P384_OID, EC_P384, P384_SEED},
    {CURVE_P521, P521_OID, EC_P521, P521_SEED},
};

struct DstuCurve {
    CurveId id;
    const CurveDescriptor& curve;
};

const DstuCurve dstu_curves[] = {
    {CURVE_DSTU_233, EC_DSTU4145_233}, {CURVE_DSTU_257, EC_DSTU4145_257}, {CURVE_DSTU_307, EC_DSTU4145_307},
    {CURVE_DSTU_367, EC_DSTU4145_367}, {CURVE_DSTU_431, EC_DSTU4145_431},
};

const NistCurve* find_nist(CurveId id) noexcept
{
    for (const NistCurve& row : nist_curves)
        if (row.id == id)
            return &row;
    return nullptr;
}

const DstuCurve* find_dstu(CurveId id) noexcept
{
    for (const DstuCurve& row : dstu_curves)
        if (row.id == id)
            return &row;
    return nullptr;
}

// DER writing: each put_ returns the bytes written at out. Nothing here passes 64 KiB.
std::size_t put_header(std::uint8_t* out, std::uint8_t tag, std::size_t length) noexcept
{
    out[0] = tag;
    if (length < 0x80) {
        out[1] = static_cast<std::uint8_t>(length);
        return 2;
    }
    if (length < 0x100) {
        out[1] = 0x81;
        out[2] = static_cast<std::uint8_t>(length);
        return 3;
    }
    out[1] = 0x82;
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length);
    return 4;
}

std::size_t put_tlv(std::uint8_t* out, std::uint8_t tag, const std::uint8_t* content, std::size_t length) noexcept
{
    std::size_t at = put_header(out, tag, length);
    std::memmove(out + at, content, length);
    return at + length;
}

std::size_t put_bytes(std::uint8_t* out, std::span<const std::uint8_t> bytes) noexcept
{
    std::memcpy(out, bytes.data(), bytes.size());
    return bytes.size();
}

// A non-negative INTEGER from big-endian bytes: no leading zero bytes but one that keeps the
// top bit clear.
std::size_t put_integer(std::uint8_t* out, const std::uint8_t* bytes, std::size_t length) noexcept
{
    while (length > 1 && bytes[0] == 0) {
        ++bytes;
        --length;
    }
    const bool sign_byte = (bytes[0] & 0x80) != 0;
    std::size_t at = put_header(out, DER_INTEGER, length + (sign_byte ? 1 : 0));
    if (sign_byte)
        out[at++] = 0;
    std::memcpy(out + at, bytes, length);
    return at + length;
}

std::size_t put_small_integer(std::uint8_t* out, std::uint32_t value) noexcept
{
    const std::uint8_t bytes[] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return put_integer(out, bytes, sizeof bytes);
}

// Bytes of a field element or order of the given bit length; the curves stay within the limbs.
std::size_t bytes_of(std::size_t bits) noexcept
{
    return std::min<std::size_t>((bits + 7) / 8, EC_MAX_LIMBS * 8);
}

std::size_t put_limbs_integer(std::uint8_t* out, const Limb* limbs, std::size_t bits) noexcept
{
    std::uint8_t bytes[EC_MAX_LIMBS * 8];
    std::size_t length = bytes_of(bits);
    native_to_bytes(bytes, length, limbs);
    return put_integer(out, bytes, length);
}

// A field element as an OCTET STRING of the field's byte length, optionally without leading
// zero bytes.
std::size_t put_element(std::uint8_t* out, const Limb* limbs, std::size_t bits, bool minimal) noexcept
{
    std::uint8_t bytes[EC_MAX_LIMBS * 8];
    std::size_t length = bytes_of(bits);
    native_to_bytes(bytes, length, limbs);
    std::size_t skip = 0;
    while (minimal && skip + 1 < length && bytes[skip] == 0)
        ++skip;
    return put_tlv(out, DER_OCTET_STRING, bytes + skip, length - skip);
}

// Tr(z) = z + z^2 + z^4 + ... + z^(2^(m-1)), which is 0 or 1.
bool trace_is_one(const CurveDescriptor& curve, const Limb* z) noexcept
{
    const std::size_t n = field_limbs(curve);
    Limb power[EC_MAX_LIMBS];
    Limb sum[EC_MAX_LIMBS];
    std::copy(z, z + n, power);
    std::copy(z, z + n, sum);
    for (std::uint32_t i = 1; i < curve.field_bits; ++i) {
        curve.field_sqr(power, power);
        for (std::size_t j = 0; j < n; ++j)
            sum[j] ^= power[j];
    }
    return (sum[0] & 1) != 0;
}

// The standard's point compression: x, with its lowest bit replaced by Tr(y / x).
std::size_t put_compressed_base(std::uint8_t* out, const CurveDescriptor& curve) noexcept
{
    Limb inverse[EC_MAX_LIMBS] = {};
    Limb z[EC_MAX_LIMBS] = {};
    gf2_inv(inverse, curve.gx, curve.modulus);
    curve.field_mul(z, curve.gy, inverse);
    std::uint8_t x[EC_MAX_LIMBS * 8];
    std::size_t length = bytes_of(curve.field_bits);
    native_to_bytes(x, length, curve.gx);
    x[length - 1] = static_cast<std::uint8_t>((x[length - 1] & 0xFE) | (trace_is_one(curve, z) ? 1 : 0));
    return put_tlv(out, DER_OCTET_STRING, x, length);
}

}  // namespace

std::span<const std::uint8_t> nist_curve_oid(CurveId curve) noexcept
{
    const NistCurve* row = find_nist(curve);
    return row != nullptr ? row->oid : std::span<const std::uint8_t>{};
}

void dstu_curve_oid(CurveId curve, std::uint8_t (&out)[DSTU_CURVE_OID_BYTES]) noexcept
{
    std::memcpy(out, DSTU_OID_PREFIX, sizeof DSTU_OID_PREFIX);
    out[sizeof DSTU_OID_PREFIX] = static_cast<std::uint8_t>(curve - 27);
}

std::size_t nist_explicit_parameters(CurveId id, FieldElementForm form, std::uint8_t* out) noexcept
{
    const NistCurve* row = find_nist(id);
    if (row == nullptr)
        return 0;
    const CurveDescriptor& curve = row->curve;
    const std::size_t bits = curve.field_bits;
    std::uint8_t body[EXPLICIT_PARAMETERS_MAX_BYTES];
    std::uint8_t part[EXPLICIT_PARAMETERS_MAX_BYTES];
    std::size_t at = put_small_integer(body, 1);

    std::size_t p = put_bytes(part, PRIME_FIELD_OID);
    p += put_limbs_integer(part + p, curve.modulus, bits);
    at += put_tlv(body + at, DER_SEQUENCE, part, p);

    p = put_element(part, curve.a, bits, false);
    p += put_element(part + p, curve.b, bits, form == FieldElementForm::minimal_b);
    std::uint8_t seed[1 + SEED_BYTES] = {0};  // no unused bits
    std::memcpy(seed + 1, row->seed, SEED_BYTES);
    p += put_tlv(part + p, DER_BIT_STRING, seed, sizeof seed);
    at += put_tlv(body + at, DER_SEQUENCE, part, p);

    const std::size_t element = bytes_of(bits);
    part[0] = 0x04;
    native_to_bytes(part + 1, element, curve.gx);
    native_to_bytes(part + 1 + element, element, curve.gy);
    at += put_tlv(body + at, DER_OCTET_STRING, part, 1 + 2 * element);

    at += put_limbs_integer(body + at, curve.order, curve.order_bits);
    at += put_small_integer(body + at, 1);
    return put_tlv(out, DER_SEQUENCE, body, at);
}

std::size_t dstu_binary_parameters(CurveId id, std::uint8_t* out) noexcept
{
    const DstuCurve* row = find_dstu(id);
    if (row == nullptr)
        return 0;
    const CurveDescriptor& curve = row->curve;
    const std::uint64_t* poly = curve.modulus;
    std::uint8_t body[EXPLICIT_PARAMETERS_MAX_BYTES];
    std::uint8_t part[EXPLICIT_PARAMETERS_MAX_BYTES];
    std::uint8_t terms[16];

    // The field: m, then the middle terms of the reduction polynomial, ascending.
    std::size_t p = put_small_integer(part, curve.field_bits);
    if (poly[2] == 0) {
        p += put_small_integer(part + p, static_cast<std::uint32_t>(poly[1]));
    } else {
        std::size_t t = put_small_integer(terms, static_cast<std::uint32_t>(poly[3]));
        t += put_small_integer(terms + t, static_cast<std::uint32_t>(poly[2]));
        t += put_small_integer(terms + t, static_cast<std::uint32_t>(poly[1]));
        p += put_tlv(part + p, DER_SEQUENCE, terms, t);
    }
    std::size_t at = put_tlv(body, DER_SEQUENCE, part, p);
    at += put_small_integer(body + at, curve.a_flag);
    at += put_element(body + at, curve.b, curve.field_bits, false);
    at += put_limbs_integer(body + at, curve.order, curve.order_bits);
    at += put_compressed_base(body + at, curve);
    return put_tlv(out, DER_SEQUENCE, body, at);
}

}  // namespace vlrp11
