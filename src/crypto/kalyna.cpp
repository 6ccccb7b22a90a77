#include "crypto/kalyna.h"

#include "crypto/byte_order.h"
#include "crypto/kupyna_tables.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {

namespace {

struct Variant {
    std::uint64_t block_words;
    std::uint64_t rounds;
    std::size_t key_words;
};

constexpr Variant variants[] = {{2, 10, 2}, {2, 14, 4}, {4, 14, 4}, {4, 18, 8}, {8, 18, 8}};

const Variant* find_variant(std::uint64_t block_words, std::uint64_t rounds) noexcept
{
    for (const Variant& v : variants) {
        if (v.block_words == block_words && v.rounds == rounds) {
            return &v;
        }
    }
    return nullptr;
}

// Working values of one expansion, wiped together when it ends.
struct Expansion {
    std::uint64_t state[8];
    std::uint64_t kt[8];        // the intermediate key K-sigma
    std::uint64_t kt_round[8];  // K-sigma plus the tweak of the current even round key
    std::uint64_t key[16];      // the key words, rotated as the even round keys advance
    std::uint64_t tweak[8];
    std::uint8_t bytes[64];
};

// One full round on the state: SubBytes, ShiftRows (row r moves r / (8 / nb) columns on) and
// MixColumns, all through the T-tables.
void encipher_round(const KalynaKeySchedule& schedule, std::uint64_t* state) noexcept
{
    const auto& t = *schedule.t_tables;
    const std::size_t nb = schedule.block_words;
    const std::size_t rows_per_shift = 8 / nb;
    std::uint64_t out[8];
    for (std::size_t c = 0; c < nb; ++c) {
        std::uint64_t column = 0;
        for (std::size_t r = 0; r < 8; ++r) {
            const std::size_t source = (c + nb - r / rows_per_shift) % nb;
            column ^= t[r][(state[source] >> (8 * r)) & 0xFF];
        }
        out[c] = column;
    }
    std::memcpy(state, out, nb * sizeof out[0]);
    secure_wipe(out, sizeof out);
}

void add_words(std::uint64_t* state, const std::uint64_t* key, std::size_t nb) noexcept
{
    for (std::size_t i = 0; i < nb; ++i) {
        state[i] += key[i];
    }
}

void xor_words(std::uint64_t* state, const std::uint64_t* key, std::size_t nb) noexcept
{
    for (std::size_t i = 0; i < nb; ++i) {
        state[i] ^= key[i];
    }
}

// The standard's key-schedule pattern: add k0, round, XOR k1, round, add k0. The intermediate
// key runs one more round after it; the even round keys end here.
void mix_in(const KalynaKeySchedule& schedule, std::uint64_t* state, const std::uint64_t* k0,
            const std::uint64_t* k1) noexcept
{
    const std::size_t nb = schedule.block_words;
    add_words(state, k0, nb);
    encipher_round(schedule, state);
    xor_words(state, k1, nb);
    encipher_round(schedule, state);
    add_words(state, k0, nb);
}

void intermediate_key(const KalynaKeySchedule& schedule, const Variant& v, Expansion& e) noexcept
{
    const std::size_t nb = v.block_words;
    std::memset(e.state, 0, sizeof e.state);
    e.state[0] = v.block_words + v.key_words + 1;
    const std::uint64_t* k1 = v.key_words == nb ? e.key : e.key + nb;
    mix_in(schedule, e.state, e.key, k1);
    encipher_round(schedule, e.state);
    std::memcpy(e.kt, e.state, nb * sizeof e.kt[0]);
}

// Round key 2j from the key words at `material` and the tweak 0x0001000100010001 << j.
void even_round_key(KalynaKeySchedule& schedule, Expansion& e, const std::uint64_t* material,
                    std::uint64_t index) noexcept
{
    const std::size_t nb = schedule.block_words;
    for (std::size_t i = 0; i < nb; ++i) {
        e.kt_round[i] = e.kt[i] + e.tweak[i];
    }
    std::memcpy(e.state, material, nb * sizeof e.state[0]);
    mix_in(schedule, e.state, e.kt_round, e.kt_round);
    std::memcpy(schedule.encrypt_keys + index * nb, e.state, nb * sizeof e.state[0]);
}

void even_round_keys(KalynaKeySchedule& schedule, const Variant& v, Expansion& e) noexcept
{
    const std::size_t nb = v.block_words;
    const bool double_length = v.key_words != nb;
    for (std::size_t i = 0; i < nb; ++i) {
        e.tweak[i] = 0x0001000100010001u;
    }
    // A key as long as the block serves every even round key, rotated by one word each time. A
    // double-length key gives its halves in turn and rotates after each pair.
    for (std::uint64_t j = 0; 2 * j <= v.rounds; ++j) {
        const std::uint64_t* material = double_length && j % 2 == 1 ? e.key + nb : e.key;
        even_round_key(schedule, e, material, 2 * j);
        for (std::size_t i = 0; i < nb; ++i) {
            e.tweak[i] <<= 1;
        }
        if (!double_length || j % 2 == 1) {
            const std::uint64_t first = e.key[0];
            std::memmove(e.key, e.key + 1, (v.key_words - 1) * sizeof e.key[0]);
            e.key[v.key_words - 1] = first;
        }
    }
}

// Round key 2j + 1 is round key 2j rotated by 2 * nb + 3 bytes towards byte 0.
void odd_round_keys(KalynaKeySchedule& schedule, Expansion& e) noexcept
{
    const std::size_t nb = schedule.block_words;
    const std::size_t n = nb * 8;
    const std::size_t rotation = 2 * nb + 3;
    for (std::uint64_t index = 1; index < schedule.rounds; index += 2) {
        const std::uint64_t* even = schedule.encrypt_keys + (index - 1) * nb;
        for (std::size_t w = 0; w < nb; ++w) {
            store_le64(e.bytes + 8 * w, even[w]);
        }
        for (std::size_t w = 0; w < nb; ++w) {
            std::uint64_t word = 0;
            for (std::size_t b = 8; b-- > 0;) {
                word = word << 8 | e.bytes[(8 * w + b + rotation) % n];
            }
            schedule.encrypt_keys[index * nb + w] = word;
        }
    }
}

// InvMixColumns of one column: the inverse tables undo the S-box, so each byte goes through its
// S-box first.
std::uint64_t inverse_mix_column(const KalynaKeySchedule& schedule, std::uint64_t column) noexcept
{
    const auto& inverse = *schedule.inverse_t_tables;
    const auto& sboxes = *schedule.sboxes;
    std::uint64_t out = 0;
    for (std::size_t r = 0; r < 8; ++r) {
        out ^= inverse[r][sboxes[r % 4][(column >> (8 * r)) & 0xFF]];
    }
    return out;
}

void decryption_keys(KalynaKeySchedule& schedule) noexcept
{
    const std::size_t nb = schedule.block_words;
    const std::size_t words = (schedule.rounds + 1) * nb;
    std::memcpy(schedule.decrypt_keys, schedule.encrypt_keys, words * sizeof(std::uint64_t));
    for (std::size_t i = nb; i < schedule.rounds * nb; ++i) {
        schedule.decrypt_keys[i] = inverse_mix_column(schedule, schedule.decrypt_keys[i]);
    }
}

}  // namespace

