// The key derivation of DSTU 4145 agreements: its SharedInfo is DER that OpenSSL reads back
// whole at every shared-data length (long-form length from 99 bytes on), and the key is the hash
// of Z without leading zeros, the counter and that SharedInfo.
#include "crypto/gost34311.h"
#include "crypto/kupyna.h"
#include "objects/key_derive.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/asn1t.h>
#include <openssl/x509.h>

#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// OpenSSL parses the whole SharedInfo as one SEQUENCE of what RFC 5753 puts there.
void expect_valid_der(const Bytes& info, std::size_t shared_length)
{
    const std::uint8_t* p = info.data();
    ASN1_SEQUENCE_ANY* sequence = d2i_ASN1_SEQUENCE_ANY(nullptr, &p, static_cast<long>(info.size()));
    ASSERT_NE(sequence, nullptr) << shared_length;
    EXPECT_EQ(p, info.data() + info.size()) << shared_length;
    EXPECT_EQ(sk_ASN1_TYPE_num(sequence), shared_length == 0 ? 2 : 3);
    sk_ASN1_TYPE_pop_free(sequence, ASN1_TYPE_free);
}

TEST(KeyDerive, SharedInfoIsDerAtEveryLength)
{
    for (std::size_t s : {0u, 1u, 98u, 99u, 100u}) {
        const Bytes shared(s, 0x5C);
        Bytes info(shared_info_max_bytes);
        info.resize(kdf_shared_info(CKM_DSTU4145_DERIVE, shared.data(), s, info.data()));
        expect_valid_der(info, s);
        EXPECT_EQ(info[1], s == 0 ? 0x19 : s < 99 ? 0x1D + s : 0x81) << s;
        if (s >= 99) {
            EXPECT_EQ(info[2], 0x1D + s);  // the long form
        }
    }
    Bytes info(shared_info_max_bytes);
    EXPECT_EQ(kdf_shared_info(CKM_DSTU4145_DERIVE, info.data(), 101, info.data()), 0u);
    EXPECT_EQ(kdf_shared_info(CKM_ECDH1_DERIVE, nullptr, 0, info.data()), 0u);
    // The Kalyna variant names its own key-wrap algorithm.
    info.resize(kdf_shared_info(CKM_DSTU4145_DERIVE_KALYNA_256, nullptr, 0, info.data()));
    EXPECT_EQ(Bytes(info.begin() + 6, info.begin() + 17),
              (Bytes{0x2A, 0x86, 0x24, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x03, 0x0B}));
}

TEST(KeyDerive, KeyIsTheHashOfSecretCounterAndSharedInfo)
{
    const Bytes z{0x00, 0x00, 0x9A, 0x11, 0x22, 0x33};
    const Bytes shared(99, 0x01);
    for (CK_MECHANISM_TYPE mechanism : {CKM_DSTU4145_DERIVE, CKM_DSTU4145_DERIVE_KALYNA_256}) {
        Bytes input(z.begin() + 2, z.end());
        input.insert(input.end(), {0, 0, 0, 1});
        Bytes info(shared_info_max_bytes);
        info.resize(kdf_shared_info(mechanism, shared.data(), shared.size(), info.data()));
        input.insert(input.end(), info.begin(), info.end());
        Bytes expected(32);
        if (mechanism == CKM_DSTU4145_DERIVE) {
            gost34311_digest(input.data(), input.size(), expected.data());
        } else {
            KupynaContext kupyna;
            kupyna_init(kupyna, 32);
            kupyna_update(kupyna, input.data(), input.size());
            kupyna_final(kupyna, expected.data());
        }
        Bytes key(32);
        ASSERT_TRUE(derive_agreement_key(mechanism, z.data(), z.size(), shared.data(), shared.size(), key.data()));
        EXPECT_EQ(key, expected) << std::hex << mechanism;
    }
    Bytes key(32);
    EXPECT_FALSE(derive_agreement_key(CKM_DSTU4145_DERIVE, z.data(), z.size(), shared.data(), 101, key.data()));
}

}  // namespace
}  // namespace vlrp11
