#include "objects/key_derive.h"

#include "objects/digest_context.h"
#include "platform/wipe.h"
#include "vlrp11/pkcs11_vendor.h"

#include <algorithm>

namespace vlrp11 {

namespace {

struct DeriveMechanism {
    CK_MECHANISM_TYPE mechanism;
    CK_MECHANISM_TYPE hash;
    std::uint8_t wrap_algorithm[11];  // DER content of the key-wrap algorithm's OID
};

constexpr DeriveMechanism derive_mechanisms[] = {
    // 1.2.804.2.1.1.1.1.1.1.5: GOST 28147-89 key wrap.
    {CKM_DSTU4145_DERIVE, CKM_GOST34311, {0x2A, 0x86, 0x24, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x05}},
    // 1.2.804.2.1.1.1.1.1.3.11: Kalyna-256 key wrap.
    {CKM_DSTU4145_DERIVE_KALYNA_256, CKM_KUPYNA_256, {0x2A, 0x86, 0x24, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x03, 0x0B}},
};

// A DER length: one byte below 128, else 81 and one byte (nothing here reaches 256).
std::size_t der_length(std::size_t length, std::uint8_t* out) noexcept
{
    if (length < 0x80) {
        out[0] = static_cast<std::uint8_t>(length);
        return 1;
    }
    out[0] = 0x81;
    out[1] = static_cast<std::uint8_t>(length);
    return 2;
}

const DeriveMechanism* find_derive_mechanism(CK_MECHANISM_TYPE mechanism) noexcept
{
    for (const DeriveMechanism& row : derive_mechanisms) {
        if (row.mechanism == mechanism)
            return &row;
    }
    return nullptr;
}

}  // namespace

std::size_t kdf_shared_info(CK_MECHANISM_TYPE mechanism, const std::uint8_t* shared_data, std::size_t shared_length,
                            std::uint8_t* out) noexcept
{
    const DeriveMechanism* row = find_derive_mechanism(mechanism);
    if (row == nullptr || shared_length > derive_shared_data_max)
        return 0;
    if (shared_data == nullptr)
        shared_length = 0;
    constexpr std::uint8_t key_length[] = {0xA2, 0x06, 0x04, 0x04, 0x00, 0x00, 0x01, 0x00};  // 256 bits
    constexpr std::size_t algorithm_bytes = 17;
    const std::size_t content = algorithm_bytes + (shared_length == 0 ? 0 : shared_length + 4) + sizeof key_length;

    std::uint8_t* p = out;
    *p++ = 0x30;
    p += der_length(content, p);
    const std::uint8_t algorithm_head[] = {0x30, 0x0F, 0x06, 0x0B};
    p = std::copy(algorithm_head, algorithm_head + sizeof algorithm_head, p);
    p = std::copy(row->wrap_algorithm, row->wrap_algorithm + sizeof row->wrap_algorithm, p);
    *p++ = 0x05;
    *p++ = 0x00;
    if (shared_length != 0) {
        *p++ = 0xA0;
        *p++ = static_cast<std::uint8_t>(shared_length + 2);
        *p++ = 0x04;
        *p++ = static_cast<std::uint8_t>(shared_length);
        p = std::copy(shared_data, shared_data + shared_length, p);
    }
    p = std::copy(key_length, key_length + sizeof key_length, p);
    return static_cast<std::size_t>(p - out);
}

bool derive_agreement_key(CK_MECHANISM_TYPE mechanism, const std::uint8_t* z, std::size_t z_length,
                          const std::uint8_t* shared_data, std::size_t shared_length, std::uint8_t* out) noexcept
{
    std::uint8_t info[shared_info_max_bytes];
    const std::size_t info_length = kdf_shared_info(mechanism, shared_data, shared_length, info);
    if (info_length == 0)
        return false;
    while (z_length > 0 && z[0] == 0) {
        ++z;
        --z_length;
    }
    constexpr std::uint8_t counter[] = {0x00, 0x00, 0x00, 0x01};
    DigestContext context;
    const CK_MECHANISM hash{find_derive_mechanism(mechanism)->hash, nullptr, 0};
    digest_init(context, &hash);
    digest_update(context, z, z_length);
    digest_update(context, counter, sizeof counter);
    digest_update(context, info, info_length);
    return digest_final(context, out);
}

}  // namespace vlrp11
