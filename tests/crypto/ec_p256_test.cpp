#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "crypto/ec_curve.h"
#include "crypto/ec_p256.h"
#include "crypto/sha256.h"
#include "support/ec_test_util.h"
#include "support/hex.h"

namespace vlrp11 {
namespace {

using test::from_hex;

std::array<Limb, 4> scalar(std::string_view hex)
{
    const auto v = ec_test::limbs_from_hex(hex);
    return {v[0], v[1], v[2], v[3]};
}

std::array<std::uint8_t, 64> base_point_bytes()
{
    std::array<std::uint8_t, 64> g{};
    native_to_bytes(g.data(), 32, EC_P256.gx);
    native_to_bytes(g.data() + 32, 32, EC_P256.gy);
    return g;
}

// A random source that plays back a script of byte strings, then fails.
struct ScriptedSource {
    std::vector<std::vector<std::uint8_t>> draws;
    std::size_t next = 0;
    std::size_t bits_asked = 0;

    static std::uint8_t generate(void* context, std::uint8_t* out, std::size_t bits)
    {
        auto& self = *static_cast<ScriptedSource*>(context);
        self.bits_asked = bits;
        if (self.next == self.draws.size())
            return 77;
        std::memcpy(out, self.draws[self.next++].data(), (bits + 7) / 8);
        return 0;
    }
    RandomSource source() { return {this, generate}; }
};

std::vector<std::uint8_t> little_endian(std::string_view big_endian_hex)
{
    auto bytes = from_hex(big_endian_hex);
    return {bytes.rbegin(), bytes.rend()};
}

constexpr char ORDER_HEX[] = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";

TEST(EcGenerateScalar, RejectsZeroAndValuesNotBelowTheOrder)
{
    ScriptedSource s;
    s.draws = {std::vector<std::uint8_t>(32, 0), little_endian(ORDER_HEX),
               std::vector<std::uint8_t>(32, 0xFF), little_endian(std::string(62, '0') + "2a")};
    Limb d[4];
    ASSERT_EQ(ec_generate_scalar(d, EC_P256.order, 4, s.source()), 0);
    EXPECT_EQ(s.next, 4u);
    EXPECT_EQ(s.bits_asked, 256u);
    EXPECT_EQ(d[0], 0x2Au);
    EXPECT_EQ(d[1] | d[2] | d[3], 0u);
}

TEST(EcGenerateScalar, BytesAreLittleEndian)
{
    ScriptedSource s;
    std::vector<std::uint8_t> draw(32);
    for (int i = 0; i < 32; ++i)
        draw[i] = static_cast<std::uint8_t>(i + 1);
    s.draws = {draw};
    Limb d[4];
    ASSERT_EQ(ec_generate_scalar(d, EC_P256.order, 4, s.source()), 0);
    EXPECT_EQ(d[0], 0x0807060504030201u);
    EXPECT_EQ(d[3], 0x201F1E1D1C1B1A19u);
}

TEST(EcGenerateScalar, FailingSourceEndsAtOnceWithItsStatus)
{
    ScriptedSource s;
    s.draws = {std::vector<std::uint8_t>(32, 0)};
    Limb d[4];
    EXPECT_EQ(ec_generate_scalar(d, EC_P256.order, 4, s.source()), 77);
    EXPECT_EQ(s.next, 1u);
}

TEST(EcPublicFromPrivate, OneGivesTheBasePoint)
{
    const auto d = scalar("1");
    std::array<std::uint8_t, 64> out{};
    std::size_t length = 0;
    ASSERT_EQ(ec_public_from_private(out.data(), &length, d.data()), 0);
    EXPECT_EQ(length, 64u);
    EXPECT_EQ(out, base_point_bytes());
}

TEST(EcPublicFromPrivate, ZeroAndOrderAreRejectedWithOutputUntouched)
{
    for (const std::string_view hex : {std::string_view("0"), std::string_view(ORDER_HEX)}) {
        const auto d = scalar(hex);
        std::array<std::uint8_t, 64> untouched;
        untouched.fill(0xEE);
        auto out = untouched;
        std::size_t length = 5;
        EXPECT_EQ(ec_public_from_private(out.data(), &length, d.data()), EC_BAD_PRIVATE_KEY);
        EXPECT_EQ(length, 5u);
        EXPECT_EQ(out, untouched);
    }
}

TEST(EcPublicFromPrivate, FixedWindowsAgreeWithTheLadderOnWindowEdges)
{
    // Digits of ±32, runs that carry through every window, and the ends of the range.
    const char* const cases[] = {
        "2",
        "1f",
        "20",
        "21",
        "3f",
        "40",
        "41",
        "7df7df7df7df7df7df7df7df7df7df7df7df7df7df7df7df7df7df7df7df7df",
        "820820820820820820820820820820820820820820820820820820820820820",
        "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
        "1000000000000000000000000000000000000000000000000000000000000000",
        "efffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
        "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc63254f",
        "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632550",
    };
    for (const char* hex : cases) {
        const auto d = scalar(hex);
        std::array<std::uint8_t, 64> out{}, expected{};
        std::size_t length = 0;
        ASSERT_EQ(ec_public_from_private(out.data(), &length, d.data()), 0) << hex;
        Limb x[4], y[4];
        ASSERT_EQ(EC_P256.point_mul(EC_P256, x, y, d.data(), nullptr, nullptr, nullptr), 0) << hex;
        native_to_bytes(expected.data(), 32, x);
        native_to_bytes(expected.data() + 32, 32, y);
        EXPECT_EQ(out, expected) << hex;
    }
}

struct KeyPair {
    std::array<Limb, 4> d;
    std::array<std::uint8_t, 64> pub;
};

KeyPair key_pair(std::string_view d_hex)
{
    KeyPair k{scalar(d_hex), {}};
    std::size_t length = 0;
    EXPECT_EQ(ec_public_from_private(k.pub.data(), &length, k.d.data()), 0);
    return k;
}

TEST(EcSharedSecret, AgreesInBothDirections)
{
    const KeyPair a = key_pair("c9afa9d845ba75166b5c215767b1d6934e50c3db36e89b127b8a622b120f6721");
    const KeyPair b = key_pair("7d7dc5f71eb29ddaf80d6214632eeae03d9058af1fb6d22ed80badb62bc1a534");
    std::array<std::uint8_t, 32> ab{}, ba{};
    std::size_t ab_length = 0, ba_length = 0;
    ASSERT_EQ(ec_shared_secret(ab.data(), &ab_length, a.d.data(), b.pub.data()), 0);
    ASSERT_EQ(ec_shared_secret(ba.data(), &ba_length, b.d.data(), a.pub.data()), 0);
    EXPECT_EQ(ab_length, 32u);
    EXPECT_EQ(ba_length, 32u);
    EXPECT_EQ(ab, ba);
}

TEST(EcSharedSecret, InvalidPeerPointsAndScalars)
{
    const KeyPair a = key_pair("2a");
    auto off_curve = base_point_bytes();
    off_curve[63] ^= 1;  // (Gx, Gy ± 1)
    std::array<std::uint8_t, 64> x_too_big{};
    std::memset(x_too_big.data(), 0xFF, 32);
    struct Case {
        const char* what;
        std::array<std::uint8_t, 64> peer;
        std::array<Limb, 4> d;
        std::uint8_t status;
    } cases[] = {
        {"zero point", {}, a.d, EC_INVALID_POINT},
        {"off the curve", off_curve, a.d, EC_INVALID_POINT},
        {"x not below p", x_too_big, a.d, EC_INVALID_POINT},
        {"zero scalar", base_point_bytes(), scalar("0"), EC_BAD_PRIVATE_KEY},
        {"scalar = n", base_point_bytes(), scalar(ORDER_HEX), EC_BAD_PRIVATE_KEY},
    };
    for (const auto& c : cases) {
        std::array<std::uint8_t, 32> out{};
        std::size_t length = 99;
        EXPECT_EQ(ec_shared_secret(out.data(), &length, c.d.data(), c.peer.data()), c.status)
            << c.what;
        EXPECT_EQ(length, 0u) << c.what;
    }
}

TEST(EcValidPoint, BasePointPassesNeighboursFail)
{
    EXPECT_EQ(ec_valid_point(EC_P256.gx, EC_P256.gy), 0);
    Limb y[4];
    limbs_add(y, EC_P256.gy, scalar("1").data(), 4);
    EXPECT_EQ(ec_valid_point(EC_P256.gx, y), EC_INVALID_POINT);
    const Limb zero[4] = {};
    EXPECT_EQ(ec_valid_point(zero, zero), EC_INVALID_POINT);
    EXPECT_EQ(ec_valid_point(EC_P256.gx, EC_P256.modulus), EC_INVALID_POINT);
}

TEST(EcPointAddAffine, MatchesScalarMultiplesAndRejectsEqualX)
{
    Limb x2[4], y2[4], x3[4], y3[4];
    const auto two = scalar("2"), three = scalar("3");
    ASSERT_EQ(EC_P256.point_mul(EC_P256, x2, y2, two.data(), nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(EC_P256.point_mul(EC_P256, x3, y3, three.data(), nullptr, nullptr, nullptr), 0);
    Limb rx[4], ry[4];
    std::memcpy(rx, x2, sizeof rx);
    std::memcpy(ry, y2, sizeof ry);
    ASSERT_EQ(ec_point_add_affine(rx, ry, EC_P256.gx, EC_P256.gy), 0);
    EXPECT_EQ(0, std::memcmp(rx, x3, sizeof rx));
    EXPECT_EQ(0, std::memcmp(ry, y3, sizeof ry));
    std::memcpy(rx, EC_P256.gx, sizeof rx);
    std::memcpy(ry, EC_P256.gy, sizeof ry);
    EXPECT_EQ(ec_point_add_affine(rx, ry, EC_P256.gx, EC_P256.gy), EC_INVERSE_OF_ZERO);
}

struct SigVerVector {
    const char* name;
    const char* message;
    const char* hash;
    const char* public_key;
    const char* signature;
    bool valid;
};

// FIPS 186-4 CAVP SigVer, [P-256,SHA-256].
const SigVerVector SIGVER_VECTORS[] = {
    {"1",
         "e1130af6a38ccb412a9c8d13e15dbfc9e69a16385af3c3f1e5da954fd5e7c45fd75e2b8c36699228e92840c0"
         "562fbf3772f07e17f1add56588dd45f7450e1217ad239922dd9c32695dc71ff2424ca0dec1321aa47064a044"
         "b7fe3c2b97d03ce470a592304c5ef21eed9f93da56bb232d1eeb0035f9bf0dfafdcc4606272b20a3",
         "d1b8ef21eb4182ee270638061063a3f3c16c114e33937f69fb232cc833965a94",
         "e424dc61d4bb3cb7ef4344a7f8957a0c5134e16f7a67c074f82e6e12f49abf3c"
         "970eed7aa2bc48651545949de1dddaf0127e5965ac85d1243d6f60e7dfaee927",
         "bf96b99aa49c705c910be33142017c642ff540c76349b9dab72f981fd9347f4f"
         "17c55095819089c2e03b9cd415abdf12444e323075d98f31920b9e0f57ec871c",
         true},
    {"2",
         "73c5f6a67456ae48209b5f85d1e7de7758bf235300c6ae2bdceb1dcb27a7730fb68c950b7fcada0ecc4661d3"
         "578230f225a875e69aaa17f1e71c6be5c831f22663bac63d0c7a9635edb0043ff8c6f26470f02a7bc56556f1"
         "437f06dfa27b487a6c4290d8bad38d4879b334e341ba092dde4e4ae694a9c09302e2dbf443581c08",
         "b9336a8d1f3e8ede001d19f41320bc7672d772a3d2cb0e435fff3c27d6804a2c",
         "e0fc6a6f50e1c57475673ee54e3a57f9a49f3328e743bf52f335e3eeaa3d2864"
         "7f59d689c91e463607d9194d99faf316e25432870816dde63f5d4b373f12f22a",
         "1d75830cd36f4c9aa181b2c4221e87f176b7f05b7c87824e82e396c88315c407"
         "cb2acb01dac96efc53a32d4a0d85d0c2e48955214783ecf50a4f0414a319c05a",
         true},
    {"3",
         "60cd64b2cd2be6c33859b94875120361a24085f3765cb8b2bf11e026fa9d8855dbe435acf7882e84f3c7857f"
         "96e2baab4d9afe4588e4a82e17a78827bfdb5ddbd1c211fbc2e6d884cddd7cb9d90d5bf4a7311b83f3525080"
         "33812c776a0e00c003c7e0d628e50736c7512df0acfa9f2320bd102229f46495ae6d0857cc452a84",
         "41007876926a20f821d72d9c6f2c9dae6c03954123ea6e6939d7e6e669438891",
         "2d98ea01f754d34bbc3003df5050200abf445ec728556d7ed7d5c54c55552b6d"
         "9b52672742d637a32add056dfd6d8792f2a33c2e69dafabea09b960bc61e230a",
         "06108e525f845d0155bf60193222b3219c98e3d49424c2fb2a0987f825c17959"
         "62b5cdd591e5b507e560167ba8f6f7cda74673eb315680cb89ccbc4eec477dce",
         true},
    {"4",
         "e4796db5f785f207aa30d311693b3702821dff1168fd2e04c0836825aefd850d9aa60326d88cde1a23c77453"
         "51392ca2288d632c264f197d05cd424a30336c19fd09bb229654f0222fcb881a4b35c290a093ac159ce13409"
         "111ff0358411133c24f5b8e2090d6db6558afc36f06ca1f6ef779785adba68db27a409859fc4c4a0",
         "a82c31412f537135d1c418bd7136fb5fde9426e70c70e7c2fb11f02f30fdeae2",
         "87f8f2b218f49845f6f10eec3877136269f5c1a54736dbdf69f89940cad41555"
         "e15f369036f49842fac7a86c8a2b0557609776814448b8f5e84aa9f4395205e9",
         "d19ff48b324915576416097d2544f7cbdf8768b1454ad20e0baac50e211f23b0"
         "a3e81e59311cdfff2d4784949f7a2cb50ba6c3a91fa54710568e61aca3e847c6",
         false},
    {"5",
         "069a6e6b93dfee6df6ef6997cd80dd2182c36653cef10c655d524585655462d683877f95ecc6d6c81623d8fa"
         "c4e900ed0019964094e7de91f1481989ae1873004565789cbf5dc56c62aedc63f62f3b894c9c6f7788c8ecaa"
         "dc9bd0e81ad91b2b3569ea12260e93924fdddd3972af5273198f5efda0746219475017557616170e",
         "5984eab8854d0a9aa5f0c70f96deeb510e5f9ff8c51befcdc3c41bac53577f22",
         "5cf02a00d205bdfee2016f7421807fc38ae69e6b7ccd064ee689fc1a94a9f7d2"
         "ec530ce3cc5c9d1af463f264d685afe2b4db4b5828d7e61b748930f3ce622a85",
         "dc23d130c6117fb5751201455e99f36f59aba1a6a21cf2d0e7481a97451d6693"
         "d6ce7708c18dbf35d4f8aa7240922dc6823f2e7058cbc1484fcad1599db5018c",
         false},
    {"6",
         "df04a346cf4d0e331a6db78cca2d456d31b0a000aa51441defdb97bbeb20b94d8d746429a393ba88840d6616"
         "15e07def615a342abedfa4ce912e562af714959896858af817317a840dcff85a057bb91a3c2bf90105500362"
         "754a6dd321cdd86128cfc5f04667b57aa78c112411e42da304f1012d48cd6a7052d7de44ebcc01de",
         "44b02ad3088076f997220a68ff0b27a58ecfa528b604427097cce5ca956274c5",
         "2ddfd145767883ffbb0ac003ab4a44346d08fa2570b3120dcce94562422244cb"
         "5f70c7d11ac2b7a435ccfbbae02c3df1ea6b532cc0e9db74f93fffca7c6f9a64",
         "9913111cff6f20c5bf453a99cd2c2019a4e749a49724a08774d14e4c113edda8"
         "9467cd4cd21ecb56b0cab0a9a453b43386845459127a952421f5c6382866c5cc",
         false},
    {"7",
         "1669bfb657fdc62c3ddd63269787fc1c969f1850fb04c933dda063ef74a56ce13e3a649700820f0061efabf8"
         "49a85d474326c8a541d99830eea8131eaea584f22d88c353965dabcdc4bf6b55949fd529507dfb803ab6b480"
         "cd73ca0ba00ca19c438849e2cea262a1c57d8f81cd257fb58e19dec7904da97d8386e87b84948169",
         "d80e9933e86769731ec16ff31e6821531bcf07fcbad9e2ac16ec9e6cb343a870",
         "69b7667056e1e11d6caf6e45643f8b21e7a4bebda463c7fdbc13bc98efbd0214"
         "d3f9b12eb46c7c6fda0da3fc85bc1fd831557f9abc902a3be3cb3e8be7d1aa2f",
         "288f7a1cd391842cce21f00e6f15471c04dc182fe4b14d92dc18910879799790"
         "247b3c4e89a3bcadfea73c7bfd361def43715fa382b8c3edf4ae15d6e55e9979",
         false},};

class EcdsaSigVer : public ::testing::TestWithParam<SigVerVector> {};

TEST_P(EcdsaSigVer, MatchesTheExpectedResult)
{
    const SigVerVector& v = GetParam();
    const auto message = from_hex(v.message);
    std::uint8_t hash[32];
    sha256_digest(message.data(), message.size(), hash);
    ASSERT_EQ(std::vector<std::uint8_t>(hash, hash + 32), from_hex(v.hash));
    const auto key = from_hex(v.public_key);
    const auto signature = from_hex(v.signature);
    const std::uint8_t status = ecdsa_verify(key.data(), hash, signature.data());
    if (v.valid)
        EXPECT_EQ(status, 0);
    else
        EXPECT_NE(status, 0);
}

INSTANTIATE_TEST_SUITE_P(Fips186, EcdsaSigVer, ::testing::ValuesIn(SIGVER_VECTORS),
                         [](const auto& info) { return std::string("vector") + info.param.name; });

TEST(EcdsaVerify, AnyFlippedBitOfAValidSignatureOrHashIsRejected)
{
    const SigVerVector& v = SIGVER_VECTORS[0];
    ASSERT_TRUE(v.valid);
    const auto key = from_hex(v.public_key);
    const auto hash = from_hex(v.hash);
    const auto signature = from_hex(v.signature);
    for (std::size_t bit = 0; bit < 8 * 64; bit += 37) {
        auto bad = signature;
        bad[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        EXPECT_NE(ecdsa_verify(key.data(), hash.data(), bad.data()), 0) << "signature bit " << bit;
    }
    for (std::size_t bit = 0; bit < 8 * 32; bit += 29) {
        auto bad = hash;
        bad[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        EXPECT_NE(ecdsa_verify(key.data(), bad.data(), signature.data()), 0) << "hash bit " << bit;
    }
}

TEST(EcdsaVerify, OutOfRangeHalvesAreRejectedBeforeAnyPointWork)
{
    const SigVerVector& v = SIGVER_VECTORS[0];
    const auto key = from_hex(v.public_key);
    const auto hash = from_hex(v.hash);
    const auto good = from_hex(v.signature);
    const auto order = from_hex(ORDER_HEX);
    // An all-zero public key would make any point work fail differently: 252 proves the early exit.
    const std::vector<std::uint8_t> no_key(64, 0);
    struct Case {
        const char* what;
        std::size_t offset;
        std::vector<std::uint8_t> half;
    } cases[] = {
        {"r = 0", 0, std::vector<std::uint8_t>(32, 0)},
        {"s = 0", 32, std::vector<std::uint8_t>(32, 0)},
        {"r = n", 0, order},
        {"s = n", 32, order},
        {"s > n", 32, std::vector<std::uint8_t>(32, 0xFF)},
    };
    for (const auto& c : cases) {
        auto sig = good;
        std::copy(c.half.begin(), c.half.end(), sig.begin() + static_cast<long>(c.offset));
        EXPECT_EQ(ecdsa_verify(no_key.data(), hash.data(), sig.data()), EC_SIGNATURE_INVALID)
            << c.what;
        EXPECT_EQ(ecdsa_verify(key.data(), hash.data(), sig.data()), EC_SIGNATURE_INVALID)
            << c.what;
    }
}

}  // namespace
}  // namespace vlrp11
