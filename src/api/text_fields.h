#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace vlrp11 {

// Fills a fixed-width PKCS#11 text field: the text, then blanks; never NUL-terminated. Texts
// longer than the field are cut.
template <std::size_t N>
void copy_padded(unsigned char (&field)[N], std::string_view text) noexcept
{
    std::size_t n = text.size() < N ? text.size() : N;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, ' ', N - n);
}

}  // namespace vlrp11
