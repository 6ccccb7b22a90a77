#include "objects/certificate_parts.h"

namespace vlrp11 {
namespace {

constexpr std::uint8_t DER_UTC_TIME = 0x17;
constexpr std::uint8_t DER_GENERALIZED_TIME = 0x18;

// Reads count decimal digits; false when one is not 0..9.
bool read_digits(const std::uint8_t*& p, int count, int& value) noexcept
{
    value = 0;
    for (int i = 0; i < count; ++i, ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        value = value * 10 + (*p - '0');
    }
    return true;
}

int days_in_month(int year, int month) noexcept
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool is_valid(const CertificateDate& d) noexcept
{
    return d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= days_in_month(d.year, d.month) && d.hour <= 23 && d.minute <= 59 &&
           d.second <= 59;
}

}  // namespace

CertificateStatus read_date(const std::uint8_t*& cursor, const std::uint8_t* end, CertificateDate& date) noexcept
{
    if (cursor >= end || (*cursor != DER_UTC_TIME && *cursor != DER_GENERALIZED_TIME)) {
        return DATE_INVALID;
    }
    const int year_digits = *cursor++ == DER_UTC_TIME ? 2 : 4;
    std::size_t length = 0;
    if (read_length(cursor, end, length) != 0) {
        return DATE_INVALID;
    }
    const std::uint8_t* p = cursor;
    cursor += length;
    const std::size_t full = static_cast<std::size_t>(year_digits) + 10;
    if (length != full && !(length == full + 1 && p[full] == 'Z')) {
        return DATE_INVALID;
    }
    if (!read_digits(p, year_digits, date.year) || !read_digits(p, 2, date.month) ||
        !read_digits(p, 2, date.day) || !read_digits(p, 2, date.hour) ||
        !read_digits(p, 2, date.minute) || !read_digits(p, 2, date.second)) {
        return DATE_INVALID;
    }
    if (year_digits == 2) {
        date.year += date.year < 50 ? 2000 : 1900;
    }
    return is_valid(date) ? CERT_OK : DATE_INVALID;
}

}  // namespace vlrp11
