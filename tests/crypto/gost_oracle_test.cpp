// GOST 28147-89 and GOST 34.311-95 against the GOST engine for OpenSSL on random inputs. The
// engine works with the CryptoPro S-boxes, so ours is driven with the very same boxes, read from
// the engine's own parameter tables, through the pluggable S-box argument.

#define OPENSSL_SUPPRESS_DEPRECATED  // the engine is reached through the ENGINE interface

#include "crypto/gost28147.h"
#include "crypto/gost28147_sbox.h"
#include "crypto/gost34311.h"
#include "support/hex.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <openssl/engine.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

ENGINE* gost_engine()
{
    static ENGINE* engine = [] {
        ENGINE_load_builtin_engines();
        ENGINE* e = ENGINE_by_id("gost");
        if (e != nullptr && ENGINE_init(e) != 1) {
            ENGINE_free(e);
            e = nullptr;
        }
        return e;
    }();
    return engine;
}

// The engine keeps each S-box as eight rows of 16 nibble values, S8 first.
struct EngineSbox {
    std::uint8_t rows[8][16];
};

// Reads one of the engine's S-box tables and returns it in the packed form.
Bytes engine_sbox_packed(const char* symbol)
{
    const std::string path = std::string(OPENSSL_info(OPENSSL_INFO_ENGINES_DIR)) + "/gost.so";
    void* library = dlopen(path.c_str(), RTLD_NOW);
    EXPECT_NE(library, nullptr) << path;
    if (library == nullptr) {
        return {};
    }
    const auto* table = static_cast<const EngineSbox*>(dlsym(library, symbol));
    EXPECT_NE(table, nullptr) << symbol;
    Bytes packed(gost28147_sbox_bytes);
    for (int box = 0; table != nullptr && box < 8; ++box) {
        for (int j = 0; j < 16; ++j) {
            const int n = box * 16 + j;
            const std::uint8_t nibble = table->rows[7 - box][j] & 0x0F;
            packed[n / 2] |= static_cast<std::uint8_t>(n % 2 == 0 ? nibble << 4 : nibble);
        }
    }
    dlclose(library);
    return packed;
}

Gost28147Sbox lookup_form(const Bytes& packed)
{
    Gost28147Sbox lookup{};
    gost28147_unpack_sbox(packed.data(), lookup.data());
    return lookup;
}

Bytes random_bytes(std::mt19937& rng, std::size_t n)
{
    Bytes out(n);
    for (auto& byte : out) {
        byte = static_cast<std::uint8_t>(rng());
    }
    return out;
}

class GostEngineOracle : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (gost_engine() == nullptr) {
            GTEST_SKIP() << "GOST engine not available";
        }
    }
};

TEST_F(GostEngineOracle, ParameterTablesReadAsPublished)
{
    // Two boxes with published packed forms confirm how the engine's tables are read.
    EXPECT_EQ(engine_sbox_packed("GostR3411_94_TestParamSet"),
              test::from_hex("4a92d80e6b1c7f53eb4c6dfa23810759581da342efc7609b7da1089fe46cb253"
                             "6c715fd84a9e03b24ba0721d36859cfedb413f590ae7682c1fd057a4923e6b8c"));
    EXPECT_EQ(engine_sbox_packed("Gost28147_CryptoProParamSetA"),
              test::from_hex("96328b17a4efc0d537e98af0526cb4d1e462b3d8cf5a0719e7acd13902b4f856"
                             "b5198df0e423c7a63adc120b75948fe61d297a608c45f3bebaf50ce8623917d4"));
}

struct CipherParams {
    const char* oid;     // the engine's CRYPT_PARAMS setting
    const char* symbol;  // its S-box table
};

const CipherParams cipher_params[] = {
    {"1.2.643.2.2.31.1", "Gost28147_CryptoProParamSetA"},
    {"1.2.643.2.2.31.2", "Gost28147_CryptoProParamSetB"},
    {"1.2.643.2.2.31.3", "Gost28147_CryptoProParamSetC"},
    {"1.2.643.2.2.31.4", "Gost28147_CryptoProParamSetD"},
    {"1.2.643.7.1.2.5.1.1", "Gost28147_TC26ParamSetZ"},
};

