#include <array>
#include <bit>
#include <cstring>

#include "crypto/aes_paths.h"
#include "crypto/byte_order.h"
#include "platform/wipe.h"

// The table implementation: the S-box, its inverse and the four round tables of each direction,
// all built by the compiler from the field arithmetic of FIPS 197.

namespace vlrp11 {

namespace {

constexpr std::uint8_t times(std::uint8_t a, std::uint8_t b)
{
    std::uint8_t product = 0;
    for (; b != 0; b >>= 1) {
        if (b & 1)
            product ^= a;
        a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
    }
    return product;
}

// S(x) = affine(x^-1), with 0 mapped through the affine map as 0. Inverses come from the powers
// of the generator 3, which keeps the compile-time work small.
constexpr std::array<std::uint8_t, 256> build_sbox()
{
    std::uint8_t power[255] = {};
    std::uint8_t logarithm[256] = {};
    std::uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        power[i] = x;
        logarithm[x] = static_cast<std::uint8_t>(i);
        x = times(x, 3);
    }
    std::array<std::uint8_t, 256> box{};
    for (int v = 0; v < 256; ++v) {
        const std::uint8_t inverse = v == 0 ? 0 : power[(255 - logarithm[v]) % 255];
        std::uint8_t s = 0x63;
        for (int shift = 0; shift < 5; ++shift)
            s ^= static_cast<std::uint8_t>(inverse << shift | inverse >> ((8 - shift) & 7));
        box[v] = s;
    }
    return box;
}

constexpr std::array<std::uint8_t, 256> sbox = build_sbox();

constexpr std::array<std::uint8_t, 256> build_inverse_sbox()
{
    std::array<std::uint8_t, 256> box{};
    for (int x = 0; x < 256; ++x)
        box[sbox[x]] = static_cast<std::uint8_t>(x);
    return box;
}

constexpr std::array<std::uint8_t, 256> inverse_sbox = build_inverse_sbox();

using RoundTables = std::array<std::array<std::uint32_t, 256>, 4>;

// Table k is table 0 rotated right by 8k bits: the same column product for the byte that sits
// in row k of its column.
constexpr RoundTables build_round_tables(const std::array<std::uint8_t, 256>& box, const std::uint8_t (&column)[4])
{
    RoundTables tables{};
    for (int x = 0; x < 256; ++x) {
        const std::uint8_t s = box[x];
        const std::uint32_t word = std::uint32_t{times(s, column[0])} << 24 | std::uint32_t{times(s, column[1])} << 16 |
                                   std::uint32_t{times(s, column[2])} << 8 | times(s, column[3]);
        for (int k = 0; k < 4; ++k)
            tables[k][x] = std::rotr(word, 8 * k);
    }
    return tables;
}

constexpr std::uint8_t mix_column[4] = {2, 1, 1, 3};
constexpr std::uint8_t inverse_mix_column[4] = {14, 9, 13, 11};
alignas(64) constexpr RoundTables encrypt_tables = build_round_tables(sbox, mix_column);
alignas(64) constexpr RoundTables decrypt_tables = build_round_tables(inverse_sbox, inverse_mix_column);

std::uint32_t sub_word(std::uint32_t w)
{
    return std::uint32_t{sbox[w >> 24]} << 24 | std::uint32_t{sbox[(w >> 16) & 0xff]} << 16 |
           std::uint32_t{sbox[(w >> 8) & 0xff]} << 8 | sbox[w & 0xff];
}

// InvMixColumns of one word: the decryption tables undo the S-box they apply first.
std::uint32_t inverse_mix_word(std::uint32_t w)
{
    return decrypt_tables[0][sbox[w >> 24]] ^ decrypt_tables[1][sbox[(w >> 16) & 0xff]] ^
           decrypt_tables[2][sbox[(w >> 8) & 0xff]] ^ decrypt_tables[3][sbox[w & 0xff]];
}

// The table path keeps its round keys as native 32-bit words inside the byte arrays of the
// schedule; this type lets the compiler know the words alias those bytes.
using KeyWord = std::uint32_t __attribute__((may_alias));

KeyWord* words_of(std::uint8_t (&keys)[15][16])
{
    return reinterpret_cast<KeyWord*>(&keys[0][0]);
}

const KeyWord* words_of(const std::uint8_t (&keys)[15][16])
{
    return reinterpret_cast<const KeyWord*>(&keys[0][0]);
}

// One full round: each output column takes row k from input column c + k, through table k.
void round(const std::uint32_t s[4], std::uint32_t t[4], const RoundTables& tables, const std::uint32_t* key,
           const int (&source)[4])
{
    for (int c = 0; c < 4; ++c)
        t[c] = tables[0][s[c] >> 24] ^ tables[1][(s[(c + source[1]) & 3] >> 16) & 0xff] ^
               tables[2][(s[(c + source[2]) & 3] >> 8) & 0xff] ^ tables[3][s[(c + source[3]) & 3] & 0xff] ^ key[c];
}

void last_round(const std::uint32_t s[4], std::uint8_t out[16], const std::array<std::uint8_t, 256>& box,
                const KeyWord* key, const int (&source)[4])
{
    for (int c = 0; c < 4; ++c) {
        const std::uint32_t w = std::uint32_t{box[s[c] >> 24]} << 24 | std::uint32_t{box[(s[(c + source[1]) & 3] >> 16) & 0xff]} << 16 |
                                std::uint32_t{box[(s[(c + source[2]) & 3] >> 8) & 0xff]} << 8 | box[s[(c + source[3]) & 3] & 0xff];
        store_be32(out + 4 * c, w ^ key[c]);
    }
}

// Row k of column c comes from column c + k when encrypting (ShiftRows) and c - k when
// decrypting (InvShiftRows).
constexpr int encrypt_source[4] = {0, 1, 2, 3};
constexpr int decrypt_source[4] = {0, 3, 2, 1};

void run_cipher(const KeyWord* keys, int rounds, const RoundTables& tables, const std::array<std::uint8_t, 256>& box,
                const int (&source)[4], const std::uint8_t in[16], std::uint8_t out[16])
{
    std::uint32_t s[4], t[4];
    for (int c = 0; c < 4; ++c)
        s[c] = load_be32(in + 4 * c) ^ keys[c];
    for (int r = 1; r < rounds - 1; r += 2) {
        round(s, t, tables, keys + 4 * r, source);
        round(t, s, tables, keys + 4 * (r + 1), source);
    }
    round(s, t, tables, keys + 4 * (rounds - 1), source);
    last_round(t, out, box, keys + 4 * rounds, source);
}

}  // namespace

