#include "objects/certificate.h"
#include "objects/object_record.h"
#include "support/openssl_certificates.h"
#include "vlrp11/pkcs11.h"

#include <gtest/gtest.h>

#include <vector>

namespace vlrp11 {
namespace {

struct RecordDeleter {
    void operator()(ObjectRecord* record) const { release_object(record); }
};
using Record = std::unique_ptr<ObjectRecord, RecordDeleter>;

const CertificateRecord& certificate_of(const ObjectRecord& record)
{
    return *reinterpret_cast<const CertificateRecord*>(record.cache);
}

// The certificate cache points into the value, so a new value must bring a new parse; the
// sanitizer build's leak check also catches name lists left behind by any release.
TEST(ObjectRecord, ReplacingACertificateValueRebuildsItsCache)
{
    Record record(allocate_object());
    record->objectClass = CKO_CERTIFICATE;
    ASSERT_EQ(set_object_value(*record, test::CERT_EC_MULTI_RDN, sizeof test::CERT_EC_MULTI_RDN), CKR_OK);
    ASSERT_EQ(record->cacheKind, CACHE_CERTIFICATE);
    EXPECT_EQ(certificate_of(*record).raw.p, record->value);

    ASSERT_EQ(set_object_value(*record, test::CERT_RSA_V3, sizeof test::CERT_RSA_V3), CKR_OK);
    ASSERT_EQ(record->cacheKind, CACHE_CERTIFICATE);
    EXPECT_EQ(certificate_of(*record).raw.p, record->value);
    EXPECT_EQ(certificate_of(*record).raw.length, sizeof test::CERT_RSA_V3);

    const std::uint8_t junk[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    EXPECT_EQ(set_object_value(*record, junk, sizeof junk), CKR_ATTRIBUTE_VALUE_INVALID);
    EXPECT_EQ(record->cache, nullptr);
    EXPECT_EQ(record->cacheKind, CACHE_NONE);
    EXPECT_EQ(record->valueLength, sizeof junk);
}

TEST(ObjectRecord, ReplacingAKeyValueDropsItsSchedule)
{
    Record record(allocate_object());
    record->objectClass = CKO_SECRET_KEY;
    ASSERT_NE(allocate_cache(*record, CACHE_KEY_SCHEDULE, 496), nullptr);
    const std::uint8_t key[16] = {1, 2, 3};
    ASSERT_EQ(set_object_value(*record, key, sizeof key), CKR_OK);
    EXPECT_EQ(record->cache, nullptr);
    EXPECT_EQ(record->cacheKind, CACHE_NONE);
}

// Unique IDs of session objects come from these stamps: two records never share one, however
// fast they are made.
TEST(ObjectRecord, CreationStampsStrictlyIncrease)
{
    std::vector<Record> records;
    for (int i = 0; i < 1000; ++i) {
        records.emplace_back(allocate_object());
        ASSERT_NE(records.back(), nullptr);
    }
    for (std::size_t i = 1; i < records.size(); ++i) {
        const ObjectRecord& a = *records[i - 1];
        const ObjectRecord& b = *records[i];
        ASSERT_TRUE(b.createdSeconds > a.createdSeconds ||
                    (b.createdSeconds == a.createdSeconds && b.createdNanoseconds > a.createdNanoseconds))
            << i;
        ASSERT_GE(b.createdNanoseconds, 0);
        ASSERT_LT(b.createdNanoseconds, 1000000000);
    }
    EXPECT_GT(records[0]->createdSeconds, 1600000000);
}

TEST(ObjectHeader, TextLengthsNeverReachPastTheirField)
{
    ObjectHeader header{};
    header.idLength = 33;
    header.labelLength = 255;
    header.applicationLength = 32;
    EXPECT_EQ(header_id_length(header), 32);
    EXPECT_EQ(header_label_length(header), 32);
    EXPECT_EQ(header_application_length(header), 32);
    header.length[0] = 0x34;
    header.length[1] = 0x12;
    EXPECT_EQ(header_parameter(header), 0x1234);
}

TEST(ObjectRecord, ReleaseIgnoresNull)
{
    release_object(nullptr);
}

}  // namespace
}  // namespace vlrp11
