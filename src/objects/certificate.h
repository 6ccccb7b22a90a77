#pragma once

#include <cstddef>
#include <cstdint>

#include "objects/der.h"

namespace vlrp11 {

// Results of the certificate reader, its own and never a device status: CERT_OK or the first
// fault found (callers only tell success from failure).
enum CertificateStatus : int {
    CERT_OK = 0,
    CERT_INVALID_FORMAT = -0x2180,
    CERT_INVALID_OUTER_ALGORITHM = -0x2300,
    CERT_INVALID_SIGNATURE = -0x2480,
    CERT_INVALID_EXTENSIONS = -0x2500,
    CERT_UNKNOWN_VERSION = -0x2580,
    CERT_ALGORITHM_MISMATCH = -0x2680,
    CERT_MISSING_INPUT = -0x2800,
    NAME_INVALID = -0x2380,
    NAME_NO_MEMORY = -0x2880,
    DATE_INVALID = -0x2400,
};

// Bits of CertificateRecord::extensionMask, one per recognised extension seen.
constexpr std::uint32_t EXT_AUTHORITY_KEY_IDENTIFIER = 0x01;
constexpr std::uint32_t EXT_SUBJECT_KEY_IDENTIFIER = 0x02;
constexpr std::uint32_t EXT_KEY_USAGE = 0x04;
constexpr std::uint32_t EXT_BASIC_CONSTRAINTS = 0x100;

// One AttributeTypeAndValue of a Name. The first node of a list lives inside the record; the
// others are heap nodes owned by the list.
struct NameNode {
    DerBuffer type;    // the attribute-type OID
    DerBuffer value;   // the attribute value, any of the accepted string tags
    NameNode* next;
    std::uint8_t sameRdn;  // 1 when next belongs to the same RelativeDistinguishedName
};
static_assert(sizeof(NameNode) == 64);

struct CertificateDate {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};

struct KeyIdentifier {
    std::uint64_t length;
    const std::uint8_t* p;
};

// Where the parts of one DER certificate lie. Every reference points into the DER buffer given
// to parse_certificate, which must outlive the record. The record owns only the name nodes after
// the first of each list; free_certificate_names releases them.
struct CertificateRecord {
    DerBuffer raw;               // the whole certificate, header included
    DerBuffer tbs;               // the whole tbsCertificate, header included
    int version;                 // 1, 2 or 3
    DerBuffer serial;            // content as encoded, sign and leading zeros kept
    DerBuffer signatureOid;      // OID of the signature algorithm inside the tbsCertificate
    DerBuffer issuerRaw;         // issuer Name, header included
    DerBuffer subjectRaw;        // subject Name, header included
    NameNode issuerName;
    NameNode subjectName;        // all zero for an empty subject
    CertificateDate validFrom;
    CertificateDate validTo;
    DerBuffer publicKeyInfoRaw;  // SubjectPublicKeyInfo, header included
    DerBuffer issuerUniqueId;
    DerBuffer subjectUniqueId;
    DerBuffer extensionsRaw;     // content of the [3] wrapper
    KeyIdentifier authorityKeyId;  // keyIdentifier of the authority key identifier
    KeyIdentifier subjectKeyId;
    DerBuffer signature;         // signature bits without the unused-bits byte
    std::uint32_t extensionMask;
    int isCa;
    int maxPathLength;           // pathLenConstraint + 1, 0 when absent
    std::uint32_t keyUsage;      // first content byte as bits 0..7, the next as bits 8..15, ...
    std::uint8_t reserved[16];
};

// Object caches hold the record in a block of this size.
constexpr std::size_t CERTIFICATE_RECORD_SIZE = 512;
static_assert(sizeof(CertificateRecord) == CERTIFICATE_RECORD_SIZE);

// Parses a DER X.509 certificate (v1 to v3) into the record, which is cleared first (a record
// that still holds name lists must be given to free_certificate_names before): structure only,
// no signature check. Bytes after the outer SEQUENCE are ignored. On failure the name nodes are
// already freed and the caller discards the record.
CertificateStatus parse_certificate(CertificateRecord* record, const std::uint8_t* der, std::size_t length) noexcept;

// Frees the heap nodes of both name lists and clears the first nodes' links. The record
// stays usable for everything but the name lists.
void free_certificate_names(CertificateRecord& record) noexcept;

}  // namespace vlrp11
