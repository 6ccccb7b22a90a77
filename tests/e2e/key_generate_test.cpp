// Key generation against the simulator's device core: key pairs on every kind of device and
// curve, their public points checked with OpenSSL, the device model's limits, and session
// secret keys from the device's random bytes.
#include "support/device_objects.h"
#include "support/logged_in_token.h"

#include "crypto/ec_curve.h"
#include "device/command_codes.h"
#include "objects/key_generate.h"
#include "objects/key_kinds.h"
#include "objects/object_record.h"

#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/ec.h>

#include <cstring>
#include <string>

namespace vlrp11::testing {
namespace {

ObjectHeader key_header(std::uint8_t kind, std::uint16_t parameter)
{
    ObjectHeader header{};
    header.keyKind = kind;
    header.length[0] = static_cast<std::uint8_t>(parameter);
    header.length[1] = static_cast<std::uint8_t>(parameter >> 8);
    return header;
}

// The point of CKA_EC_POINT lies on the curve CKA_EC_PARAMS names, as OpenSSL reads both.
void expect_prime_point(const Bytes& params, const Bytes& point_der)
{
    const unsigned char* cursor = params.data();
    EC_GROUP* group = d2i_ECPKParameters(nullptr, &cursor, static_cast<long>(params.size()));
    ASSERT_NE(group, nullptr);
    cursor = point_der.data();
    ASN1_OCTET_STRING* octets = d2i_ASN1_OCTET_STRING(nullptr, &cursor, static_cast<long>(point_der.size()));
    ASSERT_NE(octets, nullptr);
    EXPECT_EQ(cursor, point_der.data() + point_der.size());
    EC_POINT* point = EC_POINT_new(group);
    EXPECT_EQ(EC_POINT_oct2point(group, point, ASN1_STRING_get0_data(octets), ASN1_STRING_length(octets), nullptr), 1);
    EXPECT_EQ(EC_POINT_is_on_curve(group, point, nullptr), 1);
    EC_POINT_free(point);
    ASN1_OCTET_STRING_free(octets);
    EC_GROUP_free(group);
}

BIGNUM* to_bn(const Limb* limbs, std::size_t bits)
{
    Bytes bytes((bits + 7) / 8);
    native_to_bytes(bytes.data(), bytes.size(), limbs);
    return BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr);
}

bool trace_is_one(const BIGNUM* value, const int* poly, int m, BN_CTX* ctx)
{
    BIGNUM* power = BN_dup(value);
    BIGNUM* sum = BN_dup(value);
    for (int i = 1; i < m; ++i) {
        BN_GF2m_mod_sqr_arr(power, power, poly, ctx);
        BN_GF2m_add(sum, sum, power);
    }
    bool one = BN_is_one(sum);
    BN_free(power);
    BN_free(sum);
    return one;
}

// A compressed DSTU 4145 point (x with its last bit replaced) is a point of the curve when, with
// the bit that makes Tr(x) = Tr(a), z² + z = x + a + b / x² has a solution: Tr(x + a + b / x²) = 0.
void expect_dstu_point(const CurveDescriptor& curve, const Bytes& point_der)
{
    const std::size_t length = (curve.field_bits + 7) / 8;
    ASSERT_EQ(point_der.size(), 2 + length);
    EXPECT_EQ(point_der[0], 0x04);
    EXPECT_EQ(point_der[1], length);
    int poly[6] = {static_cast<int>(curve.modulus[0])};
    int terms = 1;
    for (int t = 1; t < 4 && curve.modulus[t] != 0; ++t)
        poly[terms++] = static_cast<int>(curve.modulus[t]);
    poly[terms++] = 0;
    poly[terms] = -1;
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* a = BN_new();
    BN_set_word(a, curve.a_flag);
    BIGNUM* b = to_bn(curve.b, curve.field_bits);
    BIGNUM* x = BN_bin2bn(point_der.data() + 2, static_cast<int>(length), nullptr);
    if (trace_is_one(x, poly, poly[0], ctx) != trace_is_one(a, poly, poly[0], ctx)) {
        if (BN_is_bit_set(x, 0))
            BN_clear_bit(x, 0);
        else
            BN_set_bit(x, 0);
    }
    BIGNUM* w = BN_new();
    BIGNUM* square = BN_new();
    BN_GF2m_mod_sqr_arr(square, x, poly, ctx);
    BN_GF2m_mod_div_arr(w, b, square, poly, ctx);
    BN_GF2m_add(w, w, x);
    BN_GF2m_add(w, w, a);
    EXPECT_FALSE(trace_is_one(w, poly, poly[0], ctx));
    for (BIGNUM* value : {a, b, x, w, square})
        BN_free(value);
    BN_CTX_free(ctx);
}

const CurveDescriptor* dstu_curve(std::uint16_t id)
{
    static const CurveDescriptor* const curves[] = {&EC_DSTU4145_233, &EC_DSTU4145_257, &EC_DSTU4145_307,
                                                    &EC_DSTU4145_367, &EC_DSTU4145_431};
    return curves[id - CURVE_DSTU_233];
}

struct KeyPairCase {
    std::uint8_t kind;
    std::uint16_t parameter;
};

constexpr KeyPairCase key_pair_cases[] = {
    {KEY_KIND_EC, CURVE_P256},           {KEY_KIND_EC, CURVE_P384},           {KEY_KIND_EC, CURVE_P521},
    {KEY_KIND_DSTU4145_FIRST, CURVE_DSTU_233}, {KEY_KIND_DSTU4145_FIRST, CURVE_DSTU_257},
    {KEY_KIND_DSTU4145_FIRST, CURVE_DSTU_307}, {KEY_KIND_DSTU4145_FIRST, CURVE_DSTU_367},
    {KEY_KIND_DSTU4145_FIRST, CURVE_DSTU_431}, {KEY_KIND_RSA_GENERATED, 1024},
    {KEY_KIND_RSA_GENERATED, 2048},
};

using KeyGeneration = DeviceObjects;

TEST_P(KeyGeneration, KeyPairsOnEveryCurveHoldPointsOfTheirCurve)
{
    for (const KeyPairCase& c : key_pair_cases) {
        SCOPED_TRACE(std::to_string(c.kind) + "/" + std::to_string(c.parameter));
        CK_OBJECT_HANDLE private_handle = 0, public_handle = 0;
        ASSERT_EQ(generate_key_pair(context(), deviceError, key_header(c.kind, c.parameter), private_handle,
                                    public_handle),
                  CKR_OK);
        EXPECT_EQ(public_handle, private_handle | PUBLIC_VIEW_BIT);
        const ObjectRecord& record = *tokens[private_handle - 1];
        EXPECT_EQ(record.objectClass, CKO_PRIVATE_KEY);
        EXPECT_EQ(header_parameter(record.header), c.parameter);
        EXPECT_EQ(record.header.flags & KEY_FLAG_LOCAL, KEY_FLAG_LOCAL);
        EXPECT_EQ(record.cacheKind, CACHE_PUBLIC_KEY);

        // The public key came with the generation: reading it sends nothing.
        CommandRecorder recorder(*connection);
        if (c.kind == KEY_KIND_EC) {
            expect_prime_point(attribute(public_handle, CKA_EC_PARAMS), attribute(public_handle, CKA_EC_POINT));
        } else if (c.kind == KEY_KIND_DSTU4145_FIRST) {
            expect_dstu_point(*dstu_curve(c.parameter), attribute(public_handle, CKA_EC_POINT));
        } else {
            Bytes bits = attribute(public_handle, CKA_MODULUS_BITS);
            CK_ULONG value = 0;
            std::memcpy(&value, bits.data(), sizeof value);
            EXPECT_EQ(value, c.parameter);
            EXPECT_EQ(attribute(public_handle, CKA_PUBLIC_EXPONENT), Bytes({0x01, 0x00, 0x01}));
        }
        EXPECT_TRUE(recorder.sent.empty());
    }
    // Each pair took the lowest free entry, and the device lists them as keys.
    ASSERT_EQ(reload(), std::size(key_pair_cases));
    Directory listing = directory();
    for (unsigned i = 0; i < std::size(key_pair_cases); ++i)
        EXPECT_EQ(listing.entries[i].state, 0x33) << i;
}

TEST_P(KeyGeneration, SecretKeysComeFromTheDeviceRandom)
{
    struct Case {
        std::uint8_t kind;
        std::uint16_t length;
        CK_RV expected;
    };
    const Case cases[] = {
        {KEY_KIND_AES, 16, CKR_OK},          {KEY_KIND_AES, 32, CKR_OK},
        {KEY_KIND_KALYNA_512, 64, CKR_OK},   {KEY_KIND_GOST28147, 32, CKR_OK},
        {KEY_KIND_AES, 40, CKR_ATTRIBUTE_VALUE_INVALID}, {KEY_KIND_KALYNA_512, 32, CKR_ATTRIBUTE_VALUE_INVALID},
        {KEY_KIND_EC, 32, CKR_ATTRIBUTE_VALUE_INVALID},
    };
    Bytes first_aes;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + "/" + std::to_string(c.length));
        CK_OBJECT_HANDLE handle = 7;
        ASSERT_EQ(generate_secret_key(context(), deviceError, key_header(c.kind, c.length), handle), c.expected);
        if (c.expected != CKR_OK) {
            EXPECT_EQ(handle, 0u);
            continue;
        }
        const ObjectRecord& record = *sessionObjects[(handle & 0x7FFF) - 1];
        EXPECT_EQ(record.token, 0);
        EXPECT_EQ(record.isPrivate, 1);
        EXPECT_EQ(record.valueLength, c.length);
        EXPECT_EQ(record.header.secretKeyLength, c.length);
        EXPECT_EQ(record.cacheKind, c.kind == KEY_KIND_GOST28147 ? CACHE_NONE : CACHE_KEY_SCHEDULE);
        Bytes value(record.value, record.value + record.valueLength);
        if (c.kind == KEY_KIND_AES && first_aes.empty()) {
            first_aes = value;
        } else if (c.kind == KEY_KIND_AES) {
            EXPECT_NE(Bytes(value.begin(), value.begin() + 16), first_aes);
        }
    }
    simulated->device->faults().answer_status_once(28, CMD_GET_RANDOM);
    CK_OBJECT_HANDLE handle = 0;
    EXPECT_EQ(generate_secret_key(context(), deviceError, key_header(KEY_KIND_AES, 16), handle), CKR_DEVICE_ERROR);
    EXPECT_EQ(deviceError, 28u);
    EXPECT_EQ(handle, 0u);
}

