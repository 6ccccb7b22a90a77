// Every field the certificate reader records, compared with what OpenSSL's X.509 parser finds in
// the same certificates.
#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>
#include <span>
#include <vector>

#include "objects/certificate.h"
#include "objects/support/der_builder.h"
#include "objects/support/openssl_certificates.h"
#include "objects/support/parsed_certificate.h"

namespace vlrp11 {
namespace {

using test::Bytes;

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};

template <typename T, typename Encode>
Bytes encode(T* value, Encode i2d)
{
    const int length = i2d(value, nullptr);
    Bytes out(static_cast<std::size_t>(length > 0 ? length : 0));
    unsigned char* p = out.data();
    i2d(value, &p);
    return out;
}

Bytes string_bytes(const ASN1_STRING* s)
{
    return s == nullptr ? Bytes{} : Bytes(ASN1_STRING_get0_data(s), ASN1_STRING_get0_data(s) + ASN1_STRING_length(s));
}

std::array<int, 6> time_of(const ASN1_TIME* time)
{
    std::tm tm{};
    EXPECT_EQ(ASN1_TIME_to_tm(time, &tm), 1);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::array<int, 6> date_of(const CertificateDate& d)
{
    return {d.year, d.month, d.day, d.hour, d.minute, d.second};
}

void expect_same_name(const X509_NAME* name, const NameNode& first)
{
    const std::vector<const NameNode*> nodes = test::name_nodes(first);
    ASSERT_EQ(nodes.size(), static_cast<std::size_t>(X509_NAME_entry_count(name)));
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const X509_NAME_ENTRY* const entry = X509_NAME_get_entry(name, static_cast<int>(i));
        const ASN1_OBJECT* const type = X509_NAME_ENTRY_get_object(entry);
        EXPECT_EQ(test::bytes_of(nodes[i]->type.p, nodes[i]->type.length),
                  Bytes(OBJ_get0_data(type), OBJ_get0_data(type) + OBJ_length(type)));
        const ASN1_STRING* const value = X509_NAME_ENTRY_get_data(entry);
        EXPECT_EQ(test::bytes_of(nodes[i]->value.p, nodes[i]->value.length), string_bytes(value));
        EXPECT_EQ(static_cast<int>(nodes[i]->value.tag), ASN1_STRING_type(value));
        const bool same_rdn = i + 1 < nodes.size() &&
                              X509_NAME_ENTRY_set(X509_NAME_get_entry(name, static_cast<int>(i + 1))) ==
                                  X509_NAME_ENTRY_set(entry);
        EXPECT_EQ(nodes[i]->sameRdn, same_rdn ? 1 : 0) << i;
    }
}

class OracleCertificate : public ::testing::TestWithParam<std::span<const std::uint8_t>> {};

TEST_P(OracleCertificate, EveryFieldMatchesOpenssl)
{
    const Bytes der(GetParam().begin(), GetParam().end());
    const unsigned char* p = der.data();
    const std::unique_ptr<X509, X509Free> x(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    ASSERT_NE(x, nullptr);
    const test::ParsedCertificate cert(der);
    ASSERT_EQ(cert.result, CERT_OK);
    const CertificateRecord& r = cert.record;

    EXPECT_EQ(r.version, X509_get_version(x.get()) + 1);
    EXPECT_EQ(test::tlv(static_cast<std::uint8_t>(r.serial.tag), test::bytes_of(r.serial.p, r.serial.length)),
              encode(const_cast<ASN1_INTEGER*>(X509_get0_serialNumber(x.get())), i2d_ASN1_INTEGER));
    EXPECT_EQ(test::bytes_of(r.issuerRaw.p, r.issuerRaw.length), encode(X509_get_issuer_name(x.get()), i2d_X509_NAME));
    EXPECT_EQ(test::bytes_of(r.subjectRaw.p, r.subjectRaw.length), encode(X509_get_subject_name(x.get()), i2d_X509_NAME));
    expect_same_name(X509_get_issuer_name(x.get()), r.issuerName);
    expect_same_name(X509_get_subject_name(x.get()), r.subjectName);
    EXPECT_EQ(date_of(r.validFrom), time_of(X509_get0_notBefore(x.get())));
    EXPECT_EQ(date_of(r.validTo), time_of(X509_get0_notAfter(x.get())));
    EXPECT_EQ(test::bytes_of(r.publicKeyInfoRaw.p, r.publicKeyInfoRaw.length),
              encode(X509_get_X509_PUBKEY(x.get()), i2d_X509_PUBKEY));
    EXPECT_EQ(test::bytes_of(r.tbs.p, r.tbs.length), encode(x.get(), i2d_re_X509_tbs));

    const ASN1_BIT_STRING* signature = nullptr;
    const X509_ALGOR* algorithm = nullptr;
    X509_get0_signature(&signature, &algorithm, x.get());
    EXPECT_EQ(test::bytes_of(r.signature.p, r.signature.length), string_bytes(signature));
    const ASN1_OBJECT* algorithm_oid = nullptr;
    X509_ALGOR_get0(&algorithm_oid, nullptr, nullptr, algorithm);
    EXPECT_EQ(test::bytes_of(r.signatureOid.p, r.signatureOid.length),
              Bytes(OBJ_get0_data(algorithm_oid), OBJ_get0_data(algorithm_oid) + OBJ_length(algorithm_oid)));

    const auto has = [&x](int nid) { return X509_get_ext_by_NID(x.get(), nid, -1) >= 0; };
    EXPECT_EQ(r.extensionMask, (has(NID_authority_key_identifier) ? EXT_AUTHORITY_KEY_IDENTIFIER : 0u) |
                                   (has(NID_subject_key_identifier) ? EXT_SUBJECT_KEY_IDENTIFIER : 0u) |
                                   (has(NID_key_usage) ? EXT_KEY_USAGE : 0u) |
                                   (has(NID_basic_constraints) ? EXT_BASIC_CONSTRAINTS : 0u));
    EXPECT_EQ(test::bytes_of(r.subjectKeyId.p, r.subjectKeyId.length), string_bytes(X509_get0_subject_key_id(x.get())));
    EXPECT_EQ(test::bytes_of(r.authorityKeyId.p, r.authorityKeyId.length), string_bytes(X509_get0_authority_key_id(x.get())));
    // OpenSSL packs key usage the same way: first byte low, second byte next.
    EXPECT_EQ(r.keyUsage, has(NID_key_usage) ? X509_get_key_usage(x.get()) : 0u);
    EXPECT_EQ(r.isCa, (X509_get_extension_flags(x.get()) & EXFLAG_CA) != 0 && has(NID_basic_constraints) ? 1 : 0);
    EXPECT_EQ(r.maxPathLength, X509_get_pathlen(x.get()) + 1);
}

INSTANTIATE_TEST_SUITE_P(MadeByOpenssl, OracleCertificate,
                         ::testing::Values(std::span<const std::uint8_t>(test::CERT_RSA_V3),
                                           std::span<const std::uint8_t>(test::CERT_EC_V1),
                                           std::span<const std::uint8_t>(test::CERT_EC_MULTI_RDN),
                                           std::span<const std::uint8_t>(test::CERT_CA_PATH),
                                           std::span<const std::uint8_t>(test::CERT_LEAF_GENERALIZED)));

}  // namespace
}  // namespace vlrp11
