// The curve encodings against OpenSSL: the explicit P-curve parameters as OpenSSL writes them,
// and the DSTU 4145 ECBinary forms assembled here from the published curves with OpenSSL's
// GF(2^m) arithmetic; then curve matching over OIDs, explicit forms and DSTU parameter blocks.
#include "objects/curve_parameters.h"
#include "objects/support/der_builder.h"
#include "support/hex.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/obj_mac.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace vlrp11 {
namespace {

using test::Bytes;
using test::cat;
using test::from_hex;
using test::tlv;

Bytes nist_form(CurveId id, FieldElementForm form)
{
    Bytes out(EXPLICIT_PARAMETERS_MAX_BYTES);
    out.resize(nist_explicit_parameters(id, form, out.data()));
    return out;
}

Bytes dstu_form(CurveId id)
{
    Bytes out(EXPLICIT_PARAMETERS_MAX_BYTES);
    out.resize(dstu_binary_parameters(id, out.data()));
    return out;
}

Bytes openssl_explicit(int nid)
{
    EC_GROUP* group = EC_GROUP_new_by_curve_name(nid);
    EC_GROUP_set_asn1_flag(group, OPENSSL_EC_EXPLICIT_CURVE);
    unsigned char* der = nullptr;
    int length = i2d_ECPKParameters(group, &der);
    Bytes out(der, der + std::max(length, 0));
    OPENSSL_free(der);
    EC_GROUP_free(group);
    return out;
}

// The der lines of tests/vectors/ec_explicit_params.txt, in file order (P-256, P-384, P-521).
std::vector<Bytes> vector_file_forms()
{
    std::ifstream file(VLRP11_VECTORS_DIR "/ec_explicit_params.txt");
    std::vector<Bytes> forms;
    for (std::string line; std::getline(file, line);)
        if (line.rfind("der = ", 0) == 0)
            forms.push_back(from_hex(line.substr(6)));
    return forms;
}

struct NistCase {
    CurveId id;
    int nid;
    std::size_t length;
};
constexpr NistCase nist_cases[] = {
    {CURVE_P256, NID_X9_62_prime256v1, 250},
    {CURVE_P384, NID_secp384r1, 347},
    {CURVE_P521, NID_secp521r1, 455},
};

TEST(CurveEncodings, ExplicitPrimeCurvesAreWhatOpenSslWrites)
{
    std::vector<Bytes> published = vector_file_forms();
    ASSERT_EQ(published.size(), 3u);
    for (std::size_t i = 0; i < std::size(nist_cases); ++i) {
        const NistCase& c = nist_cases[i];
        Bytes ours = nist_form(c.id, FieldElementForm::full);
        EXPECT_EQ(ours.size(), c.length);
        EXPECT_EQ(ours, openssl_explicit(c.nid)) << c.id;
        EXPECT_EQ(ours, published[i]) << c.id;
    }
}

TEST(CurveEncodings, ShortP521FormDropsOnlyTheLeadingZeroOfB)
{
    Bytes minimal = nist_form(CURVE_P521, FieldElementForm::minimal_b);
    ASSERT_EQ(minimal.size(), 454u);
    const unsigned char* cursor = minimal.data();
    EC_GROUP* parsed = d2i_ECPKParameters(nullptr, &cursor, static_cast<long>(minimal.size()));
    ASSERT_NE(parsed, nullptr);
    EC_GROUP* p521 = EC_GROUP_new_by_curve_name(NID_secp521r1);
    EXPECT_EQ(EC_GROUP_cmp(parsed, p521, nullptr), 0);
    EC_GROUP_free(parsed);
    EC_GROUP_free(p521);
    EXPECT_EQ(nist_form(CURVE_P256, FieldElementForm::minimal_b), nist_form(CURVE_P256, FieldElementForm::full));
}

// The published DSTU 4145 curves (tests/vectors/dstu4145_curves.txt, curves 5..9).
struct DstuCase {
    CurveId id;
    std::size_t length;
    int m;
    std::vector<int> terms;  // middle exponents, ascending
    int a;
    const char* b;
    const char* n;
    const char* gx;
    const char* gy;
};

const DstuCase dstu_cases[] = {
    {CURVE_DSTU_233, 118, 233, {1, 4, 9}, 1, "6973B15095675534C7CF7E64A21BD54EF5DD3B8A0326AA936ECE454D2C",
     "1000000000000000000000000000013E974E72F8A6922031D2603CFE0D7",
     "3FCDA526B6CDF83BA1118DF35B3C31761D3545F32728D003EEB25EFE96",
     "9CA8B57A934C54DEEDA9E54A7BBAD95E3B2E91C54D32BE0B9DF96D8D35"},
    {CURVE_DSTU_257, 119, 257, {12}, 0, "1CEF494720115657E18F938D7A7942394FF9425C1458C57861F9EEA6ADBE3BE10",
     "800000000000000000000000000000006759213AF182E987D3E17714907D470D",
     "2A29EF207D0E9B6C55CD260B306C7E007AC491CA1B10C62334A9E8DCD8D20FB7",
     "10686D41FF744D4449FCCF6D8EEA03102E6812C93A9D60B978B702CF156D814EF"},
    {CURVE_DSTU_307, 146, 307, {2, 4, 8}, 1,
     "393C7F7D53666B5054B5E6C6D3DE94F4296C0C599E2E2E241050DF18B6090BDC90186904968BB",
     "3FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFC079C2F3825DA70D390FBBA588D4604022B7B7",
     "216EE8B189D291A0224984C1E92F1D16BF75CCD825A087A239B276D3167743C52C02D6E7232AA",
     "5D9306BACD22B7FAEB09D2E049C6E2866C5D1677762A8F2F2DC9A11C7F7BE8340AB2237C7F2A0"},
    {CURVE_DSTU_367, 159, 367, {21}, 1,
     "43FC8AD242B0B7A6F3D1627AD5654447556B47BF6AA4A64B0C2AFE42CADAB8F93D92394C79A79755437B56995136",
     "40000000000000000000000000000000000000000000009C300B75A3FA824F22428FD28CE8812245EF44049B2D49",
     "324A6EDDD512F08C49A99AE0D3F961197A76413E7BE81A400CA681E09639B5FE12E59A109F78BF4A373541B3B9A1",
     "1AB597A5B4477F59E39539007C7F977D1A567B92B043A49C6B61984C3FE3481AAF454CD41BA1F051626442B3C10"},
    {CURVE_DSTU_431, 191, 431, {1, 3, 5}, 1,
     "3CE10490F6A708FC26DFE8C3D27C4F94E690134D5BFF988D8D28AAEAEDE975936C66BAC536B18AE2DC312CA493117DAA469C640CAF3",
     "3FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFBA3175458009A8C0A724F02F81AA8A1FCBAF80D90C7A95110504CF",
     "1A62BA79D98133A16BBAE7ED9A8E03C32E0824D57AEF72F88986874E5AAE49C27BED49A2A95058068426C2171E99FD3B43C5947C857D",
     "70B5E1E14031C1F70BBEFE96BDDE66F451754B4CA5F48DA241F331AA396B8D1839A855C1769B1EA14BA53308B5E2723724E090E02DB9"},
};

BIGNUM* bn(const char* hex)
{
    BIGNUM* value = nullptr;
    BN_hex2bn(&value, hex);
    return value;
}

Bytes big_endian(const BIGNUM* value, int length)
{
    Bytes out(static_cast<std::size_t>(length));
    BN_bn2binpad(value, out.data(), length);
    return out;
}

Bytes der_integer(const BIGNUM* value)
{
    Bytes bytes = big_endian(value, BN_num_bytes(value));
    if (bytes.empty() || (bytes[0] & 0x80) != 0)
        bytes.insert(bytes.begin(), 0);
    return tlv(0x02, bytes);
}

Bytes small_integer(int value)
{
    BIGNUM* number = BN_new();
    BN_set_word(number, static_cast<BN_ULONG>(value));
    Bytes out = der_integer(number);
    BN_free(number);
    return out;
}

// ECBinary from the published values: the base point compressed as the standard does it, x with
// its lowest bit replaced by Tr(y / x), computed with OpenSSL's GF(2^m) arithmetic.
Bytes expected_binary(const DstuCase& c)
{
    BN_CTX* ctx = BN_CTX_new();
    int poly[6] = {c.m};
    for (std::size_t i = 0; i < c.terms.size(); ++i)
        poly[1 + i] = c.terms[c.terms.size() - 1 - i];
    poly[1 + c.terms.size()] = 0;
    poly[2 + c.terms.size()] = -1;
    BIGNUM* x = bn(c.gx);
    BIGNUM* y = bn(c.gy);
    BIGNUM* z = BN_new();
    BIGNUM* power = BN_new();
    BIGNUM* trace = BN_new();
    BIGNUM* modulus = BN_new();
    BN_GF2m_arr2poly(poly, modulus);
    BN_GF2m_mod_div(z, y, x, modulus, ctx);
    BN_copy(power, z);
    BN_copy(trace, z);
    for (int i = 1; i < c.m; ++i) {
        BN_GF2m_mod_sqr_arr(power, power, poly, ctx);
        BN_GF2m_add(trace, trace, power);
    }
    const int element = (c.m + 7) / 8;
    Bytes base = big_endian(x, element);
    base.back() = static_cast<std::uint8_t>((base.back() & 0xFE) | (BN_is_one(trace) ? 1 : 0));

    Bytes field = small_integer(c.m);
    if (c.terms.size() == 1) {
        field = cat({field, small_integer(c.terms[0])});
    } else {
        field = cat({field, tlv(0x30, cat({small_integer(c.terms[0]), small_integer(c.terms[1]),
                                             small_integer(c.terms[2])}))});
    }
    BIGNUM* b = bn(c.b);
    BIGNUM* n = bn(c.n);
    Bytes out = tlv(0x30, cat({tlv(0x30, field), small_integer(c.a), tlv(0x04, big_endian(b, element)),
                               der_integer(n), tlv(0x04, base)}));
    for (BIGNUM* value : {x, y, z, power, trace, modulus, b, n})
        BN_free(value);
    BN_CTX_free(ctx);
    return out;
}

TEST(CurveEncodings, DstuBinaryFormsFollowThePublishedCurves)
{
    for (const DstuCase& c : dstu_cases) {
        Bytes ours = dstu_form(c.id);
        EXPECT_EQ(ours.size(), c.length) << c.m;
        EXPECT_EQ(ours, expected_binary(c)) << c.m;
    }
}

Bytes dstu_oid(int arc)
{
    Bytes oid = from_hex("060D2A862402010101010301010200");
    oid.back() = static_cast<std::uint8_t>(arc);
    return oid;
}

const Bytes default_dke = from_hex(
    "a9d6eb45f13c708280c4967b231f5eadf658eba4c037291d38d96bf025ca4e17f8e9720dc615b43a28975f0bc1dea36438b564ea2c179fd"
    "0123e6db8fac57904");

Bytes with_extra(Bytes bytes, std::size_t extra)
{
    bytes.insert(bytes.end(), extra, 0x5A);
    return bytes;
}

Bytes cut(Bytes bytes, std::size_t drop)
{
    bytes.resize(bytes.size() - drop);
    return bytes;
}

TEST(CurveMatching, PrimeCurveForms)
{
    struct Case {
        const char* what;
        Bytes params;
        std::uint16_t curve;
    };
    const Case cases[] = {
        {"P-256 OID", from_hex("06082A8648CE3D030107"), CURVE_P256},
        {"P-256 OID cut", from_hex("06082A8648CE3D0301"), 0},
        {"P-384 OID", from_hex("06052B81040022"), CURVE_P384},
        {"P-384 OID and extra bytes", from_hex("06052B81040022DEADBEEF"), CURVE_P384},
        {"P-521 OID", from_hex("06052B81040023"), CURVE_P521},
        {"short", from_hex("06052B8104"), 0},
        {"other OID", from_hex("06052B81040021"), 0},
        {"explicit P-256", openssl_explicit(NID_X9_62_prime256v1), CURVE_P256},
        {"explicit P-384 and extra", with_extra(openssl_explicit(NID_secp384r1), 3), CURVE_P384},
        {"explicit P-521 as OpenSSL writes it", openssl_explicit(NID_secp521r1), CURVE_P521},
        {"explicit P-521 without b's zero", nist_form(CURVE_P521, FieldElementForm::minimal_b), CURVE_P521},
        {"explicit P-256 cut by one", cut(openssl_explicit(NID_X9_62_prime256v1), 1), 0},
        {"explicit P-521 cut by one", cut(openssl_explicit(NID_secp521r1), 1), 0},
        {"explicit P-192", openssl_explicit(NID_X9_62_prime192v1), 0},
        {"empty", {}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(match_nist_curve(c.params.data(), c.params.size()), c.curve) << c.what;
    EXPECT_EQ(match_nist_curve(nullptr, 10), 0);
}

TEST(CurveMatching, DstuForms)
{
    Bytes other_dke = default_dke;
    other_dke[63] ^= 1;
    struct Case {
        const char* what;
        Bytes params;
        std::uint16_t curve;
    };
    const Case cases[] = {
        {"OID of m = 233", dstu_oid(5), CURVE_DSTU_233},
        {"OID of m = 431", dstu_oid(9), CURVE_DSTU_431},
        {"OID of m = 163", dstu_oid(0), 0},
        {"OID cut to 14 bytes", cut(dstu_oid(6), 1), 0},
        {"ECBinary of m = 307", dstu_form(CURVE_DSTU_307), CURVE_DSTU_307},
        {"ECBinary of m = 367 cut", cut(dstu_form(CURVE_DSTU_367), 1), 0},
        {"SEQUENCE of the OID", tlv(0x30, dstu_oid(6)), CURVE_DSTU_257},
        {"SEQUENCE, OID, default DKE", tlv(0x30, cat({dstu_oid(6), tlv(0x04, default_dke)})), CURVE_DSTU_257},
        {"SEQUENCE, OID, other DKE", tlv(0x30, cat({dstu_oid(6), tlv(0x04, other_dke)})), 0},
        {"SEQUENCE, ECBinary, default DKE", tlv(0x30, cat({dstu_form(CURVE_DSTU_431), tlv(0x04, default_dke)})),
         CURVE_DSTU_431},
        {"SEQUENCE, ECBinary, other DKE", tlv(0x30, cat({dstu_form(CURVE_DSTU_431), tlv(0x04, other_dke)})), 0},
        // The DKE header inside the SEQUENCE, its bytes outside it: nothing is read past the end.
        {"DKE past the SEQUENCE", cat({from_hex("3011"), dstu_oid(6), from_hex("0440"), cut(default_dke, 0)}), 0},
        {"DKE cut short", tlv(0x30, cat({dstu_oid(6), from_hex("0440"), cut(default_dke, 10)})), 0},
        {"SEQUENCE longer than the input", cut(tlv(0x30, cat({dstu_oid(6), tlv(0x04, default_dke)})), 1), 0},
        {"SEQUENCE, OID, other element", tlv(0x30, cat({dstu_oid(7), from_hex("0500")})), CURVE_DSTU_307},
        {"empty", {}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(match_dstu_curve(c.params.data(), c.params.size()), c.curve) << c.what;
    EXPECT_EQ(match_dstu_curve(nullptr, 20), 0);
}

}  // namespace
}  // namespace vlrp11
