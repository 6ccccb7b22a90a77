// Block modes with keys held on the simulated token, against OpenSSL (AES), the library's own
// software GOST 28147-89 and the simulator's independent one; and the key-wrap format against
// a wrap built from the simulator's GOST 28147-89.
#include "support/logged_in_token.h"

#include "core/crypto_gost28147.h"
#include "device/command_codes.h"
#include "device/status.h"
#include "objects/block_modes.h"
#include "objects/cipher_context.h"
#include "objects/key_wrap.h"
#include "vlrp11/pkcs11_vendor.h"

#include "support/openssl_aes.h"

#include <gtest/gtest.h>
#include <openssl/rand.h>

#include <algorithm>

namespace vlrp11::testing {
namespace {

Bytes random_bytes(std::size_t n)
{
    Bytes bytes(n);
    RAND_bytes(bytes.data(), static_cast<int>(n));
    return bytes;
}

Bytes run(CK_MECHANISM_TYPE type, const ObjectRecord& key, CipherDirection direction, CipherState& state,
          const Bytes& in)
{
    Bytes out(in.size());
    EXPECT_EQ(run_cipher(*find_cipher_mechanism(type), key, direction, state, in.data(), in.size(), out.data()), 0u);
    return out;
}

CipherState state_with_iv(const Bytes& iv)
{
    CipherState state{};
    std::copy(iv.begin(), iv.end(), state.iv);
    return state;
}

class CipherRoutines : public ::testing::Test {
protected:
    LoggedInToken token;
};

TEST_F(CipherRoutines, DeviceEcbInPiecesOf1024Bytes)
{
    const Bytes aes_value = random_bytes(16), gost_value = random_bytes(32);
    const ObjectRecord aes = token.write_secret_key(1, 11, aes_value);
    const ObjectRecord gost = token.write_secret_key(2, 15, gost_value);
    const Bytes plain = random_bytes(2048);
    struct Case {
        const ObjectRecord* key;
        std::size_t block;
        std::uint8_t encrypt_code, count;
    } cases[] = {{&aes, 16, CMD_ENCRYPT_16, 64}, {&gost, 8, CMD_ENCRYPT_8, 128}};
    for (const Case& c : cases) {
        Bytes cipher(plain.size());
        {
            CommandRecorder recorder(token.connection());
            ASSERT_EQ(device_ecb(token.connection(), c.key->deviceIndex, c.block, CipherDirection::encrypt,
                                 plain.data(), plain.size(), cipher.data()),
                      0u);
            ASSERT_EQ(recorder.sent.size(), 2u);
            for (const SentCommand& sent : recorder.sent) {
                EXPECT_EQ(sent.code, c.encrypt_code);
                EXPECT_EQ(sent.request.size(), 1026u);
                EXPECT_EQ(sent.request[1], c.count);
            }
        }
        Bytes back(plain.size());
        ASSERT_EQ(device_ecb(token.connection(), c.key->deviceIndex, c.block, CipherDirection::decrypt,
                             cipher.data(), cipher.size(), back.data()),
                  0u);
        EXPECT_EQ(back, plain);
    }
    // Independent results: OpenSSL's AES, the simulator-independent host GOST 28147-89.
    Bytes cipher(plain.size());
    device_ecb(token.connection(), aes.deviceIndex, 16, CipherDirection::encrypt, plain.data(), plain.size(),
               cipher.data());
    EXPECT_EQ(cipher, openssl_aes("ECB", aes_value, {}, plain));
    device_ecb(token.connection(), gost.deviceIndex, 8, CipherDirection::encrypt, plain.data(), plain.size(),
               cipher.data());
    sim::Gost28147Key sim_key = sim::gost28147_key(std::span<const std::uint8_t, 32>(gost_value.data(), 32));
    Bytes expected(plain.size());
    sim::gost28147_ecb(sim_key, true, plain, expected);
    EXPECT_EQ(cipher, expected);

    EXPECT_EQ(device_ecb(token.connection(), aes.deviceIndex, 16, CipherDirection::encrypt, plain.data(), 24,
                         cipher.data()),
              COMMAND_LENGTH_WRONG);
}

TEST_F(CipherRoutines, DeviceAesCbcOneCommandPerBlock)
{
    const Bytes value = random_bytes(32), iv = random_bytes(16), plain = random_bytes(64);
    const ObjectRecord key = token.write_secret_key(3, 11, value);
    CipherState state = state_with_iv(iv);
    CommandRecorder recorder(token.connection());
    const Bytes cipher = run(CKM_AES_CBC, key, CipherDirection::encrypt, state, plain);
    EXPECT_EQ(cipher, openssl_aes("CBC", value, iv, plain));
    EXPECT_EQ(recorder.sent.size(), 4u);
    state = state_with_iv(iv);
    EXPECT_EQ(run(CKM_AES_CBC, key, CipherDirection::decrypt, state, cipher), plain);
}

TEST_F(CipherRoutines, GostStreamModesOnTheDeviceEqualTheHost)
{
    const Bytes value = random_bytes(32), iv = random_bytes(8), plain = random_bytes(40);
    const ObjectRecord device_key = token.write_secret_key(4, 15, value);
    ObjectRecord host_key{};
    host_key.objectClass = CKO_SECRET_KEY;
    host_key.header.keyKind = 15;
    host_key.value = const_cast<std::uint8_t*>(value.data());
    host_key.valueLength = 32;

    // A random counter, and counters whose N2 steps past 2^32 - 1 on the first advances.
    const Bytes counters[] = {iv, {1, 2, 3, 4, 0xFC, 0xFE, 0xFE, 0xFE}, {1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF}};
    for (const Bytes& counter : counters) {
        for (CK_MECHANISM_TYPE type : {CKM_GOST28147_CTR, CKM_GOST28147_CFB}) {
            CipherState host = state_with_iv(counter);
            const Bytes expected = run(type, host_key, CipherDirection::encrypt, host, plain);
            // 5 bytes, then 11, then the rest continue one stream.
            CipherState device = state_with_iv(counter);
            Bytes cipher;
            for (auto [from, to] : {std::pair{0, 5}, std::pair{5, 16}, std::pair{16, 40}}) {
                const Bytes part = run(type, device_key, CipherDirection::encrypt, device,
                                       Bytes(plain.begin() + from, plain.begin() + to));
                cipher.insert(cipher.end(), part.begin(), part.end());
            }
            EXPECT_EQ(cipher, expected) << std::hex << type;
            CipherState back = state_with_iv(counter);
            EXPECT_EQ(run(type, device_key, CipherDirection::decrypt, back, cipher), plain) << std::hex << type;
        }
    }

    // Started from position -1 the counter is encrypted first, which is where the simulator's
    // counter mode starts.
    CipherState state = state_with_iv(iv);
    state.keystreamOffset = -1;
    Bytes cipher(plain.size());
    ASSERT_EQ(gost_ctr(GostBlockCipher{&token.connection(), device_key.deviceIndex, nullptr}, &state.keystreamOffset,
                       state.iv, state.keystream, plain.data(), plain.size(), cipher.data()),
              0u);
    sim::Gost28147Key sim_key = sim::gost28147_key(std::span<const std::uint8_t, 32>(value.data(), 32));
    sim::Gost28147Ctr sim_state = sim::gost28147_ctr_start(sim_key, std::span<const std::uint8_t, 8>(iv.data(), 8));
    Bytes expected = plain;
    sim::gost28147_ctr(sim_key, sim_state, expected);
    EXPECT_EQ(cipher, expected);
}

TEST_F(CipherRoutines, DeviceStatusesPassThrough)
{
    const ObjectRecord key = token.write_secret_key(5, 11, random_bytes(16));
    token.device().faults().answer_status_once(0x6F, CMD_ENCRYPT_16);
    CipherState state{};
    Bytes out(32);
    const Bytes plain(32);
    EXPECT_EQ(run_cipher(*find_cipher_mechanism(CKM_AES_ECB), key, CipherDirection::encrypt, state, plain.data(),
                         plain.size(), out.data()),
              0x6Fu);
}

// The wrap's layers opened with the simulator's GOST 28147-89: the outer feedback layer under
// the fixed IV, the reversal, the inner layer under the random value, then the key. The
// checksum is the library's MAC, checked by unwrapping.
TEST(KeyWrapFormat, LayersOpenWithTheSimulatorsCipher)
{
    const Bytes kek = random_bytes(32), ukm = random_bytes(8), key = random_bytes(32);
    Bytes wrapped(gost_wrapped_key_bytes);
    gost_key_wrap(kek.data(), ukm.data(), key.data(), wrapped.data());

    const sim::Gost28147Key k = sim::gost28147_key(std::span<const std::uint8_t, 32>(kek.data(), 32));
    auto cfb_decrypt = [&](const std::uint8_t* iv, std::uint8_t* data, std::size_t n) {
        std::uint8_t feedback[8];
        std::copy(iv, iv + 8, feedback);
        for (std::size_t i = 0; i < n; ++i) {
            if (i % 8 == 0)
                sim::gost28147_encrypt_block(k, feedback, feedback);
            const std::uint8_t cipher = data[i];
            data[i] ^= feedback[i % 8];
            feedback[i % 8] = cipher;
        }
    };
    Bytes b = wrapped;
    const std::uint8_t wrap_iv[8] = {0x4A, 0xDD, 0xA2, 0x2C, 0x79, 0xE8, 0x21, 0x05};
    cfb_decrypt(wrap_iv, b.data(), b.size());
    std::reverse(b.begin(), b.end());
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 8), ukm);
    cfb_decrypt(ukm.data(), b.data() + 8, 36);
    EXPECT_EQ(Bytes(b.begin() + 8, b.begin() + 40), key);
}

}  // namespace
}  // namespace vlrp11::testing
