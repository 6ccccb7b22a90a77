#include "objects/key_kinds.h"

#include "vlrp11/pkcs11_vendor.h"

namespace vlrp11 {
namespace {

struct KindRow {
    std::uint8_t firstKind;
    std::uint8_t lastKind;
    KeyFamily family;
    CK_KEY_TYPE type;
};

constexpr KindRow kind_table[] = {
    {KEY_KIND_EC, KEY_KIND_EC, FAMILY_EC, CKK_EC},
    {KEY_KIND_DSTU4145_FIRST, KEY_KIND_DSTU4145_LAST, FAMILY_DSTU4145, CKK_DSTU4145},
    {KEY_KIND_RSA, KEY_KIND_RSA_GENERATED, FAMILY_RSA, CKK_RSA},
    {KEY_KIND_AES, KEY_KIND_AES, FAMILY_SECRET, CKK_AES},
    {KEY_KIND_KALYNA_128, KEY_KIND_KALYNA_128, FAMILY_SECRET, CKK_KALYNA_128},
    {KEY_KIND_KALYNA_256, KEY_KIND_KALYNA_256, FAMILY_SECRET, CKK_KALYNA_256},
    {KEY_KIND_KALYNA_512, KEY_KIND_KALYNA_512, FAMILY_SECRET, CKK_KALYNA_512},
    {KEY_KIND_GOST28147, 0xFF, FAMILY_SECRET, CKK_GOST28147},
};

const KindRow* find_kind(std::uint8_t kind) noexcept
{
    for (const KindRow& row : kind_table)
        if (kind >= row.firstKind && kind <= row.lastKind)
            return &row;
    return nullptr;
}

}  // namespace

KeyFamily key_family(std::uint8_t kind) noexcept
{
    const KindRow* row = find_kind(kind);
    return row != nullptr ? row->family : FAMILY_NONE;
}

bool key_type_of(std::uint8_t kind, CK_KEY_TYPE& type) noexcept
{
    const KindRow* row = find_kind(kind);
    if (row == nullptr)
        return false;
    type = row->type;
    return true;
}

bool secret_key_kind(CK_KEY_TYPE type, std::uint8_t& kind) noexcept
{
    for (const KindRow& row : kind_table) {
        if (row.family == FAMILY_SECRET && row.type == type) {
            kind = row.firstKind;
            return true;
        }
    }
    return false;
}

}  // namespace vlrp11
