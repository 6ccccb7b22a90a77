#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vlrp11::test {

using Bytes = std::vector<std::uint8_t>;

// One element: tag, a minimal definite length, content.
Bytes tlv(std::uint8_t tag, const Bytes& content);
Bytes cat(std::initializer_list<Bytes> parts);
Bytes text(const std::string& s);

Bytes oid(std::initializer_list<std::uint8_t> encoded);
// Name built from RDNs, each a list of (attribute OID bytes, string tag, text).
struct Attribute {
    Bytes type;
    std::uint8_t tag;
    std::string value;
};
Bytes name(std::initializer_list<std::initializer_list<Attribute>> rdns);
Bytes common_name(const std::string& value);  // a one-RDN Name

// A certificate assembled from parts that tests replace one at a time to make each refusal.
// Empty optional parts are left out.
struct CertificateParts {
    Bytes version;
    Bytes serial;
    Bytes signature;
    Bytes issuer;
    Bytes validity;
    Bytes subject;
    Bytes publicKeyInfo;
    Bytes uniqueIds;
    Bytes extensions;         // the whole [3] element
    Bytes outerAlgorithm;
    Bytes signatureValue;
    Bytes trailing;           // bytes after the certificate
};

// A valid v3 certificate with an ecdsa-with-SHA256 signature and no extensions.
CertificateParts minimal_certificate();
Bytes build(const CertificateParts& parts);

Bytes ecdsa_sha256();
Bytes utc_time(const std::string& content);
Bytes generalized_time(const std::string& content);
Bytes validity(const Bytes& not_before, const Bytes& not_after);
Bytes extension(std::initializer_list<std::uint8_t> oid_bytes, const Bytes& value, bool critical = false);
Bytes extensions(std::initializer_list<Bytes> list);  // [3] { SEQUENCE { ... } }

}  // namespace vlrp11::test
