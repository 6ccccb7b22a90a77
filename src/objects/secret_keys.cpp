#include "objects/secret_keys.h"

#include "crypto/aes.h"
#include "crypto/kalyna.h"
#include "objects/key_kinds.h"
#include "objects/object_record.h"

namespace vlrp11 {
namespace {

struct SecretKeyRow {
    std::uint8_t kind;
    std::uint8_t length;
    std::uint16_t blockBits;  // Kalyna's block; 0 for the other kinds
};

constexpr SecretKeyRow secret_key_table[] = {
    {KEY_KIND_AES, 16, 0},          {KEY_KIND_AES, 24, 0},          {KEY_KIND_AES, 32, 0},
    {KEY_KIND_KALYNA_128, 16, 128}, {KEY_KIND_KALYNA_128, 32, 128}, {KEY_KIND_KALYNA_256, 32, 256},
    {KEY_KIND_KALYNA_256, 64, 256}, {KEY_KIND_KALYNA_512, 64, 512}, {KEY_KIND_GOST28147, 32, 0},
};

// Every kind from 15 up is a GOST 28147-89 key.
std::uint8_t table_kind(std::uint8_t kind) noexcept
{
    return kind > KEY_KIND_GOST28147 ? std::uint8_t{KEY_KIND_GOST28147} : kind;
}

const SecretKeyRow* find_row(std::uint8_t kind, std::size_t length) noexcept
{
    for (const SecretKeyRow& row : secret_key_table)
        if (row.kind == table_kind(kind) && row.length == length)
            return &row;
    return nullptr;
}

constexpr std::uint32_t AES_SCHEDULE_CACHE_BYTES = 496;
static_assert(sizeof(AesKey) <= AES_SCHEDULE_CACHE_BYTES);

}  // namespace

bool secret_key_length_allowed(std::uint8_t kind, std::size_t length) noexcept
{
    return find_row(kind, length) != nullptr;
}

CK_RV build_key_schedule(ObjectRecord& record) noexcept
{
    const SecretKeyRow* row = find_row(record.header.keyKind, record.valueLength);
    if (row == nullptr || record.value == nullptr)
        return CKR_ATTRIBUTE_VALUE_INVALID;
    if (row->kind == KEY_KIND_GOST28147)
        return CKR_OK;
    if (row->kind == KEY_KIND_AES) {
        auto* schedule = reinterpret_cast<AesKey*>(allocate_cache(record, CACHE_KEY_SCHEDULE, AES_SCHEDULE_CACHE_BYTES));
        if (schedule == nullptr)
            return CKR_HOST_MEMORY;
        return aes_set_key(*schedule, record.value, 8 * record.valueLength) == 0 ? CKR_OK : CKR_ATTRIBUTE_VALUE_INVALID;
    }
    auto* schedule =
        reinterpret_cast<KalynaKeySchedule*>(allocate_cache(record, CACHE_KEY_SCHEDULE, sizeof(KalynaKeySchedule)));
    if (schedule == nullptr)
        return CKR_HOST_MEMORY;
    if (!kalyna_select_variant(*schedule, row->blockBits, 8 * record.valueLength) ||
        !kalyna_expand_key(*schedule, record.value))
        return CKR_ATTRIBUTE_VALUE_INVALID;
    return CKR_OK;
}

}  // namespace vlrp11
