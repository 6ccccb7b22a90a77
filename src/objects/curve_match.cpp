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

struct Form {
    std::uint8_t bytes[EXPLICIT_PARAMETERS_MAX_BYTES];
    std::size_t length;
};

// The forms each curve can be named by, made once (the explicit ones take some arithmetic):
// for the P-curves the OID and both explicit forms, for the DSTU curves the OID and ECBinary.
struct CurveForms {
    Form nist[std::size(nist_ids)][3];
    Form dstu[std::size(dstu_ids)][2];
};

const CurveForms& curve_forms() noexcept
{
    static const CurveForms forms = [] {
        CurveForms made{};
        for (std::size_t i = 0; i < std::size(nist_ids); ++i) {
            std::span<const std::uint8_t> oid = nist_curve_oid(nist_ids[i]);
            std::memcpy(made.nist[i][0].bytes, oid.data(), oid.size());
            made.nist[i][0].length = oid.size();
            made.nist[i][1].length =
                nist_explicit_parameters(nist_ids[i], FieldElementForm::full, made.nist[i][1].bytes);
            made.nist[i][2].length =
                nist_explicit_parameters(nist_ids[i], FieldElementForm::minimal_b, made.nist[i][2].bytes);
        }
        for (std::size_t i = 0; i < std::size(dstu_ids); ++i) {
            std::uint8_t oid[DSTU_CURVE_OID_BYTES];
            dstu_curve_oid(dstu_ids[i], oid);
            std::memcpy(made.dstu[i][0].bytes, oid, sizeof oid);
            made.dstu[i][0].length = sizeof oid;
            made.dstu[i][1].length = dstu_binary_parameters(dstu_ids[i], made.dstu[i][1].bytes);
        }
        return made;
    }();
    return forms;
}

// The DSTU curve whose OID or ECBinary form the input begins with; form_length is the length of
// the form that matched.
std::uint16_t match_dstu_form(const std::uint8_t* bytes, std::size_t length, std::size_t& form_length) noexcept
{
    const CurveForms& forms = curve_forms();
    for (std::size_t i = 0; i < std::size(dstu_ids); ++i) {
        for (const Form& form : forms.dstu[i]) {
            if (begins_with(bytes, length, form.bytes, form.length)) {
                form_length = form.length;
                return dstu_ids[i];
            }
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
    // P-521's b has a leading zero byte; both ways of writing it are in use.
    const CurveForms& forms = curve_forms();
    for (std::size_t i = 0; i < std::size(nist_ids); ++i)
        for (const Form& form : forms.nist[i])
            if (begins_with(bytes, length, form.bytes, form.length))
                return nist_ids[i];
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
