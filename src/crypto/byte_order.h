#pragma once

#include <cstdint>
#include <cstring>

// Unaligned loads and stores of fixed-endian words. memcpy keeps them free of alignment and
// aliasing faults; the compiler turns each into one move (plus a byte swap for big-endian).

namespace vlrp11 {

inline std::uint32_t load_be32(const std::uint8_t* p) noexcept
{
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_bswap32(v);
}

inline std::uint64_t load_be64(const std::uint8_t* p) noexcept
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_bswap64(v);
}

inline std::uint32_t load_le32(const std::uint8_t* p) noexcept
{
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t load_le64(const std::uint8_t* p) noexcept
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store_be32(std::uint8_t* p, std::uint32_t v) noexcept
{
    v = __builtin_bswap32(v);
    std::memcpy(p, &v, sizeof v);
}

inline void store_be64(std::uint8_t* p, std::uint64_t v) noexcept
{
    v = __builtin_bswap64(v);
    std::memcpy(p, &v, sizeof v);
}

inline void store_le32(std::uint8_t* p, std::uint32_t v) noexcept
{
    std::memcpy(p, &v, sizeof v);
}

inline void store_le64(std::uint8_t* p, std::uint64_t v) noexcept
{
    std::memcpy(p, &v, sizeof v);
}

}  // namespace vlrp11
