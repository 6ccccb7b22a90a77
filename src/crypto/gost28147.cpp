#include "crypto/gost28147.h"

#include "crypto/gost28147_rounds.h"

#include <algorithm>

namespace vlrp11 {

using gost28147_detail::DefaultRound;
using gost28147_detail::LookupRound;

namespace {

// 32 decryption rounds: K0..K7 once, then K7..K0 three times.
void decrypt_words(std::uint32_t& n1, std::uint32_t& n2, const std::uint32_t* k) noexcept
{
    const DefaultRound f;
    std::uint32_t a = n1;
    std::uint32_t b = n2;
    gost28147_detail::rounds_forward(a, b, k, f);
    gost28147_detail::rounds_backward(a, b, k, f);
    gost28147_detail::rounds_backward(a, b, k, f);
    gost28147_detail::rounds_backward(a, b, k, f);
    n1 = b;
    n2 = a;
}

// N3 runs modulo 2^32 and N4 modulo 2^32 - 1, so N4 skips the value 2^32 - 1 when it wraps.
void next_gamma(const std::uint32_t* key, std::uint8_t* counter, std::uint8_t* gamma) noexcept
{
    const std::uint32_t n3 = load_le32(counter) + 0x01010101u;
    std::uint32_t n4 = load_le32(counter + 4);
    n4 += n4 > 0xFEFEFEFBu ? 0x01010105u : 0x01010104u;
    store_le32(counter, n3);
    store_le32(counter + 4, n4);
    std::copy_n(counter, gost28147_block_bytes, gamma);
    gost28147_detail::encrypt_block(gamma, key, DefaultRound{});
}

}  // namespace

void gost28147_load_key(const std::uint8_t* key_bytes, std::uint32_t* key) noexcept
{
    for (int i = 0; i < 8; ++i) {
        key[i] = load_le32(key_bytes + 4 * i);
    }
}

void gost28147_encrypt_block(std::uint8_t* block, const std::uint32_t* key,
                             const std::uint8_t* sbox) noexcept
{
    if (sbox == nullptr) {
        gost28147_detail::encrypt_block(block, key, DefaultRound{});
    } else {
        gost28147_detail::encrypt_block(block, key, LookupRound{sbox});
    }
}

void gost28147_decrypt_block(std::uint8_t* block, const std::uint32_t* key) noexcept
{
    std::uint32_t n1 = load_le32(block);
    std::uint32_t n2 = load_le32(block + 4);
    decrypt_words(n1, n2, key);
    store_le32(block, n1);
    store_le32(block + 4, n2);
}

void gost28147_ecb_encrypt(const std::uint32_t* key, const std::uint8_t* in, std::size_t length,
                           std::uint8_t* out) noexcept
{
    for (std::size_t i = 0; i + gost28147_block_bytes <= length; i += gost28147_block_bytes) {
        std::uint32_t n1 = load_le32(in + i);
        std::uint32_t n2 = load_le32(in + i + 4);
        gost28147_detail::encrypt_words(n1, n2, key, DefaultRound{});
        store_le32(out + i, n1);
        store_le32(out + i + 4, n2);
    }
}

void gost28147_ecb_decrypt(const std::uint32_t* key, const std::uint8_t* in, std::size_t length,
                           std::uint8_t* out) noexcept
{
    for (std::size_t i = 0; i + gost28147_block_bytes <= length; i += gost28147_block_bytes) {
        std::uint32_t n1 = load_le32(in + i);
        std::uint32_t n2 = load_le32(in + i + 4);
        decrypt_words(n1, n2, key);
        store_le32(out + i, n1);
        store_le32(out + i + 4, n2);
    }
}

void gost28147_ctr(const std::uint32_t* key, std::int32_t* position, std::uint8_t* counter,
                   std::uint8_t* gamma, const std::uint8_t* in, std::size_t length,
                   std::uint8_t* out) noexcept
{
    // Only 0..7 index the gamma block; any other stored value (-1 by contract) starts the
    // stream rather than reading outside the buffer.
    std::int32_t pos = position != nullptr ? *position : -1;
    if (pos < 0 || pos >= static_cast<std::int32_t>(gost28147_block_bytes)) {
        gost28147_detail::encrypt_block(counter, key, DefaultRound{});
        pos = 0;
    }
    std::size_t done = 0;
    while (done < length) {
        if (pos == 0) {
            next_gamma(key, counter, gamma);
        }
        const std::size_t n =
            std::min(gost28147_block_bytes - static_cast<std::size_t>(pos), length - done);
        for (std::size_t j = 0; j < n; ++j) {
            out[done + j] = static_cast<std::uint8_t>(in[done + j] ^ gamma[pos + j]);
        }
        done += n;
        pos = static_cast<std::int32_t>((static_cast<std::size_t>(pos) + n) % gost28147_block_bytes);
    }
    if (position != nullptr) {
        *position = pos;
    }
}

void gost28147_mac32(std::uint32_t* state, const std::uint8_t* data,
                     const std::uint32_t* key) noexcept
{
    // The 16-round cycle of the MAC swaps the halves after its last round as well, unlike the
    // 32-round cycles: (N1, N2) ends as (a, b). This is the GOST 28147-89 MAC that other
    // implementations and the published MAC values use.
    const DefaultRound f;
    std::uint32_t n1 = state[0];
    std::uint32_t n2 = state[1];
    for (int i = 0; i < 4; ++i) {
        std::uint32_t a = n1 ^ load_le32(data + 8 * i);
        std::uint32_t b = n2 ^ load_le32(data + 8 * i + 4);
        gost28147_detail::rounds_forward(a, b, key, f);
        gost28147_detail::rounds_forward(a, b, key, f);
        n1 = a;
        n2 = b;
    }
    state[0] = n1;
    state[1] = n2;
}

}  // namespace vlrp11
