#include "objects/certificate.h"
#include "objects/object_record.h"
#include "support/openssl_certificates.h"
#include "vlrp11/pkcs11.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

// Releasing a certificate object frees its parsed names too; the sanitizer build's leak check
// is what catches a miss.
TEST(ObjectRecord, ReleasingACertificateFreesItsNameLists)
{
    auto* record = static_cast<ObjectRecord*>(std::calloc(1, sizeof(ObjectRecord)));
    record->objectClass = CKO_CERTIFICATE;
    record->valueLength = sizeof test::CERT_EC_MULTI_RDN;
    record->value = static_cast<std::uint8_t*>(std::malloc(record->valueLength));
    std::memcpy(record->value, test::CERT_EC_MULTI_RDN, record->valueLength);
    record->cacheLength = sizeof(CertificateRecord);
    record->cache = static_cast<std::uint8_t*>(std::calloc(1, record->cacheLength));
    ASSERT_EQ(parse_certificate(reinterpret_cast<CertificateRecord*>(record->cache), record->value,
                                record->valueLength),
              0);
    release_object(record);
    release_object(nullptr);
}

}  // namespace
}  // namespace vlrp11
