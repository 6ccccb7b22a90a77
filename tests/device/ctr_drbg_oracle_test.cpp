#include "crypto/sha_compress.h"
#include "device/ctr_drbg.h"
#include "device/pin_derivation.h"

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// OpenSSL's CTR-DRBG (AES-256, no derivation function) seeded by its test source with the given
// entropy: the reference for our generator.
class OpenSslDrbg {
public:
    explicit OpenSslDrbg(const Bytes& entropy)
    {
        EVP_RAND* test = EVP_RAND_fetch(nullptr, "TEST-RAND", nullptr);
        parent_ = EVP_RAND_CTX_new(test, nullptr);
        EVP_RAND_free(test);
        unsigned strength = 256;
        OSSL_PARAM parent_params[] = {
            OSSL_PARAM_construct_uint(OSSL_RAND_PARAM_STRENGTH, &strength),
            OSSL_PARAM_construct_octet_string(OSSL_RAND_PARAM_TEST_ENTROPY, const_cast<std::uint8_t*>(entropy.data()),
                                              entropy.size()),
            OSSL_PARAM_construct_end()};
        EXPECT_EQ(EVP_RAND_instantiate(parent_, strength, 0, nullptr, 0, parent_params), 1);

        EVP_RAND* ctr = EVP_RAND_fetch(nullptr, "CTR-DRBG", nullptr);
        drbg_ = EVP_RAND_CTX_new(ctr, parent_);
        EVP_RAND_free(ctr);
        int use_df = 0;
        char cipher[] = "AES-256-CTR";
        OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_DRBG_PARAM_CIPHER, cipher, 0),
                               OSSL_PARAM_construct_int(OSSL_DRBG_PARAM_USE_DF, &use_df), OSSL_PARAM_construct_end()};
        // Without a personalisation string OpenSSL substitutes its own; 48 zero bytes XOR to
        // nothing and so stand for "none".
        const std::uint8_t no_personalisation[48] = {};
        EXPECT_EQ(EVP_RAND_instantiate(drbg_, strength, 0, no_personalisation, sizeof no_personalisation, params), 1);
    }
    ~OpenSslDrbg()
    {
        EVP_RAND_CTX_free(drbg_);
        EVP_RAND_CTX_free(parent_);
    }

    Bytes generate(std::size_t n)
    {
        Bytes out(n);
        EXPECT_EQ(EVP_RAND_generate(drbg_, out.data(), n, 256, 0, nullptr, 0), 1);
        return out;
    }

private:
    EVP_RAND_CTX* parent_ = nullptr;
    EVP_RAND_CTX* drbg_ = nullptr;
};

const Bytes* fixed_entropy = nullptr;

std::uint32_t entropy_from_test(std::uint64_t, std::uint8_t* buffer, std::size_t length)
{
    std::memcpy(buffer, fixed_entropy->data(), length);
    return 0;
}

TEST(CtrDrbgOracle, MatchesOpenSslWithoutDerivationFunction)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 8; ++trial) {
        Bytes entropy(48);
        for (auto& b : entropy)
            b = static_cast<std::uint8_t>(rng());
        fixed_entropy = &entropy;
        CtrDrbg ours{};
        ASSERT_EQ(drbg_instantiate_from(ours, entropy_from_test, 0), DEVICE_OK);
        OpenSslDrbg reference(entropy);
        for (std::size_t n : {16u, 32u, 1u, 17u, 80u, 64u}) {
            Bytes got(n);
            ASSERT_EQ(drbg_generate(ours, got.data(), 8 * n), DEVICE_OK);
            EXPECT_EQ(got, reference.generate(n)) << "trial " << trial << ", " << n << " bytes";
        }
    }
    fixed_entropy = nullptr;
}

// On both SHA-512 paths, for PINs that end around the edges of the first block.
TEST(PinDerivationOracle, TenThousandChainedSha512)
{
    const ShaPath chosen = sha512_path();
    for (ShaPath path : {ShaPath::portable, ShaPath::instructions}) {
        if (path == ShaPath::instructions && !sha512_instructions_supported())
            continue;
        sha512_set_path(path);
        for (std::size_t length : {0, 6, 13, 111, 112, 128, 200}) {
            std::string pin = length == 13 ? "correct horse" : std::string(length, '7');
            std::uint8_t d[64];
            SHA512(reinterpret_cast<const unsigned char*>(pin.data()), pin.size(), d);
            for (int i = 1; i < 10000; ++i)
                SHA512(d, 64, d);
            std::uint8_t a[16], b[16];
            derive_pin(reinterpret_cast<const std::uint8_t*>(pin.data()), pin.size(), a, b);
            EXPECT_EQ(0, std::memcmp(a, d, 16)) << "path " << int(path) << ", PIN length " << length;
            EXPECT_EQ(0, std::memcmp(b, d + 32, 16)) << "path " << int(path) << ", PIN length " << length;
        }
    }
    sha512_set_path(chosen);
}

}  // namespace
}  // namespace vlrp11
