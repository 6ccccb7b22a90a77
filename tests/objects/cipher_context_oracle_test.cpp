// Session-key ciphers through the routine choice: AES against OpenSSL, the GOST 28147-89 stream
// modes continuing across calls; and which key records may serve which mechanism.
#include "device/device_connection.h"
#include "device/status.h"
#include "objects/cipher_context.h"
#include "vlrp11/pkcs11_vendor.h"

#include "support/openssl_aes.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::openssl_aes;

Bytes random_bytes(std::mt19937& rng, std::size_t n)
{
    Bytes bytes(n);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

// A session secret key as object creation leaves it: the value, and for AES, once it was used,
// the schedule in the cache.
struct SessionKey {
    SessionKey(std::uint8_t kind, Bytes key, bool schedule_made = true) : value(std::move(key))
    {
        record.objectClass = CKO_SECRET_KEY;
        record.header.keyKind = kind;
        record.value = value.data();
        record.valueLength = static_cast<std::uint32_t>(value.size());
        if (kind == 11 && schedule_made) {
            aes_set_key(schedule, value.data(), static_cast<unsigned>(value.size() * 8));
            record.cache = reinterpret_cast<std::uint8_t*>(&schedule);
            record.cacheLength = sizeof schedule;
            record.cacheKind = CACHE_KEY_SCHEDULE;
        }
    }
    Bytes value;
    AesKey schedule{};
    ObjectRecord record{};
};

Bytes run(CK_MECHANISM_TYPE type, const ObjectRecord& key, CipherDirection direction, CipherState& state,
          const Bytes& in, std::uint32_t expected_status = 0)
{
    Bytes out(in.size());
    EXPECT_EQ(run_cipher(*find_cipher_mechanism(type), key, direction, state, in.data(), in.size(), out.data()),
              expected_status);
    return out;
}

TEST(CipherContext, SessionAesMatchesOpenSsl)
{
    std::mt19937 rng(1);
    for (std::size_t key_bytes : {16u, 24u, 32u}) {
        SessionKey key(11, random_bytes(rng, key_bytes), key_bytes != 24);
        for (std::size_t blocks : {1u, 3u, 70u}) {
            const Bytes plain = random_bytes(rng, blocks * 16);
            const Bytes iv = random_bytes(rng, 16);
            for (const char* mode : {"ECB", "CBC"}) {
                const CK_MECHANISM_TYPE type = mode[0] == 'E' ? CKM_AES_ECB : CKM_AES_CBC;
                const Bytes used_iv = type == CKM_AES_CBC ? iv : Bytes{};
                CipherState state{};
                std::copy(iv.begin(), iv.end(), state.iv);
                const Bytes cipher = run(type, key.record, CipherDirection::encrypt, state, plain);
                EXPECT_EQ(cipher, openssl_aes(mode, key.value, used_iv, plain, true)) << mode << key_bytes;
                state = CipherState{};
                std::copy(iv.begin(), iv.end(), state.iv);
                EXPECT_EQ(run(type, key.record, CipherDirection::decrypt, state, cipher), plain) << mode;
            }
        }
    }
}

TEST(CipherContext, SoftwareAesCbcInPlace)
{
    std::mt19937 rng(2);
    SessionKey key(11, random_bytes(rng, 16));
    const Bytes iv = random_bytes(rng, 16), plain = random_bytes(rng, 64);
    Bytes data = plain, chain = iv;
    ASSERT_EQ(software_aes_cbc(key.schedule, CipherDirection::encrypt, chain.data(), data.data(), data.size(),
                               data.data()),
              0u);
    EXPECT_EQ(data, openssl_aes("CBC", key.value, iv, plain, true));
    EXPECT_EQ(chain, Bytes(data.end() - 16, data.end()));
    chain = iv;
    software_aes_cbc(key.schedule, CipherDirection::decrypt, chain.data(), data.data(), data.size(), data.data());
    EXPECT_EQ(data, plain);
}

TEST(CipherContext, GostStreamModesContinueAcrossCalls)
{
    std::mt19937 rng(3);
    SessionKey key(15, random_bytes(rng, 32));
    const Bytes iv = random_bytes(rng, 8), plain = random_bytes(rng, 16);
    for (CK_MECHANISM_TYPE type : {CKM_GOST28147_CTR, CKM_GOST28147_CFB}) {
        CipherState whole{}, pieces{};
        std::copy(iv.begin(), iv.end(), whole.iv);
        std::copy(iv.begin(), iv.end(), pieces.iv);
        const Bytes once = run(type, key.record, CipherDirection::encrypt, whole, plain);
        Bytes split = run(type, key.record, CipherDirection::encrypt, pieces, Bytes(plain.begin(), plain.begin() + 5));
        const Bytes rest = run(type, key.record, CipherDirection::encrypt, pieces, Bytes(plain.begin() + 5, plain.end()));
        split.insert(split.end(), rest.begin(), rest.end());
        EXPECT_EQ(split, once) << std::hex << type;
        EXPECT_EQ(pieces.keystreamOffset, 0);

        CipherState back{};
        std::copy(iv.begin(), iv.end(), back.iv);
        EXPECT_EQ(run(type, key.record, CipherDirection::decrypt, back, once), plain) << std::hex << type;
    }
    CipherState state{};
    const Bytes cipher = run(CKM_GOST28147_ECB, key.record, CipherDirection::encrypt, state, plain);
    EXPECT_EQ(run(CKM_GOST28147_ECB, key.record, CipherDirection::decrypt, state, cipher), plain);
    run(CKM_GOST28147_ECB, key.record, CipherDirection::encrypt, state, Bytes(12), COMMAND_LENGTH_WRONG);
    run(CKM_AES_ECB, key.record, CipherDirection::encrypt, state, Bytes(16), KEY_KIND_WRONG);
}

TEST(CipherContext, WhichKeysServeWhichMechanism)
{
    DeviceConnection connection{};  // only its presence is looked at
    auto record = [&](std::uint32_t object_class, std::uint8_t kind, bool token, std::uint32_t value_length,
                      std::uint32_t cache_length) {
        ObjectRecord r{};
        r.objectClass = object_class;
        r.header.keyKind = kind;
        r.token = token ? 1 : 0;
        r.connection = token ? &connection : nullptr;
        static std::uint8_t buffer[sizeof(AesKey)];
        r.value = value_length != 0 ? buffer : nullptr;
        r.valueLength = value_length;
        r.cache = cache_length != 0 ? buffer : nullptr;
        r.cacheLength = cache_length;
        r.cacheKind = cache_length != 0 ? CACHE_KEY_SCHEDULE : CACHE_NONE;
        return r;
    };
    struct Case {
        const char* name;
        CK_MECHANISM_TYPE mechanism;
        ObjectRecord key;
        bool fits;
    } cases[] = {
        {"AES session key", CKM_AES_CBC, record(CKO_SECRET_KEY, 11, false, 16, sizeof(AesKey)), true},
        {"AES key, schedule not made yet", CKM_AES_ECB, record(CKO_SECRET_KEY, 11, false, 24, 0), true},
        {"AES key of 20 bytes", CKM_AES_ECB, record(CKO_SECRET_KEY, 11, false, 20, 0), false},
        {"AES key without value", CKM_AES_CBC, record(CKO_SECRET_KEY, 11, false, 0, 0), false},
        {"data object typed AES", CKM_AES_ECB, record(CKO_DATA, 11, false, 16, sizeof(AesKey)), false},
        {"AES token key", CKM_AES_ECB, record(CKO_SECRET_KEY, 11, true, 0, 0), true},
        {"GOST session key", CKM_GOST28147_CTR, record(CKO_SECRET_KEY, 15, false, 32, 0), true},
        {"short GOST value", CKM_GOST28147_CFB, record(CKO_SECRET_KEY, 15, false, 16, 0), false},
        {"GOST key for AES", CKM_AES_ECB, record(CKO_SECRET_KEY, 15, true, 0, 0), false},
        {"Kalyna key", CKM_GOST28147_ECB, record(CKO_SECRET_KEY, 13, true, 0, 0), false},
        {"RSA token key", CKM_RSA_PKCS, record(CKO_PRIVATE_KEY, 8, true, 0, 0), true},
        {"RSA without device", CKM_RSA_PKCS, record(CKO_PRIVATE_KEY, 7, false, 0, 0), false},
        {"EC key", CKM_RSA_PKCS, record(CKO_PRIVATE_KEY, 1, true, 0, 0), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cipher_key_fits(*find_cipher_mechanism(c.mechanism), c.key), c.fits) << c.name;
    EXPECT_EQ(find_cipher_mechanism(CKM_SHA256), nullptr);
    EXPECT_TRUE(find_cipher_mechanism(CKM_RSA_PKCS)->decryptOnly);
}

}  // namespace
}  // namespace vlrp11
