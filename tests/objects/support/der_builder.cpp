#include "objects/support/der_builder.h"

namespace vlrp11::test {

Bytes tlv(std::uint8_t tag, const Bytes& content)
{
    const std::size_t n = content.size();
    Bytes out;
    out.reserve(n + 5);
    out.push_back(tag);
    if (n >= 0x80) {
        const int bytes = n < 0x100 ? 1 : n < 0x10000 ? 2 : 3;
        out.push_back(static_cast<std::uint8_t>(0x80 + bytes));
        for (int i = bytes - 1; i > 0; --i) {
            out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
        }
    }
    out.push_back(static_cast<std::uint8_t>(n));
    for (const std::uint8_t byte : content) {
        out.push_back(byte);
    }
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes oid(std::initializer_list<std::uint8_t> encoded)
{
    return tlv(0x06, Bytes(encoded));
}

Bytes name(std::initializer_list<std::initializer_list<Attribute>> rdns)
{
    Bytes sets;
    for (const auto& rdn : rdns) {
        Bytes attributes;
        for (const Attribute& attribute : rdn) {
            const Bytes one = tlv(0x30, cat({tlv(0x06, attribute.type), tlv(attribute.tag, text(attribute.value))}));
            attributes.insert(attributes.end(), one.begin(), one.end());
        }
        const Bytes set = tlv(0x31, attributes);
        sets.insert(sets.end(), set.begin(), set.end());
    }
    return tlv(0x30, sets);
}

Bytes common_name(const std::string& value)
{
    return name({{{{0x55, 0x04, 0x03}, 0x0C, value}}});
}

Bytes ecdsa_sha256()
{
    return tlv(0x30, oid({0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02}));
}

Bytes utc_time(const std::string& content)
{
    return tlv(0x17, text(content));
}

Bytes generalized_time(const std::string& content)
{
    return tlv(0x18, text(content));
}

Bytes validity(const Bytes& not_before, const Bytes& not_after)
{
    return tlv(0x30, cat({not_before, not_after}));
}

Bytes extension(std::initializer_list<std::uint8_t> oid_bytes, const Bytes& value, bool critical)
{
    return tlv(0x30, cat({oid(oid_bytes), critical ? Bytes{0x01, 0x01, 0xFF} : Bytes{}, tlv(0x04, value)}));
}

Bytes extensions(std::initializer_list<Bytes> list)
{
    return tlv(0xA3, tlv(0x30, cat(list)));
}

CertificateParts minimal_certificate()
{
    CertificateParts parts;
    parts.version = tlv(0xA0, tlv(0x02, {0x02}));
    parts.serial = tlv(0x02, {0x01, 0x23});
    parts.signature = ecdsa_sha256();
    parts.issuer = common_name("Issuer");
    parts.validity = validity(utc_time("200101000000Z"), utc_time("300101000000Z"));
    parts.subject = common_name("Subject");
    const Bytes key_algorithm = tlv(0x30, cat({oid({0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01}),
                                               oid({0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07})}));
    Bytes point(66, 0x11);
    point[0] = 0x00;
    point[1] = 0x04;
    parts.publicKeyInfo = tlv(0x30, cat({key_algorithm, tlv(0x03, point)}));
    parts.outerAlgorithm = ecdsa_sha256();
    parts.signatureValue = tlv(0x03, {0x00, 0x30, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01});
    return parts;
}

Bytes build(const CertificateParts& p)
{
    const Bytes tbs = tlv(0x30, cat({p.version, p.serial, p.signature, p.issuer, p.validity, p.subject,
                                     p.publicKeyInfo, p.uniqueIds, p.extensions}));
    return cat({tlv(0x30, cat({tbs, p.outerAlgorithm, p.signatureValue})), p.trailing});
}

}  // namespace vlrp11::test
