#include "objects/cipher_context.h"

#include "crypto/gost28147.h"
#include "device/status.h"
#include "objects/key_kinds.h"
#include "platform/wipe.h"
#include "vlrp11/pkcs11_vendor.h"

namespace vlrp11 {

namespace {

constexpr std::size_t aes_block = 16;
constexpr std::size_t gost_block = 8;

constexpr CipherMechanism cipher_mechanisms[] = {
    {CKM_AES_ECB, KEY_KIND_AES, KEY_KIND_AES, 0, aes_block, false},
    {CKM_AES_CBC, KEY_KIND_AES, KEY_KIND_AES, aes_block, aes_block, false},
    {CKM_GOST28147_ECB, KEY_KIND_GOST28147, KEY_KIND_GOST28147, 0, gost_block, false},
    {CKM_GOST28147_CTR, KEY_KIND_GOST28147, KEY_KIND_GOST28147, gost_block, 1, false},
    {CKM_GOST28147_CFB, KEY_KIND_GOST28147, KEY_KIND_GOST28147, gost_block, 1, false},
    {CKM_RSA_PKCS, KEY_KIND_RSA, KEY_KIND_RSA_GENERATED, 0, 1, true},
};

bool on_device(const ObjectRecord& key) noexcept
{
    return key.token == 1 && key.connection != nullptr;
}

// The schedule a session AES key keeps in its cache once it was made; null before.
const AesKey* cached_aes_schedule(const ObjectRecord& key) noexcept
{
    if (key.cache == nullptr || key.cacheKind != CACHE_KEY_SCHEDULE || key.cacheLength < sizeof(AesKey))
        return nullptr;
    return reinterpret_cast<const AesKey*>(key.cache);
}

bool has_aes_value(const ObjectRecord& key) noexcept
{
    return key.value != nullptr && (key.valueLength == 16 || key.valueLength == 24 || key.valueLength == 32);
}

bool has_gost_value(const ObjectRecord& key) noexcept
{
    return key.value != nullptr && key.valueLength == gost28147_key_bytes;
}

std::uint32_t run_aes(const CipherMechanism& mechanism, const ObjectRecord& key, CipherDirection direction,
                      CipherState& state, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept
{
    const bool cbc = mechanism.mechanism == CKM_AES_CBC;
    if (on_device(key)) {
        if (cbc)
            return device_cbc16(*key.connection, key.deviceIndex, direction, state.iv, in, length, out);
        return device_ecb(*key.connection, key.deviceIndex, aes_block, direction, in, length, out);
    }
    // Without a cached schedule, one is made for this call.
    Wiped<AesKey> made;
    const AesKey* cached = cached_aes_schedule(key);
    if (cached == nullptr)
        aes_set_key(made.value, key.value, key.valueLength * 8);
    const AesKey& schedule = cached != nullptr ? *cached : made.value;
    if (cbc)
        return software_aes_cbc(schedule, direction, state.iv, in, length, out);
    for (std::size_t at = 0; at < length; at += aes_block) {
        const std::uint8_t status = direction == CipherDirection::encrypt
                                        ? aes_encrypt_block(schedule, in + at, out + at)
                                        : aes_decrypt_block(schedule, in + at, out + at);
        if (status != DEVICE_OK)
            break;  // software ECB reports no block failure
    }
    return 0;
}

std::uint32_t run_gost(const CipherMechanism& mechanism, const ObjectRecord& key, CipherDirection direction,
                       CipherState& state, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept
{
    std::uint32_t schedule[8] = {};
    GostBlockCipher cipher{nullptr, key.deviceIndex, schedule};
    if (on_device(key))
        cipher.connection = key.connection;
    else
        gost28147_load_key(key.value, schedule);

    std::uint32_t status = 0;
    switch (mechanism.mechanism) {
    case CKM_GOST28147_ECB:
        if (cipher.connection != nullptr)
            status = device_ecb(*cipher.connection, key.deviceIndex, gost_block, direction, in, length, out);
        else if (direction == CipherDirection::encrypt)
            gost28147_ecb_encrypt(schedule, in, length, out);
        else
            gost28147_ecb_decrypt(schedule, in, length, out);
        break;
    case CKM_GOST28147_CTR:
        if (cipher.connection != nullptr)
            status = gost_ctr(cipher, &state.keystreamOffset, state.iv, state.keystream, in, length, out);
        else
            gost28147_ctr(schedule, &state.keystreamOffset, state.iv, state.keystream, in, length, out);
        break;
    default:
        status = gost_cfb(cipher, direction, &state.keystreamOffset, state.iv, in, length, out);
        break;
    }
    secure_wipe(schedule);
    return status;
}

}  // namespace

const CipherMechanism* find_cipher_mechanism(CK_MECHANISM_TYPE mechanism) noexcept
{
    for (const CipherMechanism& row : cipher_mechanisms) {
        if (row.mechanism == mechanism)
            return &row;
    }
    return nullptr;
}

bool cipher_key_fits(const CipherMechanism& mechanism, const ObjectRecord& key) noexcept
{
    const std::uint8_t kind = key.header.keyKind;
    if (kind < mechanism.keyKindFirst || kind > mechanism.keyKindLast)
        return false;
    if (mechanism.mechanism == CKM_RSA_PKCS)
        return key.objectClass == CKO_PRIVATE_KEY && on_device(key);
    if (key.objectClass != CKO_SECRET_KEY)
        return false;
    if (on_device(key))
        return true;
    if (kind == KEY_KIND_AES)
        return cached_aes_schedule(key) != nullptr || has_aes_value(key);
    return has_gost_value(key);
}

std::uint32_t software_aes_cbc(const AesKey& key, CipherDirection direction, std::uint8_t* chain,
                               const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept
{
    if (direction == CipherDirection::encrypt)
        aes_cbc_encrypt(key, chain, in, out, length / aes_block);
    else
        aes_cbc_decrypt(key, chain, in, out, length / aes_block);
    return 0;
}

std::uint32_t run_cipher(const CipherMechanism& mechanism, const ObjectRecord& key, CipherDirection direction,
                         CipherState& state, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept
{
    if (mechanism.mechanism == CKM_RSA_PKCS || !cipher_key_fits(mechanism, key))
        return KEY_KIND_WRONG;
    if (length % mechanism.blockBytes != 0)
        return COMMAND_LENGTH_WRONG;
    if (mechanism.keyKindFirst == KEY_KIND_AES)
        return run_aes(mechanism, key, direction, state, in, length, out);
    return run_gost(mechanism, key, direction, state, in, length, out);
}

}  // namespace vlrp11
