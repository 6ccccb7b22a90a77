#include <cstring>

#include "objects/certificate_parts.h"

namespace vlrp11 {
namespace {

constexpr std::uint8_t CONTEXT_VERSION = 0xA0;
constexpr std::uint8_t CONTEXT_ISSUER_UNIQUE_ID = 0xA1;
constexpr std::uint8_t CONTEXT_SUBJECT_UNIQUE_ID = 0xA2;
constexpr std::uint8_t CONTEXT_SERIAL = 0x82;

// Reads tag and length and returns the element as a reference spanning header and content.
bool read_whole(const std::uint8_t*& cursor, const std::uint8_t* end, std::uint8_t tag,
                DerBuffer& whole, std::size_t& content_length) noexcept
{
    const std::uint8_t* const start = cursor;
    if (read_tag(cursor, end, tag, content_length) != 0) {
        return false;
    }
    whole = {tag, static_cast<std::uint64_t>(cursor + content_length - start), start};
    return true;
}

// Element with a tag chosen by the caller; content recorded as is.
bool read_content(const std::uint8_t*& cursor, const std::uint8_t* end, DerBuffer& out) noexcept
{
    if (cursor >= end) {
        return false;
    }
    const std::uint8_t tag = *cursor++;
    std::size_t length = 0;
    if (read_length(cursor, end, length) != 0) {
        return false;
    }
    out = {tag, length, cursor};
    cursor += length;
    return true;
}

bool read_version(const std::uint8_t*& cursor, const std::uint8_t* end, int& version) noexcept
{
    version = 0;
    if (cursor >= end || *cursor != CONTEXT_VERSION) {
        return true;
    }
    std::size_t length = 0;
    if (read_tag(cursor, end, CONTEXT_VERSION, length) != 0) {
        return false;
    }
    const std::uint8_t* const wrapper_end = cursor + length;
    return read_int(cursor, wrapper_end, version) == 0 && cursor == wrapper_end;
}

bool read_validity(const std::uint8_t*& cursor, const std::uint8_t* end, CertificateRecord& record) noexcept
{
    std::size_t length = 0;
    if (read_tag(cursor, end, DER_SEQUENCE, length) != 0 || length == 0) {
        return false;
    }
    const std::uint8_t* const validity_end = cursor + length;
    return read_date(cursor, validity_end, record.validFrom) == CERT_OK &&
           read_date(cursor, validity_end, record.validTo) == CERT_OK && cursor == validity_end;
}

// An empty subject is allowed; an empty issuer is not.
bool read_name_field(const std::uint8_t*& cursor, const std::uint8_t* end, bool may_be_empty,
                     DerBuffer& raw, NameNode& first) noexcept
{
    std::size_t length = 0;
    if (!read_whole(cursor, end, DER_SEQUENCE, raw, length)) {
        return false;
    }
    if (length == 0) {
        return may_be_empty;
    }
    return read_name(cursor, cursor + length, first) == CERT_OK;
}

bool read_public_key_info(const std::uint8_t*& cursor, const std::uint8_t* end,
                          CertificateRecord& record) noexcept
{
    std::size_t length = 0;
    if (!read_whole(cursor, end, DER_SEQUENCE, record.publicKeyInfoRaw, length)) {
        return false;
    }
    const std::uint8_t* const info_end = cursor + length;
    DerBuffer oid{};
    DerBuffer params{};
    if (read_algorithm(cursor, info_end, oid, params) != 0 ||
        read_tag(cursor, info_end, DER_BIT_STRING, length) != 0) {
        return false;
    }
    if (length == 0 || *cursor != 0) {
        return false;
    }
    cursor += length;
    return cursor == info_end;
}

bool read_unique_ids(const std::uint8_t*& cursor, const std::uint8_t* end, CertificateRecord& record) noexcept
{
    if (cursor < end && *cursor == CONTEXT_ISSUER_UNIQUE_ID &&
        !read_content(cursor, end, record.issuerUniqueId)) {
        return false;
    }
    return !(cursor < end && *cursor == CONTEXT_SUBJECT_UNIQUE_ID &&
             !read_content(cursor, end, record.subjectUniqueId));
}

bool same_algorithm(const DerBuffer& oid_a, const DerBuffer& params_a, const DerBuffer& oid_b,
                    const DerBuffer& params_b) noexcept
{
    return oid_a.length == oid_b.length && std::memcmp(oid_a.p, oid_b.p, oid_a.length) == 0 &&
           params_a.tag == params_b.tag && params_a.length == params_b.length &&
           (params_a.length == 0 || std::memcmp(params_a.p, params_b.p, params_a.length) == 0);
}

// The tbsCertificate content, from after its header to tbs_end.
CertificateStatus read_tbs_content(const std::uint8_t*& cursor, const std::uint8_t* tbs_end, CertificateRecord& record,
                     DerBuffer& params) noexcept
{
    int version = 0;
    if (!read_version(cursor, tbs_end, version)) {
        return CERT_INVALID_FORMAT;
    }
    if (version > 2) {
        return CERT_UNKNOWN_VERSION;
    }
    record.version = version + 1;
    const bool serial_ok = cursor < tbs_end && (*cursor == DER_INTEGER || *cursor == CONTEXT_SERIAL) &&
                           read_content(cursor, tbs_end, record.serial);
    if (!serial_ok || read_algorithm(cursor, tbs_end, record.signatureOid, params) != 0 ||
        !read_name_field(cursor, tbs_end, false, record.issuerRaw, record.issuerName) ||
        !read_validity(cursor, tbs_end, record) ||
        !read_name_field(cursor, tbs_end, true, record.subjectRaw, record.subjectName) ||
        !read_public_key_info(cursor, tbs_end, record)) {
        return CERT_INVALID_FORMAT;
    }
    if (record.version >= 2 && !read_unique_ids(cursor, tbs_end, record)) {
        return CERT_INVALID_FORMAT;
    }
    if (record.version == 3) {
        if (const CertificateStatus result = read_extensions(cursor, tbs_end, record)) {
            return result;
        }
    }
    return cursor == tbs_end ? CERT_OK : CERT_INVALID_FORMAT;
}

CertificateStatus read_certificate(CertificateRecord& record, const std::uint8_t* der, std::size_t length) noexcept
{
    const std::uint8_t* cursor = der;
    std::size_t content_length = 0;
    if (!read_whole(cursor, der + length, DER_SEQUENCE, record.raw, content_length)) {
        return CERT_INVALID_FORMAT;
    }
    const std::uint8_t* const certificate_end = cursor + content_length;
    if (!read_whole(cursor, certificate_end, DER_SEQUENCE, record.tbs, content_length)) {
        return CERT_INVALID_FORMAT;
    }
    DerBuffer inner_params{};
    if (const CertificateStatus result = read_tbs_content(cursor, cursor + content_length, record, inner_params)) {
        return result;
    }
    DerBuffer outer_oid{};
    DerBuffer outer_params{};
    if (read_algorithm(cursor, certificate_end, outer_oid, outer_params) != 0) {
        return CERT_INVALID_OUTER_ALGORITHM;
    }
    if (!same_algorithm(record.signatureOid, inner_params, outer_oid, outer_params)) {
        return CERT_ALGORITHM_MISMATCH;
    }
    if (read_tag(cursor, certificate_end, DER_BIT_STRING, content_length) != 0 ||
        content_length == 0 || *cursor != 0) {
        return CERT_INVALID_SIGNATURE;
    }
    record.signature = {DER_BIT_STRING, content_length - 1, cursor + 1};
    return cursor + content_length == certificate_end ? CERT_OK : CERT_INVALID_FORMAT;
}

}  // namespace

CertificateStatus parse_certificate(CertificateRecord* record, const std::uint8_t* der, std::size_t length) noexcept
{
    if (record == nullptr || der == nullptr || length == 0) {
        return CERT_MISSING_INPUT;
    }
    *record = CertificateRecord{};
    const CertificateStatus result = read_certificate(*record, der, length);
    if (result != CERT_OK) {
        free_certificate_names(*record);
    }
    return result;
}

void free_certificate_names(CertificateRecord& record) noexcept
{
    free_name_list(record.issuerName);
    free_name_list(record.subjectName);
}

}  // namespace vlrp11
