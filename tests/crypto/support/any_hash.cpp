#include "crypto/support/any_hash.h"

#include <algorithm>
#include <stdexcept>

#include "crypto/cpu_support.h"

namespace vlrp11::test {

AnyHash::AnyHash(DigestType type) : type_(type), ctx_{}
{
    init();
}

void AnyHash::init()
{
    switch (type_) {
    case DigestType::kupyna256: kupyna_init(ctx_.kupyna, 32); return;
    case DigestType::kupyna384: kupyna_init(ctx_.kupyna, 48); return;
    case DigestType::kupyna512: kupyna_init(ctx_.kupyna, 64); return;
    case DigestType::sha1: sha1_init(ctx_.sha1); return;
    case DigestType::sha224: sha256_init(ctx_.sha256, true); return;
    case DigestType::sha256: sha256_init(ctx_.sha256, false); return;
    case DigestType::sha384: sha512_init(ctx_.sha512, true); return;
    case DigestType::sha512: sha512_init(ctx_.sha512, false); return;
    case DigestType::sha3_224: sha3_init(ctx_.sha3, 7); return;
    case DigestType::sha3_256: sha3_init(ctx_.sha3, 8); return;
    case DigestType::sha3_384: sha3_init(ctx_.sha3, 12); return;
    case DigestType::sha3_512: sha3_init(ctx_.sha3, 16); return;
    case DigestType::gost34311: gost34311_init(ctx_.gost34311); return;
    }
    throw std::invalid_argument("digest type without a context here");
}

void AnyHash::update(std::span<const std::uint8_t> data)
{
    switch (type_) {
    case DigestType::kupyna256:
    case DigestType::kupyna384:
    case DigestType::kupyna512: kupyna_update(ctx_.kupyna, data.data(), data.size()); return;
    case DigestType::gost34311: gost34311_update(ctx_.gost34311, data.data(), data.size()); return;
    case DigestType::sha1: sha1_update(ctx_.sha1, data.data(), data.size()); return;
    case DigestType::sha224:
    case DigestType::sha256: sha256_update(ctx_.sha256, data.data(), data.size()); return;
    case DigestType::sha384:
    case DigestType::sha512: sha512_update(ctx_.sha512, data.data(), data.size()); return;
    default: sha3_update(ctx_.sha3, data.data(), data.size()); return;
    }
}

Bytes AnyHash::final()
{
    Bytes out(digest_output_length(type_));
    switch (type_) {
    case DigestType::kupyna256:
    case DigestType::kupyna384:
    case DigestType::kupyna512: kupyna_final(ctx_.kupyna, out.data()); break;
    case DigestType::gost34311: gost34311_final(ctx_.gost34311, out.data()); break;
    case DigestType::sha1: sha1_final(ctx_.sha1, out.data()); break;
    case DigestType::sha224:
    case DigestType::sha256: sha256_final(ctx_.sha256, out.data()); break;
    case DigestType::sha384:
    case DigestType::sha512: sha512_final(ctx_.sha512, out.data()); break;
    default: sha3_final(ctx_.sha3, out.data()); break;
    }
    return out;
}

const std::vector<DigestType>& implemented_digest_types()
{
    static const std::vector<DigestType> types = {
        DigestType::gost34311, DigestType::kupyna256, DigestType::kupyna384, DigestType::kupyna512, DigestType::sha1,
        DigestType::sha224,    DigestType::sha256,    DigestType::sha384,    DigestType::sha512,
        DigestType::sha3_224,  DigestType::sha3_256,  DigestType::sha3_384,  DigestType::sha3_512,
    };
    return types;
}

std::string digest_name(DigestType type)
{
    static const char* const names[] = {"none",   "gost34311", "kupyna256", "kupyna384", "kupyna512",
                                        "sha1",   "sha224",    "sha256",    "sha384",    "sha512",
                                        "sha3_224", "sha3_256", "sha3_384", "sha3_512"};
    return names[static_cast<std::uint32_t>(type)];
}

Bytes digest_in_pieces(DigestType type, std::span<const std::uint8_t> message, std::size_t piece)
{
    AnyHash hash(type);
    if (piece == 0)
        piece = message.size();
    for (std::size_t at = 0; at < message.size(); at += piece)
        hash.update(message.subspan(at, std::min(piece, message.size() - at)));
    return hash.final();
}

Bytes counting_bytes(std::size_t length)
{
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

std::string to_hex(std::span<const std::uint8_t> bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::string sha_path_name(ShaPath path)
{
    return path == ShaPath::instructions ? "shani" : "portable";
}

bool sha_path_available(ShaPath path, DigestType type)
{
    if (path == ShaPath::portable)
        return true;
    const bool wide = type == DigestType::sha384 || type == DigestType::sha512;
    return wide ? sha512_instructions_supported() : sha_instructions_supported();
}

}  // namespace vlrp11::test