// Block encryption through the engine's CBC mode with a zero IV: each ciphertext block is the
// encryption of the plaintext block XOR the previous ciphertext block.
Bytes engine_cbc_encrypt(const Bytes& key, const Bytes& plain)
{
    const EVP_CIPHER* cbc = ENGINE_get_cipher(gost_engine(), NID_gost89_cbc);
    EXPECT_NE(cbc, nullptr);
    const std::uint8_t iv[8] = {};
    Bytes out(plain.size());
    int written = 0;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EXPECT_EQ(EVP_EncryptInit_ex(ctx, cbc, gost_engine(), key.data(), iv), 1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EXPECT_EQ(EVP_EncryptUpdate(ctx, out.data(), &written, plain.data(),
                                static_cast<int>(plain.size())),
              1);
    EVP_CIPHER_CTX_free(ctx);
    EXPECT_EQ(static_cast<std::size_t>(written), plain.size());
    return out;
}

Bytes our_cbc_encrypt(const Bytes& key_bytes, const Bytes& plain, const std::uint8_t* sbox)
{
    std::uint32_t key[8];
    gost28147_load_key(key_bytes.data(), key);
    Bytes out(plain.size());
    std::uint8_t chain[8] = {};
    for (std::size_t i = 0; i < plain.size(); i += 8) {
        for (std::size_t j = 0; j < 8; ++j) {
            chain[j] ^= plain[i + j];
        }
        gost28147_encrypt_block(chain, key, sbox);
        std::copy_n(chain, 8, out.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return out;
}

TEST_F(GostEngineOracle, BlockEncryptionMatchesWithEachCryptoProSbox)
{
    std::mt19937 rng(2814789);
    for (const CipherParams& params : cipher_params) {
        ASSERT_EQ(ENGINE_ctrl_cmd_string(gost_engine(), "CRYPT_PARAMS", params.oid, 0), 1);
        const Gost28147Sbox sbox = lookup_form(engine_sbox_packed(params.symbol));
        for (int trial = 0; trial < 40; ++trial) {
            const Bytes key = random_bytes(rng, gost28147_key_bytes);
            const Bytes plain = random_bytes(rng, 8 * (1 + rng() % 32));
            ASSERT_EQ(our_cbc_encrypt(key, plain, sbox.data()), engine_cbc_encrypt(key, plain))
                << params.symbol << " trial " << trial;
        }
    }
}

TEST_F(GostEngineOracle, HashMatchesMdGost94WithCryptoProSbox)
{
    const Gost28147Sbox sbox = lookup_form(engine_sbox_packed("GostR3411_94_CryptoProParamSet"));
    const EVP_MD* md = ENGINE_get_digest(gost_engine(), NID_id_GostR3411_94);
    ASSERT_NE(md, nullptr);
    std::mt19937 rng(3431195);
    for (int trial = 0; trial < 200; ++trial) {
        const Bytes message = random_bytes(rng, rng() % 300);
        Bytes expected(gost34311_digest_bytes);
        unsigned int written = 0;
        ASSERT_EQ(EVP_Digest(message.data(), message.size(), expected.data(), &written, md,
                             gost_engine()),
                  1);
        ASSERT_EQ(written, gost34311_digest_bytes);

        Gost34311Context ctx;
        gost34311_init(ctx);
        ctx.sbox = sbox.data();
        std::size_t done = 0;
        while (done < message.size()) {
            const std::size_t piece = std::min<std::size_t>(1 + rng() % 70, message.size() - done);
            gost34311_update(ctx, message.data() + done, piece);
            done += piece;
        }
        Bytes ours(gost34311_digest_bytes);
        gost34311_final(ctx, ours.data());
        ASSERT_EQ(ours, expected) << "length " << message.size();
    }
}

}  // namespace
}  // namespace vlrp11
