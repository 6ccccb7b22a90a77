#include "objects/der.h"

namespace vlrp11 {

int read_length(const std::uint8_t*& cursor, const std::uint8_t* end, std::size_t& length) noexcept
{
    if (cursor >= end) {
        return DER_OUT_OF_DATA;
    }
    const std::uint8_t first = *cursor++;
    if (first < 0x80) {
        length = first;
    } else {
        const std::size_t byte_count = first & 0x7F;
        if (byte_count == 0 || byte_count > 4) {
            return DER_INVALID_LENGTH;
        }
        if (static_cast<std::size_t>(end - cursor) < byte_count) {
            return DER_OUT_OF_DATA;
        }
        length = 0;
        for (std::size_t i = 0; i < byte_count; ++i) {
            length = (length << 8) | *cursor++;
        }
    }
    if (length > static_cast<std::size_t>(end - cursor)) {
        return DER_OUT_OF_DATA;
    }
    return 0;
}

int read_tag(const std::uint8_t*& cursor, const std::uint8_t* end, std::uint8_t tag,
             std::size_t& length) noexcept
{
    if (cursor >= end) {
        return DER_OUT_OF_DATA;
    }
    if (*cursor != tag) {
        return DER_UNEXPECTED_TAG;
    }
    ++cursor;
    return read_length(cursor, end, length);
}

int read_int(const std::uint8_t*& cursor, const std::uint8_t* end, int& value) noexcept
{
    std::size_t length = 0;
    if (const int result = read_tag(cursor, end, DER_INTEGER, length)) {
        return result;
    }
    if (length == 0 || (*cursor & 0x80) != 0) {
        return DER_INVALID_LENGTH;
    }
    while (length > 0 && *cursor == 0) {
        ++cursor;
        --length;
    }
    if (length > 4 || (length == 4 && (*cursor & 0x80) != 0)) {
        return DER_INVALID_LENGTH;
    }
    std::uint32_t magnitude = 0;
    for (; length > 0; --length) {
        magnitude = (magnitude << 8) | *cursor++;
    }
    value = static_cast<int>(magnitude);
    return 0;
}

int read_oid_sequence(const std::uint8_t*& cursor, const std::uint8_t* end, DerBuffer& oid,
                      const std::uint8_t*& sequence_end) noexcept
{
    std::size_t length = 0;
    if (const int result = read_tag(cursor, end, DER_SEQUENCE, length)) {
        return result;
    }
    if (length == 0) {
        return DER_OUT_OF_DATA;
    }
    sequence_end = cursor + length;
    if (const int result = read_tag(cursor, sequence_end, DER_OID, length)) {
        return result;
    }
    oid = {DER_OID, length, cursor};
    cursor += length;
    return 0;
}

int read_algorithm(const std::uint8_t*& cursor, const std::uint8_t* end, DerBuffer& oid,
                   DerBuffer& params) noexcept
{
    const std::uint8_t* sequence_end = nullptr;
    if (const int result = read_oid_sequence(cursor, end, oid, sequence_end)) {
        return result;
    }
    if (cursor == sequence_end) {
        params = {0, 0, nullptr};
        return 0;
    }
    params.tag = *cursor++;
    std::size_t length = 0;
    if (const int result = read_length(cursor, sequence_end, length)) {
        return result;
    }
    params.length = length;
    params.p = cursor;
    cursor += length;
    return cursor == sequence_end ? 0 : DER_LENGTH_MISMATCH;
}

}  // namespace vlrp11
