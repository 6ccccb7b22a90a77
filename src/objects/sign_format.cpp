#include "objects/sign_format.h"

#include "device/status.h"
#include "objects/key_kinds.h"

#include <cstring>

namespace vlrp11 {

namespace {

struct DigestInfoPrefix {
    HashKind kind;
    std::uint8_t length;
    std::uint8_t bytes[19];
};

// In the order a raw PKCS#1 v1.5 input is matched against them.
constexpr DigestInfoPrefix digest_info_prefixes[] = {
    {HashKind::sha1, 15, {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14}},
    {HashKind::sha224, 19, {0x30, 0x2D, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x04, 0x05, 0x00, 0x04, 0x1C}},
    {HashKind::sha256, 19, {0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20}},
    {HashKind::sha384, 19, {0x30, 0x41, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04, 0x30}},
    {HashKind::sha512, 19, {0x30, 0x51, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04, 0x40}},
    {HashKind::sha3_224, 19, {0x30, 0x2D, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x07, 0x05, 0x00, 0x04, 0x1C}},
    {HashKind::sha3_256, 19, {0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x08, 0x05, 0x00, 0x04, 0x20}},
    {HashKind::sha3_384, 19, {0x30, 0x41, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x09, 0x05, 0x00, 0x04, 0x30}},
    {HashKind::sha3_512, 19, {0x30, 0x51, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x0A, 0x05, 0x00, 0x04, 0x40}},
};

struct CurveSignature {
    std::uint16_t curve;
    std::uint16_t bytes;
};

// r ‖ s for the NIST curves, s ‖ r for the DSTU 4145 curves, each half as long as the order.
constexpr CurveSignature curve_signatures[] = {
    {CURVE_P256, 64},      {CURVE_P384, 96},      {CURVE_P521, 132},     {CURVE_DSTU_233, 60},
    {CURVE_DSTU_257, 64},  {CURVE_DSTU_307, 78},  {CURVE_DSTU_367, 92},  {CURVE_DSTU_431, 108},
    {46, 144},             {47, 144},  // curves the library has no name for
};

// Masks for the decryption check: all ones or all zeros, made without branches. The empty asm
// keeps the compiler from turning a mask back into a branch.
using Mask = std::size_t;

Mask barrier(Mask x) noexcept
{
    asm("" : "+r"(x));
    return x;
}

Mask mask_is_zero(std::size_t x) noexcept
{
    return barrier(Mask{0} - ((~x & (x - 1)) >> (sizeof(Mask) * 8 - 1)));
}

Mask mask_equal(std::size_t a, std::size_t b) noexcept
{
    return mask_is_zero(a ^ b);
}

Mask mask_less(std::size_t a, std::size_t b) noexcept
{
    return barrier(Mask{0} - ((a ^ ((a ^ b) | ((a - b) ^ b))) >> (sizeof(Mask) * 8 - 1)));
}

std::size_t select(Mask mask, std::size_t a, std::size_t b) noexcept
{
    return (mask & a) | (~mask & b);
}

}  // namespace

std::span<const std::uint8_t> digest_info_prefix(HashKind kind) noexcept
{
    for (const DigestInfoPrefix& prefix : digest_info_prefixes) {
        if (prefix.kind == kind)
            return {prefix.bytes, prefix.length};
    }
    return {};
}

HashKind match_digest_info(const std::uint8_t* input, std::size_t length) noexcept
{
    for (const DigestInfoPrefix& prefix : digest_info_prefixes) {
        if (length > prefix.length && std::memcmp(input, prefix.bytes, prefix.length) == 0)
            return prefix.kind;
    }
    return HASH_NONE;
}

std::uint32_t signature_length(const ObjectHeader& header) noexcept
{
    const std::uint32_t size = header_parameter(header);
    const KeyFamily family = key_family(header.keyKind);
    const bool by_curve = family == FAMILY_EC || family == FAMILY_DSTU4145;
    if (!by_curve)
        return (size + 7) / 8;
    for (const CurveSignature& curve : curve_signatures) {
        if (curve.curve == size)
            return curve.bytes;
    }
    return 0;
}

std::uint32_t encode_em(HashKind kind, const std::uint8_t* hash, std::size_t hash_length, std::uint8_t* em,
                        std::size_t k) noexcept
{
    const std::span<const std::uint8_t> prefix = digest_info_prefix(kind);
    const std::size_t content = prefix.size() + hash_length;
    if (prefix.empty() || hash_length != digest_length(kind) || k < content || k - content <= 10)
        return ENCODING_FAILED;
    const std::size_t padding = k - content - 3;
    em[0] = 0x00;
    em[1] = 0x01;
    std::memset(em + 2, 0xFF, padding);
    em[2 + padding] = 0x00;
    std::memcpy(em + 3 + padding, prefix.data(), prefix.size());
    std::memcpy(em + 3 + padding + prefix.size(), hash, hash_length);
    return 0;
}

std::uint32_t pkcs1_v15_unpad(std::uint8_t* em, std::size_t k, std::uint8_t* out, std::size_t* out_length) noexcept
{
    constexpr std::size_t overhead = 11;  // 00 02, eight padding bytes at least, 00
    if (k < overhead)
        return DECRYPTED_BLOCK_INVALID;
    const std::size_t capacity = *out_length < k - overhead ? *out_length : k - overhead;

    Mask good = mask_equal(em[0], 0) & mask_equal(em[1], 2);
    Mask found = 0;
    std::size_t zero_index = 0;
    for (std::size_t i = 2; i < k; ++i) {
        const Mask is_zero = mask_is_zero(em[i]);
        zero_index = select(~found & is_zero, i, zero_index);
        found |= is_zero;
    }
    good &= found & ~mask_less(zero_index, 10);
    const std::size_t message = k - 1 - zero_index;
    const Mask too_large = mask_less(capacity, message);
    const Mask ok = good & ~too_large;

    for (std::size_t i = overhead; i < k; ++i)
        em[i] &= static_cast<std::uint8_t>(ok);
    // Move the message from k - message to k - capacity, one power of two of the distance at a
    // time, touching every byte of the area on every step.
    const std::size_t shift = select(ok, capacity - message, 0);
    const std::size_t start = k - capacity;
    for (std::size_t step = 1; step < k; step <<= 1) {
        const Mask take = ~mask_is_zero(shift & step);
        for (std::size_t i = start; i < k; ++i) {
            const std::uint8_t moved = i + step < k ? em[i + step] : 0;
            em[i] = static_cast<std::uint8_t>(select(take, moved, em[i]));
        }
    }
    if (out != nullptr)
        std::memcpy(out, em + start, capacity);
    *out_length = select(ok, message, capacity);
    return static_cast<std::uint32_t>(select(~good, DECRYPTED_BLOCK_INVALID,
                                             select(too_large, DECRYPTED_MESSAGE_TOO_LARGE, 0)));
}

}  // namespace vlrp11
