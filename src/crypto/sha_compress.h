#pragma once

#include <cstddef>
#include <cstdint>

// The block compressions of SHA-1 and SHA-256 in their two forms, portable C++ and the
// processor's SHA instructions, and of SHA-512, portable C++ and a message schedule in AVX2
// vectors beside the scalar rounds. Each takes `count` consecutive blocks (64 bytes, 128 for
// SHA-512) and updates `state` in place; the message need not be aligned.

namespace vlrp11 {

enum class ShaPath : std::uint8_t { portable = 0, instructions = 1 };

// The path every SHA-1 and SHA-256 context of the process uses. Decided by CPUID at the first
// call: the instructions when the processor has SHA, SSSE3 and SSE4.1.
ShaPath sha_path() noexcept;

// The path of SHA-384 and SHA-512, decided by CPUID at the first call on its own: the
// instructions when the processor has AVX2 (sha512_instructions_supported).
ShaPath sha512_path() noexcept;
bool sha512_instructions_supported() noexcept;

// Override the decisions, so tests can run the same messages over both paths. Selecting the
// instruction path on a processor without it is the caller's fault.
void sha_set_path(ShaPath path) noexcept;
void sha512_set_path(ShaPath path) noexcept;

// The 64 round constants of SHA-256, 16-byte aligned for the instruction path.
extern const std::uint32_t sha256_round_constants[64];

void sha1_compress_portable(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count) noexcept;
void sha1_compress_shani(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count) noexcept;
void sha256_compress_portable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept;
void sha256_compress_shani(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept;

void sha512_compress_portable(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept;
void sha512_compress_avx2(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept;

inline void sha1_compress(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count) noexcept
{
    if (sha_path() == ShaPath::instructions)
        sha1_compress_shani(state, blocks, count);
    else
        sha1_compress_portable(state, blocks, count);
}

inline void sha256_compress(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept
{
    if (sha_path() == ShaPath::instructions)
        sha256_compress_shani(state, blocks, count);
    else
        sha256_compress_portable(state, blocks, count);
}

inline void sha512_compress(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept
{
    if (sha512_path() == ShaPath::instructions)
        sha512_compress_avx2(state, blocks, count);
    else
        sha512_compress_portable(state, blocks, count);
}

}  // namespace vlrp11
