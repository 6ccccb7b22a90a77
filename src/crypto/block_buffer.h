#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vlrp11 {

// The update step of the block hashes: tops up the partial block held in `block` (`pending`
// bytes of `block_size`), compresses whole blocks straight from the input, and keeps the
// rest. compress(blocks, count) consumes `count` consecutive blocks. Returns the bytes now
// pending. A length of 0 does nothing, so `in` may then be null.
template <typename Compress>
std::size_t absorb_blocks(std::uint8_t* block, std::size_t block_size, std::size_t pending, const std::uint8_t* in,
                          std::size_t length, Compress compress)
{
    if (length == 0)
        return pending;
    if (pending != 0) {
        const std::size_t take = length < block_size - pending ? length : block_size - pending;
        std::memcpy(block + pending, in, take);
        in += take;
        length -= take;
        pending += take;
        if (pending < block_size)
            return pending;
        compress(block, 1);
    }
    if (length >= block_size) {
        compress(in, length / block_size);
        in += length / block_size * block_size;
        length %= block_size;
    }
    if (length != 0)
        std::memcpy(block, in, length);
    return length;
}

// The final step of the block hashes: 0x80 after the `pending` message bytes, zeros, and the
// encoded message length in the last `length_size` bytes of the block; when the length does not
// fit after the 0x80, it goes into an extra block of zeros.
template <typename Compress>
void pad_and_compress(std::uint8_t* block, std::size_t block_size, std::size_t pending, const std::uint8_t* length_field,
                      std::size_t length_size, Compress compress)
{
    block[pending++] = 0x80;
    std::memset(block + pending, 0, block_size - pending);
    if (pending > block_size - length_size) {
        compress(block, 1);
        std::memset(block, 0, block_size);
    }
    std::memcpy(block + block_size - length_size, length_field, length_size);
    compress(block, 1);
}

}  // namespace vlrp11
