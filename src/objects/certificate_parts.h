#pragma once

#include <cstdint>

#include "objects/certificate.h"

// The readers parse_certificate is built from. Their results stay inside the certificate reader.
namespace vlrp11 {

// Reads the content of a non-empty Name (the RDN SETs, outer SEQUENCE header already read) from
// cursor up to exactly end into the list that starts at first. On failure the list is freed.
CertificateStatus read_name(const std::uint8_t*& cursor, const std::uint8_t* end, NameNode& first) noexcept;

// Frees every node after first and clears first's link.
void free_name_list(NameNode& first) noexcept;

// Reads one UTCTime or GeneralizedTime element.
CertificateStatus read_date(const std::uint8_t*& cursor, const std::uint8_t* end, CertificateDate& date) noexcept;

// Reads the [3] extensions of a v3 tbsCertificate whose content ends at end; none when cursor
// already stands at end.
CertificateStatus read_extensions(const std::uint8_t*& cursor, const std::uint8_t* end,
                                  CertificateRecord& record) noexcept;

}  // namespace vlrp11