TEST_P(KeyGeneration, FailedGenerationLeavesNothing)
{
    simulated->device->faults().answer_status_once(17, CMD_GENERATE_KEY);
    CK_OBJECT_HANDLE private_handle = 0, public_handle = 0;
    EXPECT_EQ(generate_key_pair(context(), deviceError, key_header(KEY_KIND_EC, CURVE_P256), private_handle,
                                public_handle),
              CKR_DEVICE_ERROR);
    EXPECT_EQ(deviceError, 17u);
    EXPECT_EQ(private_handle, 0u);
    EXPECT_EQ(std::count(std::begin(tokens), std::end(tokens), nullptr), 64);
    EXPECT_EQ(generate_key_pair(context(), deviceError, key_header(KEY_KIND_EC, CURVE_P256 + 1), private_handle,
                                public_handle),
              CKR_DEVICE_ERROR);
    EXPECT_EQ(reload(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, KeyGeneration, ::testing::ValuesIn(all_kinds), kind_test_name);

// Limits of the token model 1000 by firmware version.
class ModelLimits : public DeviceObjects {};

TEST_P(ModelLimits, KindsTheModelMakes)
{
    struct Case {
        std::uint8_t version;
        std::uint8_t kind;
        std::uint16_t parameter;
        CK_RV expected;
    };
    const Case cases[] = {
        {7, KEY_KIND_RSA_GENERATED, 2048, CKR_KEY_TYPE_INCONSISTENT}, {7, KEY_KIND_RSA, 2048, CKR_KEY_TYPE_INCONSISTENT},
        {7, KEY_KIND_DSTU4145_FIRST, CURVE_DSTU_257, CKR_OK},        {7, KEY_KIND_EC, CURVE_P256, CKR_OK},
        {6, KEY_KIND_DSTU4145_FIRST, CURVE_DSTU_257, CKR_KEY_TYPE_INCONSISTENT}, {6, KEY_KIND_EC, CURVE_P384, CKR_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + "/" + std::to_string(c.kind));
        sim::DeviceProfile limited = profile();
        limited.model = 1000;
        limited.version = c.version;
        replace_device(limited);
        CommandRecorder recorder(*connection);
        CK_OBJECT_HANDLE private_handle = 0, public_handle = 0;
        EXPECT_EQ(generate_key_pair(context(), deviceError, key_header(c.kind, c.parameter), private_handle,
                                    public_handle),
                  c.expected);
        if (c.expected != CKR_OK) {
            ASSERT_EQ(recorder.sent.size(), 1u);
            EXPECT_EQ(recorder.sent[0].code, CMD_LIST_OBJECTS);
        }
    }
}

TEST_P(ModelLimits, PaddedP521PointIsCutBack)
{
    sim::DeviceProfile limited = profile();
    limited.model = 1000;
    limited.version = 1;
    replace_device(limited);
    CK_OBJECT_HANDLE private_handle = 0, public_handle = 0;
    ASSERT_EQ(generate_key_pair(context(), deviceError, key_header(KEY_KIND_EC, CURVE_P521), private_handle,
                                public_handle),
              CKR_OK);
    Bytes point = attribute(public_handle, CKA_EC_POINT);
    ASSERT_EQ(point.size(), 136u);
    EXPECT_EQ(Bytes(point.begin(), point.begin() + 4), Bytes({0x04, 0x81, 0x85, 0x04}));
    expect_prime_point(attribute(public_handle, CKA_EC_PARAMS), point);
}

INSTANTIATE_TEST_SUITE_P(Token, ModelLimits, ::testing::Values(sim::DeviceKind::token), kind_test_name);

}  // namespace
}  // namespace vlrp11::testing
