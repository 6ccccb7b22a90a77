// Certificates: every attribute but the value and a few fixed ones comes from the parsed
// CertificateRecord in the record's cache.
#include "objects/attribute_answers.h"

#include "crypto/sha1.h"
#include "objects/certificate.h"
#include "vlrp11/pkcs11_vendor.h"

#include <cstdio>

namespace vlrp11 {
namespace {

constexpr std::uint8_t CATEGORY_NOT_GIVEN = 0xFF;
constexpr std::size_t GOST34311_KEY_IDENTIFIER = 32;

// The parsed certificate; the cache is rebuilt from the value when it is missing.
const CertificateRecord* parsed(const AttributeQuery& query, CK_RV& rv) noexcept
{
    ObjectRecord& record = query.record;
    rv = CKR_OK;
    if (record.cacheKind != CACHE_CERTIFICATE) {
        rv = rebuild_object_cache(record);
        if (rv == CKR_ATTRIBUTE_VALUE_INVALID)
            rv = CKR_DEVICE_ERROR;
    }
    return rv == CKR_OK ? reinterpret_cast<const CertificateRecord*>(record.cache) : nullptr;
}

using CertificatePart = CK_RV (*)(const CertificateRecord& certificate, CK_ATTRIBUTE& entry) noexcept;

template <CertificatePart part>
CK_RV from_certificate(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    CK_RV rv;
    const CertificateRecord* certificate = parsed(query, rv);
    return certificate != nullptr ? part(*certificate, entry) : rv;
}

CK_RV der_part(CK_ATTRIBUTE& entry, const DerBuffer& part) noexcept
{
    return answer_bytes(entry, part.p, static_cast<CK_ULONG>(part.length));
}

CK_RV key_identifier(CK_ATTRIBUTE& entry, const KeyIdentifier& identifier) noexcept
{
    return answer_bytes(entry, identifier.p, static_cast<CK_ULONG>(identifier.length));
}

CK_RV date(CK_ATTRIBUTE& entry, const CertificateDate& when) noexcept
{
    char text[9];
    std::snprintf(text, sizeof text, "%04u%02u%02u", static_cast<unsigned>(when.year) % 10000,
                  static_cast<unsigned>(when.month) % 100, static_cast<unsigned>(when.day) % 100);
    return answer_bytes(entry, text, sizeof(CK_DATE));
}

CK_RV issuer(const CertificateRecord& c, CK_ATTRIBUTE& entry) noexcept { return der_part(entry, c.issuerRaw); }
CK_RV subject(const CertificateRecord& c, CK_ATTRIBUTE& entry) noexcept { return der_part(entry, c.subjectRaw); }
CK_RV serial(const CertificateRecord& c, CK_ATTRIBUTE& entry) noexcept { return der_part(entry, c.serial); }
CK_RV key_info(const CertificateRecord& c, CK_ATTRIBUTE& entry) noexcept { return der_part(entry, c.publicKeyInfoRaw); }
CK_RV start_date(const CertificateRecord& c, CK_ATTRIBUTE& entry) noexcept { return date(entry, c.validFrom); }
CK_RV end_date(const CertificateRecord& c, CK_ATTRIBUTE& entry) noexcept { return date(entry, c.validTo); }

CK_RV subject_key_hash(const CertificateRecord& c, CK_ATTRIBUTE& entry) noexcept
{
    return key_identifier(entry, c.subjectKeyId);
}

CK_RV issuer_key_hash(const CertificateRecord& c, CK_ATTRIBUTE& entry) noexcept
{
    return key_identifier(entry, c.authorityKeyId);
}

// A 32-byte key identifier is a GOST 34.311-95 hash; anything else is taken as SHA-1.
CK_RV name_hash_algorithm(const CertificateRecord& c, CK_ATTRIBUTE& entry) noexcept
{
    return answer_ulong(entry, c.subjectKeyId.length == GOST34311_KEY_IDENTIFIER ? CKM_GOST34311 : CKM_SHA_1);
}

CK_RV certificate_value(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bytes(entry, query.record.value, query.record.valueLength);
}

CK_RV zero(const AttributeQuery&, CK_ATTRIBUTE& entry) noexcept
{
    return answer_ulong(entry, 0);
}

CK_RV category(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    std::uint8_t flags = query.record.header.flags;
    return answer_ulong(entry, flags == CATEGORY_NOT_GIVEN ? 0 : flags);
}

CK_RV empty(const AttributeQuery&, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bytes(entry, nullptr, 0);
}

CK_RV check_value(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    std::uint8_t digest[sha1_output_size];
    sha1_digest(query.record.value, query.record.valueLength, digest);
    return answer_bytes(entry, digest, 3);
}

constexpr AttributeRow certificate_rows[] = {
    {CKA_VALUE, certificate_value},
    {CKA_CERTIFICATE_TYPE, zero},
    {CKA_JAVA_MIDP_SECURITY_DOMAIN, zero},
    {CKA_TRUSTED, always_false},
    {CKA_CERTIFICATE_CATEGORY, category},
    {CKA_URL, empty},
    {CKA_ISSUER, from_certificate<issuer>},
    {CKA_SUBJECT, from_certificate<subject>},
    {CKA_SERIAL_NUMBER, from_certificate<serial>},
    {CKA_HASH_OF_SUBJECT_PUBLIC_KEY, from_certificate<subject_key_hash>},
    {CKA_HASH_OF_ISSUER_PUBLIC_KEY, from_certificate<issuer_key_hash>},
    {CKA_NAME_HASH_ALGORITHM, from_certificate<name_hash_algorithm>},
    {CKA_CHECK_VALUE, check_value},
    {CKA_START_DATE, from_certificate<start_date>},
    {CKA_END_DATE, from_certificate<end_date>},
    {CKA_PUBLIC_KEY_INFO, from_certificate<key_info>},
};

}  // namespace

CK_RV answer_certificate(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    CK_RV rv = CKR_OK;
    if (answer_from(certificate_rows, query, entry, rv))
        return rv;
    return answer_type_invalid(entry);
}

}  // namespace vlrp11
