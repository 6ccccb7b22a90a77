#include <new>

#include "objects/certificate_parts.h"

namespace vlrp11 {
namespace {

bool is_name_value_tag(std::uint8_t tag) noexcept
{
    switch (tag) {
    case 0x1E:  // BMPString
    case 0x03:  // BIT STRING
    case 0x0C:  // UTF8String
    case 0x13:  // PrintableString
    case 0x14:  // T61String
    case 0x16:  // IA5String
    case 0x1C:  // UniversalString
        return true;
    default:
        return false;
    }
}

// Reads one AttributeTypeAndValue: SEQUENCE { OID, string value } ending where the SEQUENCE ends.
bool read_attribute(const std::uint8_t*& cursor, const std::uint8_t* end, NameNode& node) noexcept
{
    const std::uint8_t* sequence_end = nullptr;
    if (read_oid_sequence(cursor, end, node.type, sequence_end) != 0) {
        return false;
    }
    if (cursor >= sequence_end || !is_name_value_tag(*cursor)) {
        return false;
    }
    const std::uint8_t tag = *cursor++;
    std::size_t length = 0;
    if (read_length(cursor, sequence_end, length) != 0) {
        return false;
    }
    node.value = {tag, length, cursor};
    cursor += length;
    return cursor == sequence_end;
}

}  // namespace

CertificateStatus read_name(const std::uint8_t*& cursor, const std::uint8_t* end, NameNode& first) noexcept
{
    NameNode* node = &first;
    CertificateStatus result = CERT_OK;
    while (result == CERT_OK) {
        std::size_t length = 0;
        if (read_tag(cursor, end, DER_SET, length) != 0 || length == 0) {
            result = NAME_INVALID;
            break;
        }
        const std::uint8_t* const set_end = cursor + length;
        while (result == CERT_OK) {
            if (!read_attribute(cursor, set_end, *node)) {
                result = NAME_INVALID;
            } else if (cursor == set_end) {
                break;
            } else {
                node->sameRdn = 1;
                node = node->next = new (std::nothrow) NameNode{};
                result = node ? CERT_OK : NAME_NO_MEMORY;
            }
        }
        if (result != CERT_OK || cursor == end) {
            break;
        }
        node = node->next = new (std::nothrow) NameNode{};
        result = node ? CERT_OK : NAME_NO_MEMORY;
    }
    if (result != CERT_OK) {
        free_name_list(first);
    }
    return result;
}

void free_name_list(NameNode& first) noexcept
{
    NameNode* node = first.next;
    while (node != nullptr) {
        NameNode* const next = node->next;
        delete node;
        node = next;
    }
    first.next = nullptr;
}

}  // namespace vlrp11
