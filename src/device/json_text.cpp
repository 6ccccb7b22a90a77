#include "device/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

void blank_comments(char* text, const char* start_token, const char* end_token) noexcept
{
    bool in_string = false;
    bool escaped = false;
    char* p = text;
    while (*p != '\0') {
        if (*p == '\\' && !escaped) {
            escaped = true;
            ++p;
        } else if (*p == '"' && !escaped) {
            in_string = !in_string;
            ++p;
        } else if (!in_string && p[0] == start_token[0] && p[1] == start_token[1]) {
            char* const end = std::strstr(p + 2, end_token);
            p[0] = ' ';
            p[1] = ' ';
            if (end == nullptr) {
                return;
            }
            char* const after = end + std::strlen(end_token);
            std::memset(p + 2, ' ', static_cast<std::size_t>(after - (p + 2)));
            p = after;
        } else {
            escaped = false;
            ++p;
        }
    }
}

int hex_value(char c) noexcept
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads "\uXXXX" at p (bounded by end); -1 when it is not there.
long read_unicode_escape(const char*& p, const char* end) noexcept
{
    if (end - p < 6 || p[0] != '\\' || p[1] != 'u') {
        return -1;
    }
    long code = 0;
    for (int i = 2; i < 6; ++i) {
        const int digit = hex_value(p[i]);
        if (digit < 0) {
            return -1;
        }
        code = code * 16 + digit;
    }
    p += 6;
    return code;
}

// Reads one \u escape, with the low half of a surrogate pair, and writes its UTF-8 form.
bool convert_unicode(const char*& p, const char* end, char*& out) noexcept
{
    long code = read_unicode_escape(p, end);
    if (code < 0 || (code >= 0xDC00 && code <= 0xDFFF)) {
        return false;
    }
    if (code >= 0xD800 && code <= 0xDBFF) {
        const long low = read_unicode_escape(p, end);
        if (low < 0xDC00 || low > 0xDFFF) {
            return false;
        }
        code = 0x10000 + (((code & 0x3FF) << 10) | (low & 0x3FF));
    }
    auto put = [&out](long byte) { *out++ = static_cast<char>(byte); };
    if (code < 0x80) {
        put(code);
    } else if (code < 0x800) {
        put(0xC0 | (code >> 6));
        put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        put(0xE0 | (code >> 12));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    } else {
        put(0xF0 | (code >> 18));
        put(0x80 | ((code >> 12) & 0x3F));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    }
    return true;
}

char simple_escape(char c) noexcept
{
    switch (c) {
    case '"':
    case '\\':
    case '/':
        return c;
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    default:
        return '\0';
    }
}

// Converts the raw text between the quotes. The output is never longer than the raw text.
bool convert_string(const char* p, const char* end, char* out, std::size_t& length) noexcept
{
    char* const start = out;
    while (p < end) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20) {
            return false;
        }
        if (byte != '\\') {
            *out++ = *p++;
        } else if (p[1] == 'u') {
            if (!convert_unicode(p, end, out)) {
                return false;
            }
        } else {
            const char c = simple_escape(p[1]);
            if (c == '\0') {
                return false;
            }
            *out++ = c;
            p += 2;
        }
    }
    *out = '\0';
    length = static_cast<std::size_t>(out - start);
    return true;
}

// Decides whether a decimal text that does not fit a double is too large (true) or too small.
// Such a text lies hundreds of decades away from 1, so the decade of its leading digit tells.
bool overflows(const char* p, const char* end) noexcept
{
    long decade = 0;
    bool significant = false;
    bool after_point = false;
    for (; p < end && *p != 'e' && *p != 'E'; ++p) {
        if (*p == '.') {
            after_point = true;
        } else if (*p >= '0' && *p <= '9') {
            significant = significant || *p != '0';
            if (significant && !after_point) {
                ++decade;
            } else if (!significant && after_point) {
                --decade;
            }
        }
    }
    long exponent = 0;
    if (p < end) {
        ++p;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') {
            ++p;
        }
        for (; p < end && exponent < 100000; ++p) {
            exponent = exponent * 10 + (*p - '0');
        }
        exponent = negative ? -exponent : exponent;
    }
    return decade + exponent > 0;
}

// Bytes that may belong to a number in any form strtod reads ("1e5", "-inf", "nan(0x1)").
const char* number_run_end(const char* p) noexcept
{
    while ((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') ||
           (*p != '\0' && std::strchr(".+-_()", *p) != nullptr)) {
        ++p;
    }
    return p;
}

// The standard library's own conversion would follow the host's locale, which may use a comma
// as the decimal point; the grammar of strtod in the "C" locale is kept, hexadecimal included.
bool is_hex_prefix(const char* p) noexcept
{
    return p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
           (hex_value(p[2]) >= 0 || (p[2] == '.' && hex_value(p[3]) >= 0));
}

}  // namespace

void blank_json_comments(char* text) noexcept
{
    blank_comments(text, "/*", "*/");
    blank_comments(text, "//", "\n");
}

bool read_json_string(const char*& p, JsonString& out) noexcept
{
    const char* const raw = p + 1;
    const char* end = raw;
    while (*end != '"') {
        if (*end == '\0' || (*end == '\\' && *++end == '\0')) {
            return false;
        }
        ++end;
    }
    auto* const bytes = static_cast<char*>(std::malloc(static_cast<std::size_t>(end - raw) + 1));
    if (bytes == nullptr) {
        return false;
    }
    std::size_t length = 0;
    if (!convert_string(raw, end, bytes, length)) {
        std::free(bytes);
        return false;
    }
    out = {bytes, length};
    p = end + 1;
    return true;
}

bool read_json_number(const char*& p, double& value) noexcept
{
    const char* const start = p;
    const char* const digits = *p == '-' ? p + 1 : p;
    if (is_hex_prefix(digits)) {
        return false;
    }
    const std::from_chars_result parsed = std::from_chars(start, number_run_end(start), value);
    if (parsed.ec == std::errc::invalid_argument) {
        value = 0;
        return true;
    }
    if (parsed.ec == std::errc::result_out_of_range) {
        if (overflows(start, parsed.ptr)) {
            return false;
        }
        value = *start == '-' ? -0.0 : 0.0;  // an underflow reads as zero
    }
    const std::size_t used = static_cast<std::size_t>(parsed.ptr - start);
    if ((used > 1 && start[0] == '0' && start[1] != '.') ||
        (used > 2 && start[0] == '-' && start[1] == '0' && start[2] != '.')) {
        return false;
    }
    if (!std::isfinite(value)) {
        return false;
    }
    p = parsed.ptr;
    return true;
}

}  // namespace vlrp11
