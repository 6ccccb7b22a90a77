#include "objects/support/parsed_certificate.h"

namespace vlrp11::test {

ParsedCertificate::ParsedCertificate(std::vector<std::uint8_t> bytes) : der(std::move(bytes))
{
    result = parse_certificate(&record, der.data(), der.size());
}

ParsedCertificate::~ParsedCertificate()
{
    free_certificate_names(record);
}

std::size_t ParsedCertificate::offset(const void* p) const
{
    return static_cast<std::size_t>(static_cast<const std::uint8_t*>(p) - der.data());
}

std::vector<std::uint8_t> bytes_of(const std::uint8_t* p, std::uint64_t length)
{
    return length == 0 ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>(p, p + length);
}

std::string text_of(const DerBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.p), buffer.length);
}

std::vector<const NameNode*> name_nodes(const NameNode& first)
{
    std::vector<const NameNode*> nodes;
    for (const NameNode* node = &first; node != nullptr; node = node->next) {
        nodes.push_back(node);
    }
    return nodes;
}

}  // namespace vlrp11::test