bool kalyna_select_variant(KalynaKeySchedule& schedule, std::size_t block_bits,
                           std::size_t key_bits) noexcept
{
    for (const Variant& v : variants) {
        if (v.block_words * 64 == block_bits && v.key_words * 64 == key_bits) {
            schedule.block_words = v.block_words;
            schedule.rounds = v.rounds;
            schedule.t_tables = &kupyna_t_tables;
            schedule.inverse_t_tables = &kalyna_inverse_t_tables;
            schedule.sboxes = &kupyna_sboxes;
            schedule.inverse_sboxes = &kalyna_inverse_sboxes;
            return true;
        }
    }
    return false;
}

std::size_t kalyna_key_bytes(const KalynaKeySchedule& schedule) noexcept
{
    const Variant* v = find_variant(schedule.block_words, schedule.rounds);
    return v != nullptr ? v->key_words * 8 : 0;
}

bool kalyna_expand_key(KalynaKeySchedule& schedule, const std::uint8_t* key) noexcept
{
    const Variant* v = find_variant(schedule.block_words, schedule.rounds);
    if (v == nullptr) {
        return false;
    }
    Expansion e;
    for (std::size_t i = 0; i < v->key_words; ++i) {
        e.key[i] = load_le64(key + 8 * i);
    }
    intermediate_key(schedule, *v, e);
    even_round_keys(schedule, *v, e);
    odd_round_keys(schedule, e);
    decryption_keys(schedule);
    secure_wipe(e);
    return true;
}

}  // namespace vlrp11
