#include "crypto/gost28147_sbox.h"
#include "objects/curve_parameters.h"
#include "objects/der.h"

#include <cstring>

namespace vlrp11 {
namespace {

// Whether the input begins with the form; an input shorter than the form never does.
bool begins_with(const std::uint8_t* bytes, std::size_t length, const std::uint8_t* form,
                 std::size_t form_length) noexcept
{
    return form_length != 0 && length >= form_length && std::memcmp(bytes, form, form_length) == 0;
}

constexpr CurveId nist_ids[] = {CURVE_P256, CURVE_P384, CURVE_P521};
constexpr CurveId dstu_ids[] = {CURVE_DSTU_233, CURVE_DSTU_257, CURVE_DSTU_307, CURVE_DSTU_367, CURVE_DSTU_431};

// The DSTU curve whose OID or ECBinary form the input begins with; form_length is the length of
// the form that matched.
std::uint16_t match_dstu_form(const std::uint8_t* bytes, std::size_t length, std::size_t& form_length) noexcept
{
    for (CurveId id : dstu_ids) {
        std::uint8_t oid[DSTU_CURVE_OID_BYTES];
        dstu_curve_oid(id, oid);
        std::uint8_t binary[EXPLICIT_PARAMETERS_MAX_BYTES];
        std::size_t binary_length = dstu_binary_parameters(id, binary);
        if (begins_with(bytes, length, oid, sizeof oid)) {
            form_length = sizeof oid;
            return id;
        }
        if (begins_with(bytes, length, binary, binary_length)) {
            form_length = binary_length;
            return id;
        }
    }
    return 0;
}

constexpr std::uint8_t DKE_HEADER[] = {DER_OCTET_STRING, 0x40};

}  // namespace

std::uint16_t match_nist_curve(const std::uint8_t* bytes, std::size_t length) noexcept
{
    if (bytes == nullptr)
        return 0;
    for (CurveId id : nist_ids) {
        std::span<const std::uint8_t> oid = nist_curve_oid(id);
        if (begins_with(bytes, length, oid.data(), oid.size()))
            return id;
        // P-521's b has a leading zero byte; both ways of writing it are in use.
        for (FieldElementForm form : {FieldElementForm::full, FieldElementForm::minimal_b}) {
            std::uint8_t explicit_form[EXPLICIT_PARAMETERS_MAX_BYTES];
            std::size_t explicit_length = nist_explicit_parameters(id, form, explicit_form);
            if (begins_with(bytes, length, explicit_form, explicit_length))
                return id;
        }
    }
    return 0;
}

std::uint16_t match_dstu_curve(const std::uint8_t* bytes, std::size_t length) noexcept
{
    if (bytes == nullptr)
        return 0;
    std::size_t form_length = 0;
    if (std::uint16_t id = match_dstu_form(bytes, length, form_length); id != 0)
        return id;

    // DSTU4145Params: SEQUENCE { curve, DKE OCTET STRING (64) OPTIONAL }. Everything read lies
    // inside the SEQUENCE, and the SEQUENCE inside the input.
    const std::uint8_t* cursor = bytes;
    std::size_t content_length = 0;
    if (read_tag(cursor, bytes + length, DER_SEQUENCE, content_length) != 0)
        return 0;
    std::uint16_t id = match_dstu_form(cursor, content_length, form_length);
    if (id == 0)
        return 0;
    const std::uint8_t* rest = cursor + form_length;
    std::size_t rest_length = content_length - form_length;
    if (!begins_with(rest, rest_length, DKE_HEADER, sizeof DKE_HEADER))
        return id;
    rest += sizeof DKE_HEADER;
    rest_length -= sizeof DKE_HEADER;
    if (rest_length < gost28147_sbox_bytes ||
        std::memcmp(rest, gost28147_default_sbox_packed.data(), gost28147_sbox_bytes) != 0)
        return 0;
    return id;
}

}  // namespace vlrp11
