#include "crypto/kalyna.h"
#include "crypto/kupyna_tables.h"
#include "support/hex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace vlrp11 {
namespace {

using test::from_hex;
using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint64_t>;

struct Vector {
    std::size_t block_bits;
    std::size_t key_bits;
    const char* key;
    const char* plaintext;
    const char* ciphertext;
    std::vector<const char*> round_keys;  // rk00 .. rkNr
    const char* decrypt_key;
    const char* decrypt_ciphertext;
    const char* decrypt_plaintext;
};

// The standard's examples and full encryption key schedules for every variant.
const Vector vectors[] = {
    {128, 128,
     "000102030405060708090a0b0c0d0e0f",
     "101112131415161718191a1b1c1d1e1f",
     "81bf1c7d779bac20e1c9ea39b4d2ad06",
     {
         "16505e6b9b3ab1e6865b77dce082a0f4",
         "e6865b77dce082a0f416505e6b9b3ab1",
         "7e70876eae4984768aaaa00a7c93ec42",
         "768aaaa00a7c93ec427e70876eae4984",
         "45ced4c51e9140f53e7276820f0bd9fe",
         "f53e7276820f0bd9fe45ced4c51e9140",
         "8c77ee227900c462515f66320560c4b1",
         "62515f66320560c4b18c77ee227900c4",
         "0a9872e25cd2b0b8aa879a2086a66dd8",
         "b8aa879a2086a66dd80a9872e25cd2b0",
         "5726b1a894dbc418f60bf3d5e8d74861"
     },
     "0f0e0d0c0b0a09080706050403020100",
     "1f1e1d1c1b1a19181716151413121110",
     "7291ef2b470cc7846f09c2303973dad7"},
    {128, 256,
     "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "202122232425262728292a2b2c2d2e2f",
     "58ec3e091000158a1148f7166f334f14",
     {
         "57c816eb3f7e12deed2c6b56e6b5be1a",
         "deed2c6b56e6b5be1a57c816eb3f7e12",
         "d8069a7d889acd80cd3184456cccae6f",
         "80cd3184456cccae6fd8069a7d889acd",
         "c361cc973513411a82324d2b6742f3fe",
         "1a82324d2b6742f3fec361cc97351341",
         "8310698c65cf80a409ef6faabeb80f56",
         "a409ef6faabeb80f568310698c65cf80",
         "c6d5c4c381461a7b034d691842901510",
         "7b034d691842901510c6d5c4c381461a",
         "84d0f82146c8bdf9b2b3707b4d49387e",
         "f9b2b3707b4d49387e84d0f82146c8bd",
         "43fadb28a0d1d42bbff92ff9794546b3",
         "2bbff92ff9794546b343fadb28a0d1d4",
         "c31ee8a87e2ced245a21a435fdb25b92"
     },
     "1f1e1d1c1b1a191817161514131211100f0e0d0c0b0a09080706050403020100",
     "2f2e2d2c2b2a29282726252423222120",
     "f36db456cefddfe1b45b5f7030cad996"},
    {256, 256,
     "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f",
     "f66e3d570ec92135aedae323dcbd2a8ca03963ec206a0d5a88385c24617fd92c",
     {
         "f7da2647dfd55b352f085208e30fcba169b3c9dcc80dd7801f072cc16c942e36",
         "08e30fcba169b3c9dcc80dd7801f072cc16c942e36f7da2647dfd55b352f0852",
         "df1f1158fd74eea5c15531c9239038db26839a9100031fcbb77cfd35f14f73c2",
         "c9239038db26839a9100031fcbb77cfd35f14f73c2df1f1158fd74eea5c15531",
         "ca2ae58a5c656c0ace0bf0a628fba9fc3176e710fc11f75deb9601f95c22fd12",
         "a628fba9fc3176e710fc11f75deb9601f95c22fd12ca2ae58a5c656c0ace0bf0",
         "5157fcecc510404e44f5e76cf2f2cb80c29bee53e310be7df816a49aeb175160",
         "6cf2f2cb80c29bee53e310be7df816a49aeb1751605157fcecc510404e44f5e7",
         "5e1c15889b51862aa11dd2875781b8d10bd0a270aa4669b06b7a49b2473467eb",
         "875781b8d10bd0a270aa4669b06b7a49b2473467eb5e1c15889b51862aa11dd2",
         "3752265e1fa9e6aa082aa99931c8b67b0864dfe7946f4fef7c5bad7c9212db02",
         "9931c8b67b0864dfe7946f4fef7c5bad7c9212db023752265e1fa9e6aa082aa9",
         "38a743d67f8838be74d17e6c1734e7c52bc87d984406b60679a71c17f9ba8f3b",
         "6c1734e7c52bc87d984406b60679a71c17f9ba8f3b38a743d67f8838be74d17e",
         "fc69b1a735c1ca491850ebbb88d6fcac5d7616165c109c31f13144c5b825ea02"
     },
     "1f1e1d1c1b1a191817161514131211100f0e0d0c0b0a09080706050403020100",
     "3f3e3d3c3b3a393837363534333231302f2e2d2c2b2a29282726252423222120",
     "7fc5237896674e8603c1e9b03f8b4ba3ab5b7c592c3fc3d361edd12586b20fe3"},
    {256, 512,
     "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
     "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f",
     "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f",
     "606990e9e6b7b67a4bd6d893d72268b78e02c83c3cd7e102fd2e74a8fdfe5dd9",
     {
         "f7bd9738ce49dda80b9abd79801ee8218860fe42475c9f565cd8f433b4c989c4",
         "79801ee8218860fe42475c9f565cd8f433b4c989c4f7bd9738ce49dda80b9abd",
         "400b80a3e5ee106402037e6445a8c043c025bc83fb4294b0a03392a1f20bcad2",
         "6445a8c043c025bc83fb4294b0a03392a1f20bcad2400b80a3e5ee106402037e",
         "d011d865e1e63e78353cdce9f6e131e66f7aaf50a301148798cd52a4004cd904",
         "e9f6e131e66f7aaf50a301148798cd52a4004cd904d011d865e1e63e78353cdc",
         "b29987f5aedc7c5049872a92b4d70dd06ecb5266d3774630f330f21bbbb21c45",
         "92b4d70dd06ecb5266d3774630f330f21bbbb21c45b29987f5aedc7c5049872a",
         "535bc565ce0838df30fc6ab4d7d11cc71df00eb1a3c796ac1469e8c6ce80238d",
         "b4d7d11cc71df00eb1a3c796ac1469e8c6ce80238d535bc565ce0838df30fc6a",
         "575458552eb47d9c6246f01af15e077fcd97d8c55bc8365f3798fe37b8947898",
         "1af15e077fcd97d8c55bc8365f3798fe37b8947898575458552eb47d9c6246f0",
         "ae10a655afa56fdd369fdead237bdbc9b9cfb69d14a777624774969ab2022675",
         "ad237bdbc9b9cfb69d14a777624774969ab2022675ae10a655afa56fdd369fde",
         "3ba763dccaf841c59b138a7957447c95cb026165a9dca04a5d7092bb878b24f5",
         "7957447c95cb026165a9dca04a5d7092bb878b24f53ba763dccaf841c59b138a",
         "19be451a213f473e9d5d8713962d5cdee7367b3c3e7f37c96eaba307f3790e79",
         "13962d5cdee7367b3c3e7f37c96eaba307f3790e7919be451a213f473e9d5d87",
         "5bca123f021a45e1156112092d5e3472e9edeba57989919bdeac86ffee59ca23"
     },
     "3f3e3d3c3b3a393837363534333231302f2e2d2c2b2a29282726252423222120"
     "1f1e1d1c1b1a191817161514131211100f0e0d0c0b0a09080706050403020100",
     "5f5e5d5c5b5a595857565554535251504f4e4d4c4b4a49484746454443424140",
     "18317a2767dad482bccd07b9a1788d075e7098189e5f84972d0b916d79ba6ae0"},
    {512, 512,
     "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
     "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f",
     "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f"
     "606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f",
     "4a26e31b811c356aa61dd6ca0596231a67ba8354aa47f3a13e1deec320eb56b8"
     "95d0f417175bab662fd6f134bb15c86ccb906a26856efeb7c5bc6472940dd9d9",
     {
         "1947c0fcf2c8d64cb256fb722da8e24188eabf026130064f03e0f2bd4ca854c9"
         "a848be6445fecf00510ade0c1c4d43f1073d53b163df01df01317e9552f262e5",
         "026130064f03e0f2bd4ca854c9a848be6445fecf00510ade0c1c4d43f1073d53"
         "b163df01df01317e9552f262e51947c0fcf2c8d64cb256fb722da8e24188eabf",
         "2408f2fa312a9374a300773c06bc7c57e369a136ece1d879c2dfa2a30349f5b8"
         "235cd21701ab035c23bf1bf30f8de233e0f83ac94df8012703be4b8a07da0d56",
         "36ece1d879c2dfa2a30349f5b8235cd21701ab035c23bf1bf30f8de233e0f83a"
         "c94df8012703be4b8a07da0d562408f2fa312a9374a300773c06bc7c57e369a1",
         "b8df3967a97c8bfd5c4decec5168eeb40bee562d80d97ad60998659ccd084d5d"
         "c33441f000bf7afaeeebe431f96d67dea0e05a5bfff8b0aa9a38c9857a91ea23",
         "2d80d97ad60998659ccd084d5dc33441f000bf7afaeeebe431f96d67dea0e05a"
         "5bfff8b0aa9a38c9857a91ea23b8df3967a97c8bfd5c4decec5168eeb40bee56",
         "7ab62677aaa05ac35bf994861ca08380058651fb824351fcd684b5dd229f82eb"
         "3acfcdfd660698eeb922c62d097d68680375512c6960e6ea974a53a7c159dba3",
         "fb824351fcd684b5dd229f82eb3acfcdfd660698eeb922c62d097d6868037551"
         "2c6960e6ea974a53a7c159dba37ab62677aaa05ac35bf994861ca08380058651",
         "0b41893222373e1053852ce52aecaaa6d56ad4bb87d2771fb7fe9eb2b4ba7607"
         "39f0db9731e9f802e821e1bd930060e1fc38253ad84043c78ffe6a9aa5856282",
         "bb87d2771fb7fe9eb2b4ba760739f0db9731e9f802e821e1bd930060e1fc3825"
         "3ad84043c78ffe6a9aa58562820b41893222373e1053852ce52aecaaa6d56ad4",
         "b253f7958c9781bbc97f923194b2a4faf3950141e3d2e39c27d7846c8b0afdff"
         "10e0eda1e34515415844e5d7ccc409f1af08b30428d74108ae1339748912ee52",
         "41e3d2e39c27d7846c8b0afdff10e0eda1e34515415844e5d7ccc409f1af08b3"
         "0428d74108ae1339748912ee52b253f7958c9781bbc97f923194b2a4faf39501",
         "9c3b87b9ec223bc65bf1a4153b6fa7da62b9b72afcea375f34cd656c4857294f"
         "0601c04788b80f27c19d7ee1fb81b710cf7f61bd66447f10e34cda0e63e32104",
         "2afcea375f34cd656c4857294f0601c04788b80f27c19d7ee1fb81b710cf7f61"
         "bd66447f10e34cda0e63e321049c3b87b9ec223bc65bf1a4153b6fa7da62b9b7",
         "39e087e636b3e6949c744eacb4ddcf4e603c95652731d549e70c5200f1d95095"
         "b04e404e675b56f93cbec44af7512c388e1a3ddefbbc8c30fade3bdcfdb12bf4",
         "652731d549e70c5200f1d95095b04e404e675b56f93cbec44af7512c388e1a3d"
         "defbbc8c30fade3bdcfdb12bf439e087e636b3e6949c744eacb4ddcf4e603c95",
         "e0fc0d1b3fe4fbc87fac3db5112bcb96d8f23e593f85c1cc45d9d2aa23dc4d05"
         "6c6feb08c3341f8baf7ae2f89b2b5943549e109f03281bb8b91ed201c1e4012e",
         "593f85c1cc45d9d2aa23dc4d056c6feb08c3341f8baf7ae2f89b2b5943549e10"
         "9f03281bb8b91ed201c1e4012ee0fc0d1b3fe4fbc87fac3db5112bcb96d8f23e",
         "837ad9989e09d091ab2e5ea4d883a0576ea81475c90233dbbd5237309722e85a"
         "a35128208b41674a9067282f8151c4a8685abdbcb3e7a37d1862bab6ada86b24"
     },
     "3f3e3d3c3b3a393837363534333231302f2e2d2c2b2a29282726252423222120"
     "1f1e1d1c1b1a191817161514131211100f0e0d0c0b0a09080706050403020100",
     "7f7e7d7c7b7a797877767574737271706f6e6d6c6b6a69686766656463626160"
     "5f5e5d5c5b5a595857565554535251504f4e4d4c4b4a49484746454443424140",
     "ce80843325a052521bead714e6a9d829fd381e0ee9a845bd92044554d9fa46a3"
     "757fefdb853bb1f297ff9d833b75e66aaf4157abb5291bdcf094bb13aa5aff22"},
};

Words to_words(const Bytes& bytes)
{
    Words words(bytes.size() / 8);
    std::memcpy(words.data(), bytes.data(), bytes.size());
    return words;
}

Words schedule_key(const KalynaKeySchedule& s, const std::uint64_t* keys, std::size_t index)
{
    return Words(keys + index * s.block_words, keys + (index + 1) * s.block_words);
}

std::size_t shift_of_row(const KalynaKeySchedule& s, std::size_t r)
{
    return r / (8 / s.block_words);
}

// A test-only Kalyna cipher built on a schedule, to check the schedule against the standard's
// ciphertexts. Encryption: add key 0, rounds with keys 1..Nr-1 XORed, a last round, add key Nr.
Words encrypt(const KalynaKeySchedule& s, Words state)
{
    const std::size_t nb = s.block_words;
    auto round = [&] {
        Words out(nb, 0);
        for (std::size_t c = 0; c < nb; ++c) {
            for (std::size_t r = 0; r < 8; ++r) {
                const std::uint64_t source = state[(c + nb - shift_of_row(s, r)) % nb];
                out[c] ^= (*s.t_tables)[r][(source >> (8 * r)) & 0xFF];
            }
        }
        state = out;
    };
    for (std::size_t i = 0; i < nb; ++i) {
        state[i] += s.encrypt_keys[i];
    }
    for (std::size_t k = 1; k < s.rounds; ++k) {
        round();
        for (std::size_t i = 0; i < nb; ++i) {
            state[i] ^= s.encrypt_keys[k * nb + i];
        }
    }
    round();
    for (std::size_t i = 0; i < nb; ++i) {
        state[i] += s.encrypt_keys[s.rounds * nb + i];
    }
    return state;
}

// The table-driven inverse cipher on decrypt_keys: subtract key Nr, InvMixColumns, then rounds
// of InvShiftRows + InvSubBytes + InvMixColumns from the inverse tables with the inverse-mixed
// keys Nr-1..1 XORed, a last InvShiftRows + InvSubBytes, subtract key 0.
Words decrypt(const KalynaKeySchedule& s, Words state)
{
    const std::size_t nb = s.block_words;
    auto byte_of = [&](const Words& w, std::size_t c, std::size_t r) {
        return (w[(c + shift_of_row(s, r)) % nb] >> (8 * r)) & 0xFF;
    };
    for (std::size_t i = 0; i < nb; ++i) {
        state[i] -= s.decrypt_keys[s.rounds * nb + i];
        std::uint64_t mixed = 0;
        for (std::size_t r = 0; r < 8; ++r) {
            const auto b = (*s.sboxes)[r % 4][(state[i] >> (8 * r)) & 0xFF];
            mixed ^= (*s.inverse_t_tables)[r][b];
        }
        state[i] = mixed;
    }
    for (std::size_t k = s.rounds - 1; k >= 1; --k) {
        Words out(nb, 0);
        for (std::size_t c = 0; c < nb; ++c) {
            for (std::size_t r = 0; r < 8; ++r) {
                out[c] ^= (*s.inverse_t_tables)[r][byte_of(state, c, r)];
            }
            out[c] ^= s.decrypt_keys[k * nb + c];
        }
        state = out;
    }
    Words out(nb, 0);
    for (std::size_t c = 0; c < nb; ++c) {
        for (std::size_t r = 0; r < 8; ++r) {
            out[c] |= std::uint64_t{(*s.inverse_sboxes)[r % 4][byte_of(state, c, r)]} << (8 * r);
        }
        out[c] -= s.decrypt_keys[c];
    }
    return out;
}

KalynaKeySchedule expanded(const Vector& v, const char* key_hex)
{
    KalynaKeySchedule s{};
    EXPECT_TRUE(kalyna_select_variant(s, v.block_bits, v.key_bits));
    const Bytes key = from_hex(key_hex);
    EXPECT_EQ(kalyna_key_bytes(s), key.size());
    EXPECT_TRUE(kalyna_expand_key(s, key.data()));
    return s;
}

class KalynaVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(KalynaVectors, ReproducesEveryPublishedRoundKey)
{
    const Vector& v = GetParam();
    const KalynaKeySchedule s = expanded(v, v.key);
    ASSERT_EQ(v.round_keys.size(), s.rounds + 1);
    for (std::size_t k = 0; k <= s.rounds; ++k) {
        EXPECT_EQ(schedule_key(s, s.encrypt_keys, k), to_words(from_hex(v.round_keys[k])))
            << "round key " << k;
    }
}

TEST_P(KalynaVectors, DecryptKeysKeepTheEndKeys)
{
    const Vector& v = GetParam();
    const KalynaKeySchedule s = expanded(v, v.key);
    EXPECT_EQ(schedule_key(s, s.decrypt_keys, 0), schedule_key(s, s.encrypt_keys, 0));
    EXPECT_EQ(schedule_key(s, s.decrypt_keys, s.rounds),
              schedule_key(s, s.encrypt_keys, s.rounds));
    EXPECT_NE(schedule_key(s, s.decrypt_keys, 1), schedule_key(s, s.encrypt_keys, 1));
}

TEST_P(KalynaVectors, EncryptsAndDecryptsTheStandardExamples)
{
    const Vector& v = GetParam();
    const KalynaKeySchedule s = expanded(v, v.key);
    EXPECT_EQ(encrypt(s, to_words(from_hex(v.plaintext))), to_words(from_hex(v.ciphertext)));

    const KalynaKeySchedule d = expanded(v, v.decrypt_key);
    EXPECT_EQ(decrypt(d, to_words(from_hex(v.decrypt_ciphertext))),
              to_words(from_hex(v.decrypt_plaintext)));
}

INSTANTIATE_TEST_SUITE_P(Dstu7624, KalynaVectors, ::testing::ValuesIn(vectors));

TEST(Kalyna, SelectsOnlyTheFiveVariants)
{
    struct Case {
        std::size_t block_bits;
        std::size_t key_bits;
        bool valid;
        std::uint64_t block_words;
        std::uint64_t rounds;
    };
    const Case cases[] = {
        {128, 128, true, 2, 10},  {128, 256, true, 2, 14},  {256, 256, true, 4, 14},
        {256, 512, true, 4, 18},  {512, 512, true, 8, 18},  {128, 512, false, 0, 0},
        {256, 128, false, 0, 0},  {512, 1024, false, 0, 0}, {64, 64, false, 0, 0},
        {512, 256, false, 0, 0},
    };
    for (const Case& c : cases) {
        KalynaKeySchedule s{};
        EXPECT_EQ(kalyna_select_variant(s, c.block_bits, c.key_bits), c.valid)
            << c.block_bits << "/" << c.key_bits;
        EXPECT_EQ(s.block_words, c.block_words);
        EXPECT_EQ(s.rounds, c.rounds);
        EXPECT_EQ(s.t_tables, c.valid ? &kupyna_t_tables : nullptr);
    }
}

TEST(Kalyna, RefusesAScheduleNamingNoVariant)
{
    KalynaKeySchedule s{};
    ASSERT_TRUE(kalyna_select_variant(s, 512, 512));
    s.rounds = 10;
    const Bytes key(64, 0x11);
    EXPECT_FALSE(kalyna_expand_key(s, key.data()));
    EXPECT_EQ(kalyna_key_bytes(s), 0u);
    EXPECT_EQ(s.encrypt_keys[0], 0u);
    EXPECT_EQ(s.decrypt_keys[0], 0u);
}

}  // namespace
}  // namespace vlrp11
