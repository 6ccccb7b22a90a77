#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/output.h"
#include "api/slot_record.h"
#include "crypto/byte_order.h"
#include "device/device_connection.h"
#include "vlrp11/pkcs11_vendor.h"

#include <iterator>

namespace vlrp11 {
namespace {

// What every device offers, then (from entry 34 on) the RSA mechanisms of models 2000 and up.
constexpr CK_MECHANISM_TYPE mechanism_list[] = {
    CKM_SHA_1, CKM_SHA224, CKM_SHA256, CKM_SHA384, CKM_SHA512,
    CKM_SHA3_256, CKM_SHA3_384, CKM_SHA3_512, CKM_SHA3_224,
    CKM_EC_KEY_PAIR_GEN, CKM_ECDSA, CKM_ECDSA_SHA1, CKM_ECDSA_SHA224, CKM_ECDSA_SHA256,
    CKM_ECDSA_SHA384, CKM_ECDSA_SHA512, CKM_ECDSA_SHA3_224, CKM_ECDSA_SHA3_256,
    CKM_ECDSA_SHA3_384, CKM_ECDSA_SHA3_512,
    CKM_GOST28147_KEY_WRAP,
    CKM_GOST34311, CKM_KUPYNA_256, CKM_KUPYNA_384, CKM_KUPYNA_512,
    CKM_DSTU4145, CKM_DSTU4145_GOST34311, CKM_DSTU4145_KUPYNA_256, CKM_DSTU4145_KUPYNA_384,
    CKM_DSTU4145_KUPYNA_512,
    CKM_GOST28147_KEY_GEN, CKM_DSTU4145_KEY_PAIR_GEN, CKM_DSTU4145_DERIVE,
    CKM_RSA_PKCS_KEY_PAIR_GEN, CKM_RSA_PKCS, CKM_SHA1_RSA_PKCS, CKM_SHA224_RSA_PKCS,
    CKM_SHA256_RSA_PKCS, CKM_SHA384_RSA_PKCS, CKM_SHA512_RSA_PKCS, CKM_SHA3_256_RSA_PKCS,
    CKM_SHA3_384_RSA_PKCS, CKM_SHA3_512_RSA_PKCS, CKM_SHA3_224_RSA_PKCS,
};
static_assert(std::size(mechanism_list) == 44);
constexpr CK_ULONG mechanisms_without_rsa = 33;
constexpr std::uint32_t first_rsa_model = 2000;

struct MechanismInfoRow {
    CK_MECHANISM_TYPE type;
    CK_ULONG minKeySize;  // bytes for symmetric keys, bits for RSA and elliptic curves
    CK_ULONG maxKeySize;
    CK_FLAGS flags;
};

constexpr CK_FLAGS rsa_sign = CKF_HW | CKF_SIGN;
constexpr CK_FLAGS ecdsa = CKF_HW | CKF_SIGN | CKF_VERIFY | CKF_EC_F_P | CKF_EC_F_2M | CKF_EC_ECPARAMETERS | CKF_EC_OID;
constexpr CK_FLAGS dstu_curves = CKF_HW | CKF_EC_F_2M | CKF_EC_ECPARAMETERS | CKF_EC_OID | CKF_EC_COMPRESS;
constexpr CK_FLAGS dstu_sign = dstu_curves | CKF_SIGN | CKF_VERIFY;
constexpr CK_FLAGS secret_key_gen = CKF_HW | CKF_GENERATE;
constexpr CK_FLAGS block_cipher = CKF_HW | CKF_ENCRYPT | CKF_DECRYPT;

// The same answer on every device, including the cipher mechanisms that the list leaves out.
constexpr MechanismInfoRow mechanism_info[] = {
    {CKM_RSA_PKCS_KEY_PAIR_GEN, 1024, 4096, CKF_HW | CKF_GENERATE_KEY_PAIR},
    {CKM_RSA_PKCS, 1024, 4096, CKF_HW | CKF_ENCRYPT | CKF_DECRYPT | CKF_SIGN | CKF_VERIFY},
    {CKM_SHA1_RSA_PKCS, 1024, 4096, rsa_sign},
    {CKM_SHA224_RSA_PKCS, 1024, 4096, rsa_sign},
    {CKM_SHA256_RSA_PKCS, 1024, 4096, rsa_sign},
    {CKM_SHA384_RSA_PKCS, 1024, 4096, rsa_sign},
    {CKM_SHA512_RSA_PKCS, 1024, 4096, rsa_sign},
    {CKM_SHA3_224_RSA_PKCS, 1024, 4096, rsa_sign},
    {CKM_SHA3_256_RSA_PKCS, 1024, 4096, rsa_sign},
    {CKM_SHA3_384_RSA_PKCS, 1024, 4096, rsa_sign},
    {CKM_SHA3_512_RSA_PKCS, 1024, 4096, rsa_sign},
    {CKM_SHA_1, 0, 0, CKF_DIGEST},
    {CKM_SHA224, 0, 0, CKF_DIGEST},
    {CKM_SHA256, 0, 0, CKF_DIGEST},
    {CKM_SHA384, 0, 0, CKF_DIGEST},
    {CKM_SHA512, 0, 0, CKF_DIGEST},
    {CKM_SHA3_224, 0, 0, CKF_DIGEST},
    {CKM_SHA3_256, 0, 0, CKF_DIGEST},
    {CKM_SHA3_384, 0, 0, CKF_DIGEST},
    {CKM_SHA3_512, 0, 0, CKF_DIGEST},
    {CKM_GOST34311, 0, 0, CKF_DIGEST},
    {CKM_KUPYNA_256, 0, 0, CKF_DIGEST},
    {CKM_KUPYNA_384, 0, 0, CKF_DIGEST},
    {CKM_KUPYNA_512, 0, 0, CKF_DIGEST},
    {CKM_EC_KEY_PAIR_GEN, 256, 521, CKF_HW | CKF_GENERATE_KEY_PAIR | CKF_EC_F_P | CKF_EC_ECPARAMETERS | CKF_EC_OID},
    {CKM_ECDSA, 256, 521, ecdsa},
    {CKM_ECDSA_SHA1, 256, 521, ecdsa},
    {CKM_ECDSA_SHA224, 256, 521, ecdsa},
    {CKM_ECDSA_SHA256, 256, 521, ecdsa},
    {CKM_ECDSA_SHA384, 256, 521, ecdsa},
    {CKM_ECDSA_SHA512, 256, 521, ecdsa},
    {CKM_ECDSA_SHA3_224, 256, 521, ecdsa},
    {CKM_ECDSA_SHA3_256, 256, 521, ecdsa},
    {CKM_ECDSA_SHA3_384, 256, 521, ecdsa},
    {CKM_ECDSA_SHA3_512, 256, 521, ecdsa},
    {CKM_AES_KEY_GEN, 16, 32, secret_key_gen},
    {CKM_KALYNA_128_KEY_GEN, 16, 32, secret_key_gen},
    {CKM_AES_ECB, 16, 32, block_cipher},
    {CKM_AES_CBC, 16, 32, block_cipher},
    {CKM_GOST28147_ECB, 32, 32, block_cipher},
    {CKM_GOST28147_CTR, 32, 32, block_cipher},
    {CKM_GOST28147_CFB, 32, 32, block_cipher},
    {CKM_GOST28147_KEY_WRAP, 32, 32, CKF_WRAP | CKF_UNWRAP},
    {CKM_DSTU4145, 163, 509, dstu_sign},
    {CKM_DSTU4145_GOST34311, 163, 509, dstu_sign},
    {CKM_DSTU4145_KUPYNA_256, 163, 509, dstu_sign},
    {CKM_DSTU4145_KUPYNA_384, 163, 509, dstu_sign},
    {CKM_DSTU4145_KUPYNA_512, 163, 509, dstu_sign},
    {CKM_GOST28147_KEY_GEN, 32, 32, secret_key_gen},
    {CKM_DSTU4145_KEY_PAIR_GEN, 163, 509, dstu_curves | CKF_GENERATE_KEY_PAIR},
    {CKM_DSTU4145_DERIVE, 163, 509, dstu_curves | CKF_DERIVE},
    {CKM_KALYNA_256_KEY_GEN, 32, 64, secret_key_gen},
    {CKM_KALYNA_512_KEY_GEN, 64, 64, secret_key_gen},
};

}  // namespace

CK_RV C_GetMechanismList(CK_SLOT_ID slotID, CK_MECHANISM_TYPE_PTR pMechanismList, CK_ULONG_PTR pulCount)
{
    LibraryLock lock;
    SlotRecord* slot = nullptr;
    if (CK_RV rv = resolveSlotId(slotID, slot); rv != CKR_OK)
        return rv;
    if (pulCount == nullptr)
        return CKR_ARGUMENTS_BAD;
    std::uint32_t model = load_le32(slot->connection->device_info + DEVICE_INFO_MODEL);
    CK_ULONG count = model < first_rsa_model ? mechanisms_without_rsa : std::size(mechanism_list);
    return copy_list_out(mechanism_list, count, pMechanismList, pulCount);
}

CK_RV C_GetMechanismInfo(CK_SLOT_ID slotID, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO_PTR pInfo)
{
    LibraryLock lock;
    SlotRecord* slot = nullptr;
    if (CK_RV rv = resolveSlotId(slotID, slot); rv != CKR_OK)
        return rv;
    if (pInfo == nullptr)
        return CKR_ARGUMENTS_BAD;
    for (const MechanismInfoRow& row : mechanism_info) {
        if (row.type == type) {
            *pInfo = CK_MECHANISM_INFO{row.minKeySize, row.maxKeySize, row.flags};
            return CKR_OK;
        }
    }
    return CKR_MECHANISM_INVALID;
}

}  // namespace vlrp11
