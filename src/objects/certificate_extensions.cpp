#include <cstring>

#include "objects/certificate_parts.h"

namespace vlrp11 {
namespace {

constexpr std::uint8_t CONTEXT_KEY_IDENTIFIER = 0x80;  // [0] keyIdentifier, implicit
constexpr std::uint8_t CONTEXT_EXTENSIONS = 0xA3;      // [3] extensions, explicit

struct KnownExtension {
    std::uint8_t oid[3];  // 2.5.29.x
    std::uint32_t mask;
};

constexpr KnownExtension KNOWN_EXTENSIONS[] = {
    {{0x55, 0x1D, 0x0E}, EXT_SUBJECT_KEY_IDENTIFIER},
    {{0x55, 0x1D, 0x23}, EXT_AUTHORITY_KEY_IDENTIFIER},
    {{0x55, 0x1D, 0x0F}, EXT_KEY_USAGE},
    {{0x55, 0x1D, 0x13}, EXT_BASIC_CONSTRAINTS},
};

std::uint32_t extension_mask(const DerBuffer& oid) noexcept
{
    for (const KnownExtension& known : KNOWN_EXTENSIONS) {
        if (oid.length == sizeof known.oid && std::memcmp(oid.p, known.oid, sizeof known.oid) == 0) {
            return known.mask;
        }
    }
    return 0;
}

bool read_subject_key_id(const std::uint8_t* p, const std::uint8_t* end, CertificateRecord& record) noexcept
{
    std::size_t length = 0;
    if (read_tag(p, end, DER_OCTET_STRING, length) != 0 || p + length != end) {
        return false;
    }
    record.subjectKeyId = {length, p};
    return true;
}

// Only keyIdentifier is kept; authorityCertIssuer and authorityCertSerialNumber are skipped.
bool read_authority_key_id(const std::uint8_t* p, const std::uint8_t* end, CertificateRecord& record) noexcept
{
    std::size_t length = 0;
    if (read_tag(p, end, DER_SEQUENCE, length) != 0) {
        return false;
    }
    if (read_tag(p, p + length, CONTEXT_KEY_IDENTIFIER, length) != 0) {
        return false;
    }
    record.authorityKeyId = {length, p};
    return true;
}

bool read_key_usage(const std::uint8_t* p, const std::uint8_t* end, CertificateRecord& record) noexcept
{
    std::size_t length = 0;
    if (read_tag(p, end, DER_BIT_STRING, length) != 0 || length == 0 || *p > 7 ||
        p + length != end) {
        return false;
    }
    ++p;
    --length;
    record.keyUsage = 0;
    for (std::size_t i = 0; i < length && i < 4; ++i) {
        record.keyUsage |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    }
    return true;
}

// cA is read from a BOOLEAN, or from an INTEGER where encoders wrote one instead.
bool read_basic_constraints(const std::uint8_t* p, const std::uint8_t* end, CertificateRecord& record) noexcept
{
    record.isCa = 0;
    record.maxPathLength = 0;
    std::size_t length = 0;
    if (read_tag(p, end, DER_SEQUENCE, length) != 0 || p + length != end) {
        return false;
    }
    if (p == end) {
        return true;
    }
    if (*p == DER_BOOLEAN) {
        if (read_tag(p, end, DER_BOOLEAN, length) != 0 || length != 1) {
            return false;
        }
        record.isCa = *p++ != 0;
    } else {
        int ca = 0;
        if (read_int(p, end, ca) != 0) {
            return false;
        }
        record.isCa = ca != 0;
    }
    if (p == end) {
        return true;
    }
    int path_length = 0;
    if (read_int(p, end, path_length) != 0 || path_length == 0x7FFFFFFF) {
        return false;
    }
    record.maxPathLength = path_length + 1;
    return p == end;
}

bool read_extension_value(std::uint32_t mask, const std::uint8_t* p, const std::uint8_t* end,
                          CertificateRecord& record) noexcept
{
    switch (mask) {
    case EXT_SUBJECT_KEY_IDENTIFIER:
        return read_subject_key_id(p, end, record);
    case EXT_AUTHORITY_KEY_IDENTIFIER:
        return read_authority_key_id(p, end, record);
    case EXT_KEY_USAGE:
        return read_key_usage(p, end, record);
    case EXT_BASIC_CONSTRAINTS:
        return read_basic_constraints(p, end, record);
    default:
        return true;  // unrecognised, critical or not
    }
}

// Extension ::= SEQUENCE { extnID OID, critical BOOLEAN optional, extnValue OCTET STRING }
bool read_extension(const std::uint8_t*& cursor, const std::uint8_t* end, CertificateRecord& record) noexcept
{
    const std::uint8_t* extension_end = nullptr;
    DerBuffer oid{};
    if (read_oid_sequence(cursor, end, oid, extension_end) != 0) {
        return false;
    }
    std::size_t length = 0;
    if (cursor < extension_end && *cursor == DER_BOOLEAN) {
        if (read_tag(cursor, extension_end, DER_BOOLEAN, length) != 0 || length != 1) {
            return false;
        }
        ++cursor;
    }
    if (read_tag(cursor, extension_end, DER_OCTET_STRING, length) != 0 ||
        cursor + length != extension_end) {
        return false;
    }
    const std::uint32_t mask = extension_mask(oid);
    if ((record.extensionMask & mask) != 0) {
        return false;
    }
    record.extensionMask |= mask;
    const std::uint8_t* const value = cursor;
    cursor = extension_end;
    return read_extension_value(mask, value, extension_end, record);
}

}  // namespace

CertificateStatus read_extensions(const std::uint8_t*& cursor, const std::uint8_t* end, CertificateRecord& record) noexcept
{
    if (cursor == end) {
        return CERT_OK;
    }
    std::size_t length = 0;
    if (read_tag(cursor, end, CONTEXT_EXTENSIONS, length) != 0 || length == 0) {
        return CERT_INVALID_EXTENSIONS;
    }
    const std::uint8_t* const wrapper_end = cursor + length;
    record.extensionsRaw = {CONTEXT_EXTENSIONS, length, cursor};
    if (read_tag(cursor, wrapper_end, DER_SEQUENCE, length) != 0 || cursor + length != wrapper_end) {
        return CERT_INVALID_EXTENSIONS;
    }
    while (cursor < wrapper_end) {
        if (!read_extension(cursor, wrapper_end, record)) {
            return CERT_INVALID_EXTENSIONS;
        }
    }
    return CERT_OK;
}

}  // namespace vlrp11
