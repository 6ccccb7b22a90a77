// Feeds arbitrary bytes to the certificate reader and checks that everything an accepted
// certificate's record refers to lies inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "objects/certificate.h"

namespace {

const std::uint8_t* g_begin;
const std::uint8_t* g_end;

void check(const std::uint8_t* p, std::uint64_t length)
{
    if (length == 0) {
        return;
    }
    if (p < g_begin || p > g_end || length > static_cast<std::uint64_t>(g_end - p)) {
        std::abort();
    }
}

void check_names(const vlrp11::NameNode& first)
{
    for (const vlrp11::NameNode* node = &first; node != nullptr; node = node->next) {
        check(node->type.p, node->type.length);
        check(node->value.p, node->value.length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A private copy of exactly the input, so that reading past it is caught.
    std::vector<std::uint8_t> der(data, data + size);
    g_begin = der.data();
    g_end = der.data() + der.size();
    vlrp11::CertificateRecord record{};
    const vlrp11::CertificateStatus result = vlrp11::parse_certificate(&record, der.data(), der.size());
    if (result != vlrp11::CERT_OK) {
        if (record.issuerName.next != nullptr || record.subjectName.next != nullptr) {
            std::abort();
        }
        return 0;
    }
    for (const vlrp11::DerBuffer* buffer :
         {&record.raw, &record.tbs, &record.serial, &record.signatureOid, &record.issuerRaw,
          &record.subjectRaw, &record.publicKeyInfoRaw, &record.issuerUniqueId,
          &record.subjectUniqueId, &record.extensionsRaw, &record.signature}) {
        check(buffer->p, buffer->length);
    }
    check(record.authorityKeyId.p, record.authorityKeyId.length);
    check(record.subjectKeyId.p, record.subjectKeyId.length);
    check_names(record.issuerName);
    check_names(record.subjectName);
    if (record.version < 1 || record.version > 3) {
        std::abort();
    }
    vlrp11::free_certificate_names(record);
    return 0;
}
