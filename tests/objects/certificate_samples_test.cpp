// Certificates made by the openssl command line tool (tests/vectors/certs/make_certs.sh), with
// the values openssl's own text dump shows for them.
#include <gtest/gtest.h>

#include <array>
#include <span>

#include "objects/certificate.h"
#include "objects/support/openssl_certificates.h"
#include "objects/support/parsed_certificate.h"

namespace vlrp11 {
namespace {

struct Sample {
    const char* name;
    std::span<const std::uint8_t> der;
    int version;
    std::vector<std::uint8_t> serial;
    std::array<int, 6> validFrom;
    std::array<int, 6> validTo;
    std::uint32_t extensionMask;
    int isCa;
    int maxPathLength;
    std::uint32_t keyUsage;
    std::size_t subjectKeyIdLength;
    std::size_t authorityKeyIdLength;
    std::vector<int> subjectSameRdn;  // flag of each subject node in order
};

class OpensslSample : public ::testing::TestWithParam<Sample> {};

TEST_P(OpensslSample, MatchesWhatOpensslShows)
{
    const Sample& s = GetParam();
    const test::ParsedCertificate cert({s.der.begin(), s.der.end()});
    ASSERT_EQ(cert.result, CERT_OK) << s.name;
    const CertificateRecord& r = cert.record;
    EXPECT_EQ(r.version, s.version);
    EXPECT_EQ(r.raw.length, s.der.size());
    EXPECT_EQ(test::bytes_of(r.serial.p, r.serial.length), s.serial);
    const CertificateDate& f = r.validFrom;
    const CertificateDate& t = r.validTo;
    EXPECT_EQ((std::array{f.year, f.month, f.day, f.hour, f.minute, f.second}), s.validFrom);
    EXPECT_EQ((std::array{t.year, t.month, t.day, t.hour, t.minute, t.second}), s.validTo);
    EXPECT_EQ(r.extensionMask, s.extensionMask);
    EXPECT_EQ(r.isCa, s.isCa);
    EXPECT_EQ(r.maxPathLength, s.maxPathLength);
    EXPECT_EQ(r.keyUsage, s.keyUsage);
    EXPECT_EQ(r.subjectKeyId.length, s.subjectKeyIdLength);
    EXPECT_EQ(r.authorityKeyId.length, s.authorityKeyIdLength);
    std::vector<int> same_rdn;
    for (const NameNode* node : test::name_nodes(r.subjectName)) {
        same_rdn.push_back(node->sameRdn);
    }
    EXPECT_EQ(same_rdn, s.subjectSameRdn);
}

const std::uint32_t KEY_IDS = EXT_SUBJECT_KEY_IDENTIFIER | EXT_AUTHORITY_KEY_IDENTIFIER;

INSTANTIATE_TEST_SUITE_P(
    MadeByOpenssl, OpensslSample,
    ::testing::Values(
        // v3, RSA, UTCTime, default key identifiers, CA:TRUE without a path length.
        Sample{"rsa_v3", test::CERT_RSA_V3, 3, {0x01, 0x23, 0x45, 0x67, 0x89},
               {2026, 12, 8, 1, 30, 35}, {2036, 12, 5, 1, 30, 35},
               KEY_IDS | EXT_BASIC_CONSTRAINTS, 1, 0, 0, 20, 20, {0, 0, 0}},
        // v1, P-256: no extensions.
        Sample{"ec_v1", test::CERT_EC_V1, 1, {0x07}, {2026, 12, 8, 1, 30, 35}, {2027, 1, 7, 1, 30, 35},
               0, 0, 0, 0, 0, 0, {0, 0}},
        // CN + OU + UID in one RDN; serial 0x80FEDCBA98765432 needs a leading zero byte;
        // keyUsage digitalSignature and keyEncipherment.
        Sample{"ec_multi_rdn", test::CERT_EC_MULTI_RDN, 3,
               {0x00, 0x80, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32},
               {2026, 12, 8, 1, 30, 35}, {2028, 1, 12, 1, 30, 35},
               EXT_BASIC_CONSTRAINTS | EXT_KEY_USAGE, 0, 0, 0xA0, 0, 0, {0, 1, 1, 0, 0}},
        // P-384 CA with pathlen 3; keyCertSign, cRLSign, digitalSignature, decipherOnly;
        // notAfter in 2051, so a GeneralizedTime.
        Sample{"ca_path", test::CERT_CA_PATH, 3, {0x10, 0x01}, {2026, 12, 8, 1, 30, 35},
               {2051, 7, 30, 1, 30, 35}, KEY_IDS | EXT_BASIC_CONSTRAINTS | EXT_KEY_USAGE, 1, 4,
               0x8086, 20, 20, {0, 0, 0}},
        // Issued by ca_path: GeneralizedTime both ends (29 February 2060), authority key
        // identifier with issuer and serial, extended key usage, subject alternative name and
        // an unrecognised critical extension.
        Sample{"leaf_generalized", test::CERT_LEAF_GENERALIZED, 3, {0x20, 0x02},
               {2050, 1, 1, 0, 0, 0}, {2060, 2, 29, 23, 59, 59}, KEY_IDS | EXT_KEY_USAGE, 0, 0, 0xC0,
               20, 20, {0, 0}}));

TEST(OpensslSample, LeafNamesItsIssuer)
{
    const test::ParsedCertificate ca({std::begin(test::CERT_CA_PATH), std::end(test::CERT_CA_PATH)});
    const test::ParsedCertificate leaf(
        {std::begin(test::CERT_LEAF_GENERALIZED), std::end(test::CERT_LEAF_GENERALIZED)});
    ASSERT_EQ(ca.result, CERT_OK);
    ASSERT_EQ(leaf.result, CERT_OK);
    EXPECT_EQ(test::bytes_of(leaf.record.issuerRaw.p, leaf.record.issuerRaw.length),
              test::bytes_of(ca.record.subjectRaw.p, ca.record.subjectRaw.length));
    EXPECT_EQ(test::bytes_of(leaf.record.authorityKeyId.p, leaf.record.authorityKeyId.length),
              test::bytes_of(ca.record.subjectKeyId.p, ca.record.subjectKeyId.length));
}

}  // namespace
}  // namespace vlrp11
