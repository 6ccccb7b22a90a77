#include "objects/certificate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "objects/support/der_builder.h"
#include "objects/support/parsed_certificate.h"

namespace vlrp11 {
namespace {

using test::Bytes;
using test::CertificateParts;
using test::ParsedCertificate;
using test::tlv;

const Bytes CN{0x55, 0x04, 0x03};
const Bytes O{0x55, 0x04, 0x0A};
const Bytes OU{0x55, 0x04, 0x0B};
constexpr std::initializer_list<std::uint8_t> SKI{0x55, 0x1D, 0x0E};
constexpr std::initializer_list<std::uint8_t> AKI{0x55, 0x1D, 0x23};
constexpr std::initializer_list<std::uint8_t> KEY_USAGE{0x55, 0x1D, 0x0F};
constexpr std::initializer_list<std::uint8_t> BASIC_CONSTRAINTS{0x55, 0x1D, 0x13};

// Names of several nodes, so that every refusal after them also proves the nodes are freed.
CertificateParts base()
{
    CertificateParts parts = test::minimal_certificate();
    parts.issuer = test::name({{{CN, 0x0C, "Issuer"}}, {{O, 0x13, "Org"}, {OU, 0x0C, "Unit"}}});
    parts.subject = test::name({{{O, 0x0C, "Org"}}, {{CN, 0x0C, "Subject"}}});
    return parts;
}

Bytes with(const std::function<void(CertificateParts&)>& change)
{
    CertificateParts parts = base();
    change(parts);
    return test::build(parts);
}

TEST(Certificate, MinimalV3)
{
    const ParsedCertificate cert(with([](CertificateParts&) {}));
    ASSERT_EQ(cert.result, CERT_OK);
    const CertificateRecord& r = cert.record;
    EXPECT_EQ(r.version, 3);
    EXPECT_EQ(r.raw.p, cert.der.data());
    EXPECT_EQ(r.raw.length, cert.der.size());
    EXPECT_EQ(r.tbs.tag, 0x30u);
    EXPECT_EQ(test::bytes_of(r.serial.p, r.serial.length), (Bytes{0x01, 0x23}));
    EXPECT_EQ(r.serial.tag, 0x02u);
    EXPECT_EQ(test::bytes_of(r.signatureOid.p, r.signatureOid.length),
              (Bytes{0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02}));
    EXPECT_EQ(test::bytes_of(r.issuerRaw.p, r.issuerRaw.length), base().issuer);
    EXPECT_EQ(test::bytes_of(r.subjectRaw.p, r.subjectRaw.length), base().subject);
    EXPECT_EQ(test::bytes_of(r.publicKeyInfoRaw.p, r.publicKeyInfoRaw.length), base().publicKeyInfo);
    EXPECT_EQ(test::bytes_of(r.signature.p, r.signature.length),
              (Bytes{0x30, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}));
    EXPECT_EQ(r.signature.tag, 0x03u);
    EXPECT_EQ(r.extensionMask, 0u);
    EXPECT_EQ(r.extensionsRaw.p, nullptr);
    EXPECT_EQ((CertificateDate{2020, 1, 1, 0, 0, 0}).year, r.validFrom.year);
    EXPECT_EQ(r.validTo.year, 2030);
}

TEST(Certificate, NameListsKeepOrderAndMultiValuedRdns)
{
    const ParsedCertificate cert(with([](CertificateParts&) {}));
    ASSERT_EQ(cert.result, CERT_OK);
    const auto issuer = test::name_nodes(cert.record.issuerName);
    ASSERT_EQ(issuer.size(), 3u);
    EXPECT_EQ(test::text_of(issuer[0]->value), "Issuer");
    EXPECT_EQ(issuer[0]->value.tag, 0x0Cu);
    EXPECT_EQ(issuer[0]->sameRdn, 0);
    EXPECT_EQ(test::text_of(issuer[1]->value), "Org");
    EXPECT_EQ(issuer[1]->value.tag, 0x13u);
    EXPECT_EQ(issuer[1]->sameRdn, 1);
    EXPECT_EQ(test::bytes_of(issuer[1]->type.p, issuer[1]->type.length), O);
    EXPECT_EQ(test::text_of(issuer[2]->value), "Unit");
    EXPECT_EQ(issuer[2]->sameRdn, 0);
    const auto subject = test::name_nodes(cert.record.subjectName);
    ASSERT_EQ(subject.size(), 2u);
    EXPECT_EQ(test::text_of(subject[1]->value), "Subject");
}

TEST(Certificate, EveryAcceptedNameValueTag)
{
    for (const std::uint8_t tag : {0x1E, 0x03, 0x0C, 0x13, 0x14, 0x16, 0x1C}) {
        const ParsedCertificate cert(with([tag](CertificateParts& p) { p.subject = test::name({{{CN, tag, "x"}}}); }));
        EXPECT_EQ(cert.result, CERT_OK) << int{tag};
    }
}

TEST(Certificate, VersionsOneAndTwo)
{
    const ParsedCertificate v1(with([](CertificateParts& p) { p.version.clear(); }));
    ASSERT_EQ(v1.result, CERT_OK);
    EXPECT_EQ(v1.record.version, 1);
    const ParsedCertificate v2(with([](CertificateParts& p) {
        p.version = tlv(0xA0, tlv(0x02, {0x01}));
        p.uniqueIds = test::cat({tlv(0xA1, {0x00, 0xAA}), tlv(0xA2, {0x00, 0xBB, 0xCC})});
    }));
    ASSERT_EQ(v2.result, CERT_OK);
    EXPECT_EQ(v2.record.version, 2);
    EXPECT_EQ(v2.record.issuerUniqueId.tag, 0xA1u);
    EXPECT_EQ(test::bytes_of(v2.record.issuerUniqueId.p, v2.record.issuerUniqueId.length), (Bytes{0x00, 0xAA}));
    EXPECT_EQ(test::bytes_of(v2.record.subjectUniqueId.p, v2.record.subjectUniqueId.length),
              (Bytes{0x00, 0xBB, 0xCC}));
    const ParsedCertificate only_subject_id(with([](CertificateParts& p) { p.uniqueIds = tlv(0xA2, {0x00}); }));
    ASSERT_EQ(only_subject_id.result, CERT_OK);
    EXPECT_EQ(only_subject_id.record.issuerUniqueId.p, nullptr);
    EXPECT_EQ(only_subject_id.record.subjectUniqueId.length, 1u);
    const ParsedCertificate padded(with([](CertificateParts& p) {
        p.version = tlv(0xA0, tlv(0x02, {0x00, 0x00, 0x00, 0x00, 0x02}));  // leading zeros are skipped
    }));
    EXPECT_EQ(padded.result, CERT_OK);
}

TEST(Certificate, SerialIsKeptAsEncoded)
{
    for (const Bytes& serial : {tlv(0x02, {0x00, 0x80, 0x01}), tlv(0x02, {0xFF}), tlv(0x82, {0x05}),
                                tlv(0x02, {}), tlv(0x02, Bytes(40, 0x7F))}) {
        const ParsedCertificate cert(with([&serial](CertificateParts& p) { p.serial = serial; }));
        ASSERT_EQ(cert.result, CERT_OK);
        EXPECT_EQ(cert.record.serial.tag, serial[0]);
        EXPECT_EQ(test::bytes_of(cert.record.serial.p, cert.record.serial.length),
                  Bytes(serial.begin() + 2, serial.end()));
    }
}

TEST(Certificate, EmptySubjectAndTrailingBytes)
{
    const ParsedCertificate cert(with([](CertificateParts& p) {
        p.subject = tlv(0x30, {});
        p.trailing = {0x00, 0xFF, 0x30};
    }));
    ASSERT_EQ(cert.result, CERT_OK);
    EXPECT_EQ(cert.record.subjectRaw.length, 2u);
    EXPECT_EQ(cert.record.subjectName.type.p, nullptr);
    EXPECT_EQ(cert.record.subjectName.next, nullptr);
    EXPECT_EQ(cert.record.raw.length, cert.der.size() - 3);
}

TEST(Certificate, EmptySignatureBits)
{
    const ParsedCertificate cert(with([](CertificateParts& p) { p.signatureValue = tlv(0x03, {0x00}); }));
    ASSERT_EQ(cert.result, CERT_OK);
    EXPECT_EQ(cert.record.signature.length, 0u);
}

TEST(Certificate, AlgorithmParametersMustMatchByteForByte)
{
    const Bytes with_null = tlv(0x30, test::cat({test::oid({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B}),
                                                 tlv(0x05, {})}));
    const ParsedCertificate same(with([&](CertificateParts& p) { p.signature = p.outerAlgorithm = with_null; }));
    EXPECT_EQ(same.result, CERT_OK);
}

struct DateCase {
    const char* name;
    Bytes not_before;
    CertificateDate expected;
};

class CertificateDates : public ::testing::TestWithParam<DateCase> {};

TEST_P(CertificateDates, ReadsDate)
{
    const ParsedCertificate cert(with([](CertificateParts& p) {
        p.validity = test::validity(GetParam().not_before, test::generalized_time("99991231235959Z"));
    }));
    ASSERT_EQ(cert.result, CERT_OK) << GetParam().name;
    const CertificateDate& d = cert.record.validFrom;
    const CertificateDate& e = GetParam().expected;
    EXPECT_EQ((std::array{d.year, d.month, d.day, d.hour, d.minute, d.second}),
              (std::array{e.year, e.month, e.day, e.hour, e.minute, e.second}))
        << GetParam().name;
    EXPECT_EQ(cert.record.validTo.year, 9999);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CertificateDates,
    ::testing::Values(
        DateCase{"2-digit year 49 is 2049", test::utc_time("491231235959Z"), {2049, 12, 31, 23, 59, 59}},
        DateCase{"2-digit year 50 is 1950", test::utc_time("500101000000Z"), {1950, 1, 1, 0, 0, 0}},
        DateCase{"UTCTime without Z", test::utc_time("000229120000"), {2000, 2, 29, 12, 0, 0}},
        DateCase{"GeneralizedTime", test::generalized_time("20500101000000Z"), {2050, 1, 1, 0, 0, 0}},
        DateCase{"year 0", test::generalized_time("00000101000000Z"), {0, 1, 1, 0, 0, 0}},
        DateCase{"leap day of a year divisible by 400", test::generalized_time("24000229000000Z"),
                 {2400, 2, 29, 0, 0, 0}},
        DateCase{"leap day 2024", test::utc_time("240229000000Z"), {2024, 2, 29, 0, 0, 0}}));

TEST(CertificateDates, RefusesInvalidDates)
{
    for (const Bytes& date :
         {test::utc_time("200230000000Z"), test::utc_time("230229000000Z"),
          test::generalized_time("21000229000000Z"), test::generalized_time("19000229000000Z"),
          test::utc_time("4912312359Z"), test::utc_time("491231235Z"), test::utc_time("200001000000Z"),
          test::utc_time("201301000000Z"), test::utc_time("200100000000Z"),
          test::utc_time("200131240000Z"), test::utc_time("200131236000Z"),
          test::utc_time("200131235960Z"), test::utc_time("200431000000Z"),
          test::utc_time("2001010000000Z"), test::utc_time("200101000000+0100"),
          test::utc_time("200101000000z"), test::utc_time("20010100000AZ"),
          test::utc_time("2001 1000000Z"), test::utc_time(""),
          test::generalized_time("200101000000Z"), test::generalized_time("20200101000000.5Z"),
          tlv(0x04, test::text("200101000000Z"))}) {
        const ParsedCertificate cert(with([&date](CertificateParts& p) {
            p.validity = test::validity(date, test::utc_time("300101000000Z"));
        }));
        EXPECT_EQ(cert.result, CERT_INVALID_FORMAT) << std::string(date.begin() + 2, date.end());
        const ParsedCertificate after(with([&date](CertificateParts& p) {
            p.validity = test::validity(test::utc_time("200101000000Z"), date);
        }));
        EXPECT_EQ(after.result, CERT_INVALID_FORMAT) << std::string(date.begin() + 2, date.end());
    }
}

struct ExtensionCase {
    const char* name;
    Bytes extensions;
    std::uint32_t mask;
    int isCa;
    int maxPathLength;
    std::uint32_t keyUsage;
};

class CertificateExtensions : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(CertificateExtensions, SetsFields)
{
    const ExtensionCase& c = GetParam();
    const ParsedCertificate cert(with([&c](CertificateParts& p) { p.extensions = c.extensions; }));
    ASSERT_EQ(cert.result, CERT_OK) << c.name;
    EXPECT_EQ(cert.record.extensionMask, c.mask) << c.name;
    EXPECT_EQ(cert.record.isCa, c.isCa) << c.name;
    EXPECT_EQ(cert.record.maxPathLength, c.maxPathLength) << c.name;
    EXPECT_EQ(cert.record.keyUsage, c.keyUsage) << c.name;
    EXPECT_EQ(cert.record.extensionsRaw.tag, 0xA3u);
    EXPECT_EQ(cert.record.extensionsRaw.length, c.extensions.size() - 2) << c.name;
}

const Bytes TRUE_{0x01, 0x01, 0xFF};
const Bytes FALSE_{0x01, 0x01, 0x00};
Bytes bc(const Bytes& content) { return test::extension(BASIC_CONSTRAINTS, tlv(0x30, content), true); }
Bytes ku(const Bytes& bits) { return test::extension(KEY_USAGE, tlv(0x03, bits), true); }

INSTANTIATE_TEST_SUITE_P(
    Kinds, CertificateExtensions,
    ::testing::Values(
        ExtensionCase{"empty list", test::extensions({}), 0, 0, 0, 0},
        ExtensionCase{"unrecognised critical", test::extensions({test::extension({0x2A, 0x03}, {0x05, 0x00}, true)}), 0, 0, 0, 0},
        ExtensionCase{"unrecognised 2.5.29 arc", test::extensions({test::extension({0x55, 0x1D, 0x11}, {0x30, 0x00})}), 0, 0, 0, 0},
        ExtensionCase{"basic constraints empty", test::extensions({bc({})}), EXT_BASIC_CONSTRAINTS, 0, 0, 0},
        ExtensionCase{"cA true", test::extensions({bc(TRUE_)}), EXT_BASIC_CONSTRAINTS, 1, 0, 0},
        ExtensionCase{"cA false", test::extensions({bc(FALSE_)}), EXT_BASIC_CONSTRAINTS, 0, 0, 0},
        ExtensionCase{"cA any nonzero byte", test::extensions({bc({0x01, 0x01, 0x01})}), EXT_BASIC_CONSTRAINTS, 1, 0, 0},
        ExtensionCase{"path length 0", test::extensions({bc(test::cat({TRUE_, tlv(0x02, {0x00})}))}), EXT_BASIC_CONSTRAINTS, 1, 1, 0},
        ExtensionCase{"largest path length", test::extensions({bc(test::cat({TRUE_, tlv(0x02, {0x7F, 0xFF, 0xFF, 0xFE})}))}),
                      EXT_BASIC_CONSTRAINTS, 1, 0x7FFFFFFF, 0},
        ExtensionCase{"cA written as INTEGER 1", test::extensions({bc(tlv(0x02, {0x01}))}), EXT_BASIC_CONSTRAINTS, 1, 0, 0},
        ExtensionCase{"cA written as INTEGER 0 with path length", test::extensions({bc(test::cat({tlv(0x02, {0x00}), tlv(0x02, {0x03})}))}),
                      EXT_BASIC_CONSTRAINTS, 0, 4, 0},
        ExtensionCase{"key usage one byte", test::extensions({ku({0x05, 0xA0})}), EXT_KEY_USAGE, 0, 0, 0xA0},
        ExtensionCase{"key usage two bytes", test::extensions({ku({0x07, 0x86, 0x80})}), EXT_KEY_USAGE, 0, 0, 0x8086},
        ExtensionCase{"key usage no bits", test::extensions({ku({0x00})}), EXT_KEY_USAGE, 0, 0, 0},
        ExtensionCase{"key usage beyond four bytes", test::extensions({ku({0x00, 0x01, 0x02, 0x03, 0x04, 0x05})}),
                      EXT_KEY_USAGE, 0, 0, 0x04030201},
        ExtensionCase{"all four", test::extensions({bc(TRUE_), ku({0x01, 0x06}), test::extension(SKI, tlv(0x04, {1, 2})),
                                                    test::extension(AKI, tlv(0x30, tlv(0x80, {3})))}),
                      EXT_BASIC_CONSTRAINTS | EXT_KEY_USAGE | EXT_SUBJECT_KEY_IDENTIFIER | EXT_AUTHORITY_KEY_IDENTIFIER, 1, 0, 0x06}));

TEST(CertificateKeyIdentifiers, SubjectAndAuthority)
{
    const Bytes authority = tlv(0x30, test::cat({tlv(0x80, {0xA1, 0xA2, 0xA3}),
                                                 tlv(0xA1, tlv(0xA4, test::common_name("CA"))),
                                                 tlv(0x82, {0x10, 0x01})}));
    const ParsedCertificate cert(with([&](CertificateParts& p) {
        p.extensions = test::extensions({test::extension(SKI, tlv(0x04, {0x51, 0x52})),
                                         test::extension(AKI, authority)});
    }));
    ASSERT_EQ(cert.result, CERT_OK);
    EXPECT_EQ(test::bytes_of(cert.record.subjectKeyId.p, cert.record.subjectKeyId.length), (Bytes{0x51, 0x52}));
    EXPECT_EQ(test::bytes_of(cert.record.authorityKeyId.p, cert.record.authorityKeyId.length),
              (Bytes{0xA1, 0xA2, 0xA3}));
    const ParsedCertificate none(with([](CertificateParts&) {}));
    EXPECT_EQ(none.record.subjectKeyId.length, 0u);
    EXPECT_EQ(none.record.authorityKeyId.p, nullptr);
}

struct RefusalCase {
    const char* name;
    std::function<void(CertificateParts&)> change;
    int expected;
};

class CertificateRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(CertificateRefusals, ReturnsCode)
{
    const ParsedCertificate cert(with(GetParam().change));
    EXPECT_EQ(cert.result, GetParam().expected) << GetParam().name;
    EXPECT_EQ(cert.record.issuerName.next, nullptr);
    EXPECT_EQ(cert.record.subjectName.next, nullptr);
}

Bytes rdn(const Bytes& type, std::uint8_t tag, const char* value)
{
    return tlv(0x31, tlv(0x30, test::cat({tlv(0x06, type), tlv(tag, test::text(value))})));
}

Bytes exts(std::initializer_list<Bytes> list) { return test::extensions(list); }

INSTANTIATE_TEST_SUITE_P(
    Structure, CertificateRefusals,
    ::testing::Values(
        RefusalCase{"version 4", [](CertificateParts& p) { p.version = tlv(0xA0, tlv(0x02, {0x03})); }, CERT_UNKNOWN_VERSION},
        RefusalCase{"largest version", [](CertificateParts& p) { p.version = tlv(0xA0, tlv(0x02, {0x7F, 0xFF, 0xFF, 0xFF})); },
                    CERT_UNKNOWN_VERSION},
        RefusalCase{"negative version", [](CertificateParts& p) { p.version = tlv(0xA0, tlv(0x02, {0xFF})); }, CERT_INVALID_FORMAT},
        RefusalCase{"5-byte version", [](CertificateParts& p) { p.version = tlv(0xA0, tlv(0x02, {0x01, 0, 0, 0, 2})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"empty version INTEGER", [](CertificateParts& p) { p.version = tlv(0xA0, tlv(0x02, {})); }, CERT_INVALID_FORMAT},
        RefusalCase{"version wrapper longer than INTEGER",
                    [](CertificateParts& p) { p.version = tlv(0xA0, test::cat({tlv(0x02, {0x02}), {0x00}})); }, CERT_INVALID_FORMAT},
        RefusalCase{"version not an INTEGER", [](CertificateParts& p) { p.version = tlv(0xA0, tlv(0x04, {0x02})); }, CERT_INVALID_FORMAT},
        RefusalCase{"serial as OCTET STRING", [](CertificateParts& p) { p.serial = tlv(0x04, {0x01}); }, CERT_INVALID_FORMAT},
        RefusalCase{"serial missing", [](CertificateParts& p) { p.serial.clear(); }, CERT_INVALID_FORMAT},
        RefusalCase{"inner algorithm without OID", [](CertificateParts& p) { p.signature = tlv(0x30, tlv(0x05, {})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"inner algorithm empty", [](CertificateParts& p) { p.signature = tlv(0x30, {}); }, CERT_INVALID_FORMAT},
        RefusalCase{"inner algorithm with two parameters",
                    [](CertificateParts& p) { p.signature = tlv(0x30, test::cat({test::oid({0x2A}), tlv(0x05, {}), tlv(0x05, {})})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"empty issuer", [](CertificateParts& p) { p.issuer = tlv(0x30, {}); }, CERT_INVALID_FORMAT},
        RefusalCase{"issuer as SET", [](CertificateParts& p) { p.issuer = tlv(0x31, {}); }, CERT_INVALID_FORMAT},
        RefusalCase{"OCTET STRING as name value", [](CertificateParts& p) { p.subject = test::name({{{O, 0x0C, "Org"}}, {{CN, 0x04, "x"}}}); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"empty RDN SET", [](CertificateParts& p) { p.subject = tlv(0x30, test::cat({tlv(0x31, {})})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"RDN as SEQUENCE", [](CertificateParts& p) { p.subject = tlv(0x30, tlv(0x30, tlv(0x30, test::cat({test::oid({0x55, 4, 3}), tlv(0x0C, {0x41})})))); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"attribute with a third element",
                    [](CertificateParts& p) { p.subject = tlv(0x30, tlv(0x31, tlv(0x30, test::cat({test::oid({0x55, 4, 3}), tlv(0x0C, {0x41}), tlv(0x0C, {0x42})})))); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"attribute without value", [](CertificateParts& p) { p.subject = tlv(0x30, tlv(0x31, tlv(0x30, test::oid({0x55, 4, 3})))); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"empty attribute", [](CertificateParts& p) { p.subject = tlv(0x30, tlv(0x31, tlv(0x30, {}))); }, CERT_INVALID_FORMAT},
        RefusalCase{"attribute type not an OID", [](CertificateParts& p) { p.subject = tlv(0x30, tlv(0x31, tlv(0x30, test::cat({tlv(0x0C, {0x41}), tlv(0x0C, {0x41})})))); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"third RDN broken after two good ones",
                    [](CertificateParts& p) { p.subject = tlv(0x30, test::cat({rdn(CN, 0x0C, "a"), rdn(O, 0x0C, "b"), rdn(OU, 0x04, "c")})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"multi-valued RDN broken in its second value",
                    [](CertificateParts& p) { p.subject = test::name({{{O, 0x0C, "Org"}}, {{CN, 0x0C, "a"}, {OU, 0x04, "b"}}}); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"validity empty", [](CertificateParts& p) { p.validity = tlv(0x30, {}); }, CERT_INVALID_FORMAT},
        RefusalCase{"validity with a third date",
                    [](CertificateParts& p) { p.validity = tlv(0x30, test::cat({test::utc_time("200101000000Z"), test::utc_time("300101000000Z"), test::utc_time("300101000000Z")})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"validity with one date", [](CertificateParts& p) { p.validity = tlv(0x30, test::utc_time("200101000000Z")); }, CERT_INVALID_FORMAT},
        RefusalCase{"key bits with unused bits", [](CertificateParts& p) { p.publicKeyInfo = tlv(0x30, test::cat({test::ecdsa_sha256(), tlv(0x03, {0x01, 0x04})})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"key bits empty", [](CertificateParts& p) { p.publicKeyInfo = tlv(0x30, test::cat({test::ecdsa_sha256(), tlv(0x03, {})})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"key info with trailing element",
                    [](CertificateParts& p) { p.publicKeyInfo = tlv(0x30, test::cat({test::ecdsa_sha256(), tlv(0x03, {0x00, 0x04}), tlv(0x05, {})})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"key info as OCTET STRING", [](CertificateParts& p) { p.publicKeyInfo = tlv(0x30, test::cat({test::ecdsa_sha256(), tlv(0x04, {0x00})})); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"extensions in v1", [](CertificateParts& p) { p.version.clear(); p.extensions = exts({}); }, CERT_INVALID_FORMAT},
        RefusalCase{"extensions in v2", [](CertificateParts& p) { p.version = tlv(0xA0, tlv(0x02, {0x01})); p.extensions = exts({}); },
                    CERT_INVALID_FORMAT},
        RefusalCase{"unique id in v1", [](CertificateParts& p) { p.version.clear(); p.uniqueIds = tlv(0xA1, {0x00}); }, CERT_INVALID_FORMAT},
        RefusalCase{"unique ids swapped", [](CertificateParts& p) { p.uniqueIds = test::cat({tlv(0xA2, {0x00}), tlv(0xA1, {0x00})}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"unique id with broken length", [](CertificateParts& p) { p.uniqueIds = {0xA1, 0x85, 0x00}; }, CERT_INVALID_FORMAT},
        RefusalCase{"bytes after the extensions", [](CertificateParts& p) { p.extensions = test::cat({exts({}), {0x05, 0x00}}); }, CERT_INVALID_FORMAT},
        RefusalCase{"outer algorithm missing", [](CertificateParts& p) { p.outerAlgorithm.clear(); }, CERT_INVALID_OUTER_ALGORITHM},
        RefusalCase{"outer algorithm not a SEQUENCE", [](CertificateParts& p) { p.outerAlgorithm = test::oid({0x2A}); }, CERT_INVALID_OUTER_ALGORITHM},
        RefusalCase{"outer algorithm differs", [](CertificateParts& p) { p.outerAlgorithm = tlv(0x30, test::oid({0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x03})); },
                    CERT_ALGORITHM_MISMATCH},
        RefusalCase{"outer algorithm with parameters", [](CertificateParts& p) { p.outerAlgorithm = tlv(0x30, test::cat({test::oid({0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02}), tlv(0x05, {})})); },
                    CERT_ALGORITHM_MISMATCH},
        RefusalCase{"parameters differ in bytes",
                    [](CertificateParts& p) { p.signature = tlv(0x30, test::cat({test::oid({0x2A}), tlv(0x04, {1})}));
                                              p.outerAlgorithm = tlv(0x30, test::cat({test::oid({0x2A}), tlv(0x04, {2})})); },
                    CERT_ALGORITHM_MISMATCH},
        RefusalCase{"parameters differ in tag",
                    [](CertificateParts& p) { p.signature = tlv(0x30, test::cat({test::oid({0x2A}), tlv(0x04, {1})}));
                                              p.outerAlgorithm = tlv(0x30, test::cat({test::oid({0x2A}), tlv(0x0C, {1})})); },
                    CERT_ALGORITHM_MISMATCH},
        RefusalCase{"OID differs in length", [](CertificateParts& p) { p.outerAlgorithm = tlv(0x30, test::oid({0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03})); },
                    CERT_ALGORITHM_MISMATCH},
        RefusalCase{"signature missing", [](CertificateParts& p) { p.signatureValue.clear(); }, CERT_INVALID_SIGNATURE},
        RefusalCase{"signature as OCTET STRING", [](CertificateParts& p) { p.signatureValue = tlv(0x04, {0x00, 0x01}); }, CERT_INVALID_SIGNATURE},
        RefusalCase{"signature empty", [](CertificateParts& p) { p.signatureValue = tlv(0x03, {}); }, CERT_INVALID_SIGNATURE},
        RefusalCase{"signature with unused bits", [](CertificateParts& p) { p.signatureValue = tlv(0x03, {0x01, 0x80}); }, CERT_INVALID_SIGNATURE},
        RefusalCase{"element after the signature", [](CertificateParts& p) { p.signatureValue = test::cat({tlv(0x03, {0x00, 0x01}), tlv(0x05, {})}); },
                    CERT_INVALID_FORMAT}));

INSTANTIATE_TEST_SUITE_P(
    Extensions, CertificateRefusals,
    ::testing::Values(
        RefusalCase{"two subject key identifiers",
                    [](CertificateParts& p) { p.extensions = exts({test::extension(SKI, tlv(0x04, {1})), test::extension(SKI, tlv(0x04, {1}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"two basic constraints", [](CertificateParts& p) { p.extensions = exts({bc({}), bc({})}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"two key usages", [](CertificateParts& p) { p.extensions = exts({ku({0x00}), ku({0x00})}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"two authority key identifiers",
                    [](CertificateParts& p) { const Bytes a = test::extension(AKI, tlv(0x30, tlv(0x80, {1}))); p.extensions = exts({a, a}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"empty wrapper", [](CertificateParts& p) { p.extensions = tlv(0xA3, {}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"wrapper with wrong tag", [](CertificateParts& p) { p.extensions = tlv(0xA4, tlv(0x30, {})); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"list shorter than wrapper", [](CertificateParts& p) { p.extensions = tlv(0xA3, test::cat({tlv(0x30, {}), {0x05, 0x00}})); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"list not a SEQUENCE", [](CertificateParts& p) { p.extensions = tlv(0xA3, tlv(0x31, {})); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"empty extension", [](CertificateParts& p) { p.extensions = exts({tlv(0x30, {})}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"extension without OID", [](CertificateParts& p) { p.extensions = exts({tlv(0x30, tlv(0x04, {}))}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"critical of two bytes",
                    [](CertificateParts& p) { p.extensions = exts({tlv(0x30, test::cat({test::oid({0x2A}), {0x01, 0x02, 0xFF, 0xFF}, tlv(0x04, {})}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"value not an OCTET STRING", [](CertificateParts& p) { p.extensions = exts({tlv(0x30, test::cat({test::oid({0x2A}), tlv(0x03, {0x00})}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"value not ending the extension",
                    [](CertificateParts& p) { p.extensions = exts({tlv(0x30, test::cat({test::oid({0x2A}), tlv(0x04, {}), {0x05, 0x00}}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"subject key identifier not an OCTET STRING", [](CertificateParts& p) { p.extensions = exts({test::extension(SKI, tlv(0x03, {0x00}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"subject key identifier with trailing bytes",
                    [](CertificateParts& p) { p.extensions = exts({test::extension(SKI, test::cat({tlv(0x04, {1}), {0x00}}))}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"authority key identifier without keyIdentifier",
                    [](CertificateParts& p) { p.extensions = exts({test::extension(AKI, tlv(0x30, tlv(0x82, {0x01})))}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"authority key identifier empty", [](CertificateParts& p) { p.extensions = exts({test::extension(AKI, tlv(0x30, {}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"key usage with 8 unused bits", [](CertificateParts& p) { p.extensions = exts({ku({0x08, 0x80})}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"key usage empty", [](CertificateParts& p) { p.extensions = exts({ku({})}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"key usage with trailing bytes",
                    [](CertificateParts& p) { p.extensions = exts({test::extension(KEY_USAGE, test::cat({tlv(0x03, {0x00}), {0x00}}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"path length 2^31 - 1",
                    [](CertificateParts& p) { p.extensions = exts({bc(test::cat({TRUE_, tlv(0x02, {0x7F, 0xFF, 0xFF, 0xFF})}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"negative path length", [](CertificateParts& p) { p.extensions = exts({bc(test::cat({TRUE_, tlv(0x02, {0xFF})}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"element after path length",
                    [](CertificateParts& p) { p.extensions = exts({bc(test::cat({TRUE_, tlv(0x02, {0x01}), tlv(0x02, {0x01})}))}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"cA of two bytes", [](CertificateParts& p) { p.extensions = exts({bc({0x01, 0x02, 0xFF, 0xFF})}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"cA of another type", [](CertificateParts& p) { p.extensions = exts({bc(tlv(0x04, {0x01}))}); }, CERT_INVALID_EXTENSIONS},
        RefusalCase{"basic constraints not a SEQUENCE", [](CertificateParts& p) { p.extensions = exts({test::extension(BASIC_CONSTRAINTS, TRUE_)}); },
                    CERT_INVALID_EXTENSIONS},
        RefusalCase{"basic constraints with trailing bytes",
                    [](CertificateParts& p) { p.extensions = exts({test::extension(BASIC_CONSTRAINTS, test::cat({tlv(0x30, {}), {0x00}}))}); },
                    CERT_INVALID_EXTENSIONS}));

TEST(CertificateRefusals, MissingInput)
{
    const Bytes der = test::build(base());
    CertificateRecord record{};
    EXPECT_EQ(parse_certificate(nullptr, der.data(), der.size()), CERT_MISSING_INPUT);
    EXPECT_EQ(parse_certificate(&record, nullptr, der.size()), CERT_MISSING_INPUT);
    EXPECT_EQ(parse_certificate(&record, der.data(), 0), CERT_MISSING_INPUT);
}

TEST(CertificateRefusals, EveryTruncationIsRefused)
{
    const Bytes der = test::build(base());
    for (std::size_t length = 1; length < der.size(); ++length) {
        const ParsedCertificate cert(Bytes(der.begin(), der.begin() + static_cast<std::ptrdiff_t>(length)));
        EXPECT_EQ(cert.result, CERT_INVALID_FORMAT) << length;
    }
}

TEST(CertificateRefusals, OuterSequenceMustFit)
{
    for (const Bytes& der : {Bytes{0x31, 0x00}, Bytes{0x30, 0x80}, Bytes{0x30, 0x85, 0, 0, 0, 0, 1},
                             Bytes{0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, Bytes{0x30}, Bytes{0x30, 0x00}}) {
        const ParsedCertificate cert(der);
        EXPECT_EQ(cert.result, CERT_INVALID_FORMAT);
    }
}

TEST(Certificate, RecordIsClearedBeforeParsing)
{
    const Bytes der = with([](CertificateParts& p) { p.extensions = exts({bc(TRUE_)}); });
    CertificateRecord record;
    std::memset(&record, 0xA5, sizeof record);
    ASSERT_EQ(parse_certificate(&record, der.data(), der.size()), CERT_OK);
    EXPECT_EQ(record.extensionMask, EXT_BASIC_CONSTRAINTS);
    EXPECT_EQ(record.keyUsage, 0u);
    EXPECT_EQ(record.issuerUniqueId.p, nullptr);
    free_certificate_names(record);
}

TEST(CertificateRecordLayout, FixedSizes)
{
    EXPECT_EQ(sizeof(CertificateRecord), 512u);
    EXPECT_EQ(sizeof(NameNode), 64u);
    EXPECT_EQ(sizeof(DerBuffer), 24u);
}

}  // namespace
}  // namespace vlrp11
