#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "objects/certificate.h"

namespace vlrp11::test {

// A DER certificate with the record parsed from it; the name lists are freed with the object.
struct ParsedCertificate {
    std::vector<std::uint8_t> der;
    CertificateRecord record{};
    CertificateStatus result;

    explicit ParsedCertificate(std::vector<std::uint8_t> bytes);
    ~ParsedCertificate();
    ParsedCertificate(const ParsedCertificate&) = delete;
    ParsedCertificate& operator=(const ParsedCertificate&) = delete;

    // Offset of a reference into der, for comparisons independent of where der lives.
    std::size_t offset(const void* p) const;
};

std::vector<std::uint8_t> bytes_of(const std::uint8_t* p, std::uint64_t length);
std::string text_of(const DerBuffer& buffer);
std::vector<const NameNode*> name_nodes(const NameNode& first);

}  // namespace vlrp11::test