int aes_expand_key(const std::uint8_t* key, unsigned key_bits, std::uint32_t words[60]) noexcept
{
    const int nk = static_cast<int>(key_bits / 32);
    const int rounds = nk + 6;
    for (int i = 0; i < nk; ++i)
        words[i] = load_be32(key + 4 * i);
    std::uint32_t rcon = 1;
    for (int i = nk; i < 4 * (rounds + 1); ++i) {
        std::uint32_t temp = words[i - 1];
        if (i % nk == 0) {
            temp = sub_word(std::rotl(temp, 8)) ^ (rcon << 24);
            rcon = times(static_cast<std::uint8_t>(rcon), 2);
        } else if (nk > 6 && i % nk == 4) {
            temp = sub_word(temp);
        }
        words[i] = words[i - nk] ^ temp;
    }
    return rounds;
}

void aes_set_key_tables(AesKey& schedule, const std::uint8_t* key, unsigned key_bits) noexcept
{
    std::memset(&schedule, 0, sizeof schedule);
    KeyWord* enc = words_of(schedule.enc_round_keys);
    KeyWord* dec = words_of(schedule.dec_round_keys);
    std::uint32_t expanded[60];
    const int rounds = aes_expand_key(key, key_bits, expanded);
    schedule.rounds = rounds;
    for (int i = 0; i < 4 * (rounds + 1); ++i)
        enc[i] = expanded[i];
    secure_wipe(expanded);
    for (int j = 0; j <= rounds; ++j) {
        for (int c = 0; c < 4; ++c) {
            const std::uint32_t w = enc[4 * (rounds - j) + c];
            dec[4 * j + c] = (j == 0 || j == rounds) ? w : inverse_mix_word(w);
        }
    }
}

void aes_encrypt_block_tables(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept
{
    run_cipher(words_of(schedule.enc_round_keys), schedule.rounds, encrypt_tables, sbox, encrypt_source, in, out);
}

void aes_decrypt_block_tables(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept
{
    run_cipher(words_of(schedule.dec_round_keys), schedule.rounds, decrypt_tables, inverse_sbox, decrypt_source, in, out);
}

}  // namespace vlrp11
