#include "core/channel_crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace vlrp11::sim {
namespace {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// AES-128 in ECB mode without padding: each call to encrypt() is one block.
class BlockCipher {
public:
    explicit BlockCipher(std::span<const std::uint8_t, 16> key) : context_(EVP_CIPHER_CTX_new())
    {
        if (!context_ ||
            EVP_EncryptInit_ex(context_.get(), EVP_aes_128_ecb(), nullptr, key.data(), nullptr) != 1) {
            // Without a working AES the device cannot answer anything meaningful.
            std::abort();
        }
        EVP_CIPHER_CTX_set_padding(context_.get(), 0);
    }

    void encrypt(const std::uint8_t* in, std::uint8_t* out)
    {
        int length = 0;
        if (EVP_EncryptUpdate(context_.get(), out, &length, in, 16) != 1 || length != 16) {
            std::abort();
        }
    }

private:
    CipherContext context_;
};

void increment_big_endian(std::array<std::uint8_t, 16>& counter)
{
    for (int i = 15; i >= 0; --i) {
        if (++counter[static_cast<std::size_t>(i)] != 0) {
            return;
        }
    }
}

}  // namespace

ChannelKeys::ChannelKeys() : counter{}, keystream{}, keystream_pos(0)
{
    key.fill(0xFF);
}

void ChannelKeys::set_key(std::span<const std::uint8_t, 16> new_key)
{
    std::copy(new_key.begin(), new_key.end(), key.begin());
}

void ChannelKeys::reset_to_default()
{
    key.fill(0xFF);
}

std::array<std::uint8_t, 6> channel_mac(const ChannelKeys& keys, std::span<const std::uint8_t> data)
{
    std::array<std::uint8_t, 16> state{};
    std::array<std::uint8_t, 6> mac{};
    if (data.empty()) {
        return mac;
    }
    BlockCipher cipher(keys.key);
    std::size_t filled = 0;
    for (std::uint8_t byte : data) {
        state[filled++] ^= byte;
        if (filled == 16) {
            cipher.encrypt(state.data(), state.data());
            filled = 0;
        }
    }
    if (filled != 0) {
        cipher.encrypt(state.data(), state.data());
    }
    std::copy_n(state.begin(), mac.size(), mac.begin());
    OPENSSL_cleanse(state.data(), state.size());
    return mac;
}

void channel_crypt(ChannelKeys& keys, std::span<std::uint8_t> data)
{
    if (data.empty()) {
        return;
    }
    BlockCipher cipher(keys.key);
    for (std::uint8_t& byte : data) {
        if (keys.keystream_pos == 0) {
            cipher.encrypt(keys.counter.data(), keys.keystream.data());
            increment_big_endian(keys.counter);
        }
        byte ^= keys.keystream[keys.keystream_pos];
        keys.keystream_pos = (keys.keystream_pos + 1) % 16;
    }
}

void aes128_encrypt_block(std::span<const std::uint8_t, 16> key,
                          std::span<const std::uint8_t, 16> in, std::span<std::uint8_t, 16> out)
{
    std::array<std::uint8_t, 16> block;
    std::copy(in.begin(), in.end(), block.begin());
    BlockCipher(key).encrypt(block.data(), out.data());
    OPENSSL_cleanse(block.data(), block.size());
}

}  // namespace vlrp11::sim
