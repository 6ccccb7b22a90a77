#include "objects/digest_context.h"

#include "platform/wipe.h"
#include "vlrp11/pkcs11_vendor.h"

namespace vlrp11 {

namespace {

struct MechanismHash {
    CK_MECHANISM_TYPE mechanism;
    HashKind kind;
};

// Digest mechanisms, then the RSA, ECDSA and DSTU 4145 signature mechanisms that hash first.
constexpr MechanismHash mechanism_hashes[] = {
    {CKM_GOST34311, HashKind::gost34311},
    {CKM_KUPYNA_256, HashKind::kupyna256},
    {CKM_KUPYNA_384, HashKind::kupyna384},
    {CKM_KUPYNA_512, HashKind::kupyna512},
    {CKM_SHA_1, HashKind::sha1},
    {CKM_SHA224, HashKind::sha224},
    {CKM_SHA256, HashKind::sha256},
    {CKM_SHA384, HashKind::sha384},
    {CKM_SHA512, HashKind::sha512},
    {CKM_SHA3_224, HashKind::sha3_224},
    {CKM_SHA3_256, HashKind::sha3_256},
    {CKM_SHA3_384, HashKind::sha3_384},
    {CKM_SHA3_512, HashKind::sha3_512},
    {CKM_SHA1_RSA_PKCS, HashKind::sha1},
    {CKM_SHA224_RSA_PKCS, HashKind::sha224},
    {CKM_SHA256_RSA_PKCS, HashKind::sha256},
    {CKM_SHA384_RSA_PKCS, HashKind::sha384},
    {CKM_SHA512_RSA_PKCS, HashKind::sha512},
    {CKM_SHA3_224_RSA_PKCS, HashKind::sha3_224},
    {CKM_SHA3_256_RSA_PKCS, HashKind::sha3_256},
    {CKM_SHA3_384_RSA_PKCS, HashKind::sha3_384},
    {CKM_SHA3_512_RSA_PKCS, HashKind::sha3_512},
    {CKM_ECDSA_SHA1, HashKind::sha1},
    {CKM_ECDSA_SHA224, HashKind::sha224},
    {CKM_ECDSA_SHA256, HashKind::sha256},
    {CKM_ECDSA_SHA384, HashKind::sha384},
    {CKM_ECDSA_SHA512, HashKind::sha512},
    {CKM_ECDSA_SHA3_224, HashKind::sha3_224},
    {CKM_ECDSA_SHA3_256, HashKind::sha3_256},
    {CKM_ECDSA_SHA3_384, HashKind::sha3_384},
    {CKM_ECDSA_SHA3_512, HashKind::sha3_512},
    {CKM_DSTU4145_GOST34311, HashKind::gost34311},
    {CKM_DSTU4145_KUPYNA_256, HashKind::kupyna256},
    {CKM_DSTU4145_KUPYNA_384, HashKind::kupyna384},
    {CKM_DSTU4145_KUPYNA_512, HashKind::kupyna512},
};

// The hash families behind the kinds; init reads the variant from the context's hash kind.
struct HashFunctions {
    void (*init)(DigestContext&);
    void (*update)(DigestContext&, const std::uint8_t*, std::size_t);
    void (*final)(DigestContext&, std::uint8_t*);
};

constexpr HashFunctions gost34311_functions = {
    [](DigestContext& c) { gost34311_init(c.gost34311); },
    [](DigestContext& c, const std::uint8_t* d, std::size_t n) { gost34311_update(c.gost34311, d, n); },
    [](DigestContext& c, std::uint8_t* out) { gost34311_final(c.gost34311, out); },
};
constexpr HashFunctions kupyna_functions = {
    [](DigestContext& c) { kupyna_init(c.kupyna, digest_length(c.hashKind)); },
    [](DigestContext& c, const std::uint8_t* d, std::size_t n) { kupyna_update(c.kupyna, d, n); },
    [](DigestContext& c, std::uint8_t* out) { kupyna_final(c.kupyna, out); },
};
constexpr HashFunctions sha1_functions = {
    [](DigestContext& c) { sha1_init(c.sha1); },
    [](DigestContext& c, const std::uint8_t* d, std::size_t n) { sha1_update(c.sha1, d, n); },
    [](DigestContext& c, std::uint8_t* out) { sha1_final(c.sha1, out); },
};
constexpr HashFunctions sha256_functions = {
    [](DigestContext& c) { sha256_init(c.sha256, c.hashKind == HashKind::sha224); },
    [](DigestContext& c, const std::uint8_t* d, std::size_t n) { sha256_update(c.sha256, d, n); },
    [](DigestContext& c, std::uint8_t* out) { sha256_final(c.sha256, out); },
};
constexpr HashFunctions sha512_functions = {
    [](DigestContext& c) { sha512_init(c.sha512, c.hashKind == HashKind::sha384); },
    [](DigestContext& c, const std::uint8_t* d, std::size_t n) { sha512_update(c.sha512, d, n); },
    [](DigestContext& c, std::uint8_t* out) { sha512_final(c.sha512, out); },
};
// SHA-3 contexts take their output length in 32-bit words.
constexpr HashFunctions sha3_functions = {
    [](DigestContext& c) { sha3_init(c.sha3, static_cast<unsigned>(digest_length(c.hashKind) / 4)); },
    [](DigestContext& c, const std::uint8_t* d, std::size_t n) { sha3_update(c.sha3, d, n); },
    [](DigestContext& c, std::uint8_t* out) { sha3_final(c.sha3, out); },
};

// Indexed by hash kind; entry 0 is "no hash".
constexpr const HashFunctions* kind_functions[] = {
    nullptr,
    &gost34311_functions,
    &kupyna_functions, &kupyna_functions, &kupyna_functions,
    &sha1_functions,
    &sha256_functions, &sha256_functions,
    &sha512_functions, &sha512_functions,
    &sha3_functions, &sha3_functions, &sha3_functions, &sha3_functions,
};

const HashFunctions* functions_of(HashKind kind) noexcept
{
    const auto index = static_cast<std::uint32_t>(kind);
    return index < sizeof kind_functions / sizeof kind_functions[0] ? kind_functions[index] : nullptr;
}

}  // namespace

HashKind hash_kind_of(CK_MECHANISM_TYPE mechanism) noexcept
{
    for (const MechanismHash& row : mechanism_hashes) {
        if (row.mechanism == mechanism)
            return row.kind;
    }
    return HASH_NONE;
}

std::size_t digest_length(HashKind kind) noexcept
{
    return digest_output_length(kind);
}

CK_RV digest_init(DigestContext& context, const CK_MECHANISM* mechanism) noexcept
{
    if (mechanism == nullptr)
        return CKR_ARGUMENTS_BAD;
    const HashKind kind = hash_kind_of(mechanism->mechanism);
    if (kind == HASH_NONE)
        return CKR_MECHANISM_INVALID;
    secure_wipe(context);
    context.hashKind = kind;
    functions_of(kind)->init(context);
    return CKR_OK;
}

bool digest_update(DigestContext& context, const std::uint8_t* data, std::size_t length) noexcept
{
    const HashFunctions* functions = functions_of(context.hashKind);
    if (functions == nullptr)
        return false;
    if (length != 0)
        functions->update(context, data, length);
    return true;
}

bool digest_final(DigestContext& context, std::uint8_t* out) noexcept
{
    const HashFunctions* functions = functions_of(context.hashKind);
    if (functions == nullptr)
        return false;
    functions->final(context, out);
    secure_wipe(context);
    return true;
}

}  // namespace vlrp11
