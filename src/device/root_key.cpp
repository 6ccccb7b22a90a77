#include "device/root_key.h"

#include <string_view>

namespace vlrp11 {
namespace {

constexpr std::uint8_t hex_digit(char c)
{
    return static_cast<std::uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}

constexpr std::array<std::uint8_t, 64> decode(std::string_view hex)
{
    std::array<std::uint8_t, 64> key{};
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<std::uint8_t>(hex_digit(hex[2 * i]) << 4 | hex_digit(hex[2 * i + 1]));
    return key;
}

static_assert(std::string_view(VLRP11_ROOT_PUBLIC_KEY_HEX).size() == 128);

}  // namespace

constexpr std::array<std::uint8_t, 64> ROOT_PUBLIC_KEY = decode(VLRP11_ROOT_PUBLIC_KEY_HEX);

}  // namespace vlrp11
