// Commands that use a stored key without revealing it: 84 (ECDSA, DSTU 4145 signature, raw RSA),
// 96 (DSTU 4145 key agreement) and the bulk ciphers 112/113 (AES) and 120/121 (GOST 28147-89),
// all in ECB over whole blocks.
#include "core/object_handlers.h"

#include "core/crypto_dstu4145.h"
#include "core/crypto_gost28147.h"
#include "core/keys_openssl.h"
#include "core/keys_record.h"

namespace vlrp11::sim {
namespace {

constexpr std::size_t kMaxOperationInput = 512;
constexpr std::size_t kMaxBulkBytes = 1024;

std::uint8_t find_key(CommandContext& context, std::uint8_t index, KeyRecord& key) {
    return find_key(*context.partition.objects, index, key);
}

std::vector<std::uint8_t> dstu_sign_stored(const KeyRecord& key, std::span<const std::uint8_t> hash) {
    const BinaryCurve* curve = dstu_curve(key.parameter());
    Bn d = bn_from_bytes(key.material);
    if (!curve || !d) return {};
    return dstu_sign(*curve, d.get(), hash);
}

std::vector<std::uint8_t> aes_ecb(std::span<const std::uint8_t> key, bool encrypt, std::span<const std::uint8_t> in) {
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                               : key.size() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    std::vector<std::uint8_t> out(in.size());
    int length = 0;
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), nullptr, encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), out.data(), &length, in.data(), static_cast<int>(in.size())) != 1 ||
        static_cast<std::size_t>(length) != in.size())
        return {};
    return out;
}

std::vector<std::uint8_t> gost_ecb(std::span<const std::uint8_t> key_bytes, bool encrypt,
                                   std::span<const std::uint8_t> in) {
    Gost28147Key key = gost28147_key(key_bytes.first<32>());
    std::vector<std::uint8_t> out(in.size());
    bool ok = gost28147_ecb(key, encrypt, in, out);
    gost28147_wipe(key);
    return ok ? out : std::vector<std::uint8_t>{};
}

// Request: index, block count, count × block_size bytes (at most 1024). Secret key of the family.
std::uint8_t bulk(CommandContext& context, Request request, Reply& reply, std::size_t block_size,
                  KeyFamily family, bool encrypt) {
    if (request.size() < 2) return status::bad_length;
    Request data = request.subspan(2);
    if (request[1] == 0 || data.size() != request[1] * block_size || data.size() > kMaxBulkBytes)
        return status::bad_length;
    KeyRecord key;
    if (std::uint8_t s = find_key(context, request[0], key); s != status::ok) return s;
    if (key.family() != family || !secret_length_allowed(key.kind(), key.material.size()))
        return status::wrong_key_type;
    reply = family == KeyFamily::aes ? aes_ecb(key.material, encrypt, data) : gost_ecb(key.material, encrypt, data);
    return reply.empty() ? status::internal_error : status::ok;
}

}  // namespace

// Request: index, input length (low 8 bits only: 256 and 512 both travel as 0), input. The length
// byte cannot tell 0, 256 and 512 apart, so the request length decides and the byte must agree.
std::uint8_t private_key_operation(CommandContext& context, Request request, Reply& reply) {
    if (request.size() < 3) return status::bad_length;
    Request input = request.subspan(2);
    if (input.size() > kMaxOperationInput || (input.size() & 0xFF) != request[1]) return status::bad_length;
    KeyRecord key;
    if (std::uint8_t s = find_key(context, request[0], key); s != status::ok) return s;
    switch (key.family()) {
    case KeyFamily::ec: reply = ecdsa_sign(key.material, nist_curve_bytes(key.parameter()), input); break;
    case KeyFamily::dstu: reply = dstu_sign_stored(key, input); break;
    case KeyFamily::rsa:
        // The raw operation takes exactly one modulus-sized number below the modulus.
        reply = rsa_private_operation(key.material, input);
        if (reply.empty()) return status::bad_argument;
        break;
    default: return status::wrong_key_type;
    }
    return reply.empty() ? status::internal_error : status::ok;
}

// Request: index, n, the peer's n-byte compressed point. Reply: Z = x((h·d)·Q), big-endian.
std::uint8_t derive(CommandContext& context, Request request, Reply& reply) {
    if (request.size() < 2 || request[1] != request.size() - 2) return status::bad_length;
    KeyRecord key;
    if (std::uint8_t s = find_key(context, request[0], key); s != status::ok) return s;
    if (key.family() != KeyFamily::dstu || (key.flags() & kFlagDerive) == 0) return status::wrong_key_type;
    const BinaryCurve* curve = dstu_curve(key.parameter());
    Bn d = bn_from_bytes(key.material);
    if (!curve || !d) return status::internal_error;
    reply = dstu_shared_secret(*curve, d.get(), request.subspan(2));
    return reply.empty() ? status::bad_argument : status::ok;
}

std::uint8_t encrypt_16(CommandContext& context, Request request, Reply& reply) {
    return bulk(context, request, reply, 16, KeyFamily::aes, true);
}

std::uint8_t decrypt_16(CommandContext& context, Request request, Reply& reply) {
    return bulk(context, request, reply, 16, KeyFamily::aes, false);
}

std::uint8_t encrypt_8(CommandContext& context, Request request, Reply& reply) {
    return bulk(context, request, reply, 8, KeyFamily::gost, true);
}

std::uint8_t decrypt_8(CommandContext& context, Request request, Reply& reply) {
    return bulk(context, request, reply, 8, KeyFamily::gost, false);
}

}  // namespace vlrp11::sim
