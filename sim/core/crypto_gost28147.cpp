#include "core/crypto_gost28147.h"

#include <openssl/crypto.h>

namespace vlrp11::sim {
namespace {

// The default S-box of DSTU 4145, packed: S1 (least significant nibble of the word) to S8,
// sixteen nibbles each, two per byte with the earlier nibble in the high half.
constexpr std::array<std::uint8_t, 64> kPackedSbox = {
    0xa9, 0xd6, 0xeb, 0x45, 0xf1, 0x3c, 0x70, 0x82, 0x80, 0xc4, 0x96, 0x7b, 0x23, 0x1f, 0x5e, 0xad,
    0xf6, 0x58, 0xeb, 0xa4, 0xc0, 0x37, 0x29, 0x1d, 0x38, 0xd9, 0x6b, 0xf0, 0x25, 0xca, 0x4e, 0x17,
    0xf8, 0xe9, 0x72, 0x0d, 0xc6, 0x15, 0xb4, 0x3a, 0x28, 0x97, 0x5f, 0x0b, 0xc1, 0xde, 0xa3, 0x64,
    0x38, 0xb5, 0x64, 0xea, 0x2c, 0x17, 0x9f, 0xd0, 0x12, 0x3e, 0x6d, 0xb8, 0xfa, 0xc5, 0x79, 0x04,
};

constexpr std::uint8_t sbox(unsigned box, unsigned index) {
    std::uint8_t packed = kPackedSbox[box * 8 + index / 2];
    return index % 2 == 0 ? packed >> 4 : packed & 0x0F;
}

// One table per byte of the word: both nibbles substituted at once.
constexpr std::array<std::array<std::uint8_t, 256>, 4> make_byte_tables() {
    std::array<std::array<std::uint8_t, 256>, 4> tables{};
    for (unsigned k = 0; k < 4; ++k)
        for (unsigned v = 0; v < 256; ++v)
            tables[k][v] = static_cast<std::uint8_t>(sbox(2 * k + 1, v >> 4) << 4 | sbox(2 * k, v & 0x0F));
    return tables;
}

constexpr auto kByteTables = make_byte_tables();

std::uint32_t round_function(std::uint32_t half, std::uint32_t key_word) {
    std::uint32_t sum = half + key_word;
    std::uint32_t substituted = 0;
    for (unsigned k = 0; k < 4; ++k)
        substituted |= std::uint32_t{kByteTables[k][(sum >> (8 * k)) & 0xFF]} << (8 * k);
    return substituted << 11 | substituted >> 21;
}

std::uint32_t load32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void store32(std::uint32_t v, std::uint8_t* p) {
    for (unsigned i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// 32 rounds with key word index order[r]; the last round does not swap the halves.
void rounds(const Gost28147Key& key, const std::array<std::uint8_t, 32>& order, std::uint32_t& n1,
            std::uint32_t& n2) {
    for (unsigned r = 0; r < 31; ++r) {
        std::uint32_t next = n2 ^ round_function(n1, key.words[order[r]]);
        n2 = n1;
        n1 = next;
    }
    n2 ^= round_function(n1, key.words[order[31]]);
}

constexpr std::array<std::uint8_t, 32> kEncryptOrder = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7,
                                                        0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
constexpr std::array<std::uint8_t, 32> kDecryptOrder = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0,
                                                        7, 6, 5, 4, 3, 2, 1, 0, 7, 6, 5, 4, 3, 2, 1, 0};

void transform(const Gost28147Key& key, const std::array<std::uint8_t, 32>& order,
               const std::uint8_t* in, std::uint8_t* out) {
    std::uint32_t n1 = load32(in);
    std::uint32_t n2 = load32(in + 4);
    rounds(key, order, n1, n2);
    store32(n1, out);
    store32(n2, out + 4);
}

}  // namespace

Gost28147Key gost28147_key(std::span<const std::uint8_t, 32> bytes) {
    Gost28147Key key{};
    for (unsigned i = 0; i < 8; ++i) key.words[i] = load32(bytes.data() + 4 * i);
    return key;
}

void gost28147_wipe(Gost28147Key& key) { OPENSSL_cleanse(key.words.data(), sizeof key.words); }

void gost28147_encrypt_block(const Gost28147Key& key, const std::uint8_t* in, std::uint8_t* out) {
    transform(key, kEncryptOrder, in, out);
}

void gost28147_decrypt_block(const Gost28147Key& key, const std::uint8_t* in, std::uint8_t* out) {
    transform(key, kDecryptOrder, in, out);
}

bool gost28147_ecb(const Gost28147Key& key, bool encrypt, std::span<const std::uint8_t> in,
                   std::span<std::uint8_t> out) {
    if (in.size() % 8 != 0 || out.size() != in.size()) return false;
    const auto& order = encrypt ? kEncryptOrder : kDecryptOrder;
    for (std::size_t i = 0; i < in.size(); i += 8) transform(key, order, in.data() + i, out.data() + i);
    return true;
}

Gost28147Ctr gost28147_ctr_start(const Gost28147Key& key, std::span<const std::uint8_t, 8> iv) {
    std::array<std::uint8_t, 8> s{};
    gost28147_encrypt_block(key, iv.data(), s.data());
    return Gost28147Ctr{load32(s.data()), load32(s.data() + 4), {}, 8};
}

void gost28147_ctr(const Gost28147Key& key, Gost28147Ctr& state, std::span<std::uint8_t> data) {
    for (std::uint8_t& byte : data) {
        if (state.position == 8) {
            state.n3 += 0x01010101;
            // N4 counts modulo 2^32 - 1: a carry out of 32 bits comes back in at the bottom.
            std::uint64_t sum = std::uint64_t{state.n4} + 0x01010104;
            state.n4 = static_cast<std::uint32_t>(sum > 0xFFFFFFFF ? sum - 0xFFFFFFFF : sum);
            std::array<std::uint8_t, 8> block{};
            store32(state.n3, block.data());
            store32(state.n4, block.data() + 4);
            gost28147_encrypt_block(key, block.data(), state.gamma.data());
            state.position = 0;
        }
        byte ^= state.gamma[state.position++];
    }
}

}  // namespace vlrp11::sim
