#pragma once

// Kalyna (DSTU 7624:2014) key schedules for the five block/key variants. Blocks and round keys are
// little-endian 64-bit words (word j = bytes 8j..8j+7 of the standard's byte string).
//
// The schedule is a plain 2480-byte record owned by the holder of the key object. Its table
// references point at the shared read-only tables of kupyna_tables.h.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vlrp11 {

inline constexpr std::size_t kalyna_max_round_key_words = 19 * 8;  // rounds 0..18 of 512 bits

struct KalynaKeySchedule {
    std::uint64_t encrypt_keys[kalyna_max_round_key_words];  // round keys 0..rounds, consecutive
    std::uint64_t decrypt_keys[kalyna_max_round_key_words];  // keys 1..rounds-1 inverse-mixed
    const std::array<std::array<std::uint64_t, 256>, 8>* t_tables;
    const std::array<std::array<std::uint64_t, 256>, 8>* inverse_t_tables;
    const std::array<std::array<std::uint8_t, 256>, 4>* sboxes;
    const std::array<std::array<std::uint8_t, 256>, 4>* inverse_sboxes;
    std::uint64_t block_words;  // 2, 4 or 8
    std::uint64_t rounds;       // 10, 14 or 18
};

static_assert(sizeof(KalynaKeySchedule) == 2480);

// Selects the variant: sets block_words and rounds for a block of block_bits (128, 256, 512)
// and a key of key_bits (the block length or twice it, at most 512), and points the four table
// references at the shared tables. Returns false, leaving the schedule untouched, for any other
// pair.
bool kalyna_select_variant(KalynaKeySchedule& schedule, std::size_t block_bits,
                           std::size_t key_bits) noexcept;

// Expands key (block_words * 8 bytes, or twice that for the double-length variants, as given by
// block_words and rounds) into encrypt_keys and decrypt_keys. Returns false, writing nothing, when
// block_words and rounds do not name one of the five variants.
bool kalyna_expand_key(KalynaKeySchedule& schedule, const std::uint8_t* key) noexcept;

// Key length in bytes of the variant the schedule names, or 0 when it names none.
std::size_t kalyna_key_bytes(const KalynaKeySchedule& schedule) noexcept;

}  // namespace vlrp11
