#include "core/crypto_dstu4145.h"

namespace vlrp11::sim {
namespace {

bool affine(const BinaryCurve& curve, const EC_POINT* point, BIGNUM* x, BIGNUM* y, BN_CTX* ctx) {
    return EC_POINT_get_affine_coordinates(curve.group(), point, x, y, ctx) == 1;
}

// The hash as a field element: the hash functions of the DSTU family put out their value least
// significant byte first, so the bytes are read little-endian; cut to the m low bits, 0 becomes 1.
Bn hash_element(const BinaryCurve& curve, std::span<const std::uint8_t> hash) {
    Bn h(BN_lebin2bn(hash.data(), static_cast<int>(hash.size()), nullptr));
    if (!h) return nullptr;
    if (BN_num_bits(h.get()) > static_cast<int>(curve.m()) && !BN_mask_bits(h.get(), static_cast<int>(curve.m())))
        return nullptr;
    if (BN_is_zero(h.get()) && !BN_one(h.get())) return nullptr;
    return h;
}

// r from a field element: its bitlen(n) − 1 low bits.
bool truncate_to_order(const BinaryCurve& curve, BIGNUM* value) {
    int bits = BN_num_bits(curve.order()) - 1;
    return BN_num_bits(value) <= bits || BN_mask_bits(value, bits) == 1;
}

// h · x(point), truncated; the value both signing and verification compare with r.
Bn signature_value(const BinaryCurve& curve, const BIGNUM* h, const EC_POINT* point, BN_CTX* ctx) {
    Bn x = bn_new();
    Bn product = bn_new();
    if (!x || !product || !affine(curve, point, x.get(), nullptr, ctx)) return nullptr;
    if (BN_is_zero(x.get())) return nullptr;
    if (!BN_GF2m_mod_mul(product.get(), h, x.get(), curve.polynomial(), ctx) ||
        !truncate_to_order(curve, product.get()))
        return nullptr;
    return product;
}

bool in_range(const BinaryCurve& curve, const BIGNUM* value) {
    return !BN_is_zero(value) && !BN_is_negative(value) && BN_cmp(value, curve.order()) < 0;
}

}  // namespace

Bn dstu_generate_private(const BinaryCurve& curve) {
    Bn d = bn_new();
    if (!d) return nullptr;
    do {
        if (!BN_priv_rand_range(d.get(), curve.order())) return nullptr;
    } while (BN_is_zero(d.get()));
    return d;
}

EcPoint dstu_public_key(const BinaryCurve& curve, const BIGNUM* d) {
    BnCtx ctx = bn_ctx_new();
    EcPoint q(EC_POINT_new(curve.group()));
    if (!ctx || !q || !EC_POINT_mul(curve.group(), q.get(), d, nullptr, nullptr, ctx.get()) ||
        !EC_POINT_invert(curve.group(), q.get(), ctx.get()))
        return nullptr;
    return q;
}

std::vector<std::uint8_t> dstu_compress(const BinaryCurve& curve, const EC_POINT* point) {
    BnCtx ctx = bn_ctx_new();
    Bn x = bn_new();
    Bn y = bn_new();
    Bn z = bn_new();
    if (!ctx || !x || !y || !z || !affine(curve, point, x.get(), y.get(), ctx.get())) return {};
    if (!BN_is_zero(x.get())) {
        if (!BN_GF2m_mod_div(z.get(), y.get(), x.get(), curve.polynomial(), ctx.get())) return {};
        int trace = gf2m_trace(curve, z.get(), ctx.get());
        if (trace < 0) return {};
        bool ok = trace == 1 ? BN_set_bit(x.get(), 0) : (!BN_is_bit_set(x.get(), 0) || BN_clear_bit(x.get(), 0));
        if (!ok) return {};
    }
    return bn_to_vector(x.get(), curve.field_bytes());
}

EcPoint dstu_decompress(const BinaryCurve& curve, std::span<const std::uint8_t> bytes) {
    if (bytes.size() != curve.field_bytes()) return nullptr;
    BnCtx ctx = bn_ctx_new();
    Bn x = bn_from_bytes(bytes);
    Bn y = bn_new();
    Bn beta = bn_new();
    Bn a = bn_new();
    if (!ctx || !x || !y || !beta || !a || !BN_set_word(a.get(), curve.a())) return nullptr;
    if (BN_num_bits(x.get()) > static_cast<int>(curve.m())) return nullptr;
    int wanted_trace = BN_is_bit_set(x.get(), 0);
    // Points of odd order have Tr(x) = a, which restores the bit the compression replaced.
    int trace = gf2m_trace(curve, x.get(), ctx.get());
    if (trace < 0) return nullptr;
    if (static_cast<unsigned>(trace) != curve.a() && !BN_GF2m_add(x.get(), x.get(), BN_value_one())) return nullptr;
    if (BN_is_zero(x.get())) return nullptr;  // a point of order two
    // y = x·z where z² + z = x + a + b / x².
    if (!BN_GF2m_mod_sqr(beta.get(), x.get(), curve.polynomial(), ctx.get()) ||
        !BN_GF2m_mod_div(beta.get(), curve.b(), beta.get(), curve.polynomial(), ctx.get()) ||
        !BN_GF2m_add(beta.get(), beta.get(), x.get()) || !BN_GF2m_add(beta.get(), beta.get(), a.get()))
        return nullptr;
    Bn z = bn_new();
    if (!z || !BN_GF2m_mod_solve_quad(z.get(), beta.get(), curve.polynomial(), ctx.get())) return nullptr;
    int z_trace = gf2m_trace(curve, z.get(), ctx.get());
    if (z_trace < 0) return nullptr;
    if (z_trace != wanted_trace && !BN_GF2m_add(z.get(), z.get(), BN_value_one())) return nullptr;
    if (!BN_GF2m_mod_mul(y.get(), x.get(), z.get(), curve.polynomial(), ctx.get())) return nullptr;

    EcPoint point(EC_POINT_new(curve.group()));
    EcPoint check(EC_POINT_new(curve.group()));
    if (!point || !check ||
        !EC_POINT_set_affine_coordinates(curve.group(), point.get(), x.get(), y.get(), ctx.get()) ||
        !EC_POINT_mul(curve.group(), check.get(), nullptr, point.get(), curve.order(), ctx.get()) ||
        !EC_POINT_is_at_infinity(curve.group(), check.get()))
        return nullptr;
    return point;
}

std::vector<std::uint8_t> dstu_sign_with_nonce(const BinaryCurve& curve, const BIGNUM* d,
                                               std::span<const std::uint8_t> hash, const BIGNUM* e) {
    BnCtx ctx = bn_ctx_new();
    Bn h = hash_element(curve, hash);
    EcPoint ep(EC_POINT_new(curve.group()));
    Bn s = bn_new();
    if (!ctx || !h || !ep || !s || !in_range(curve, e) ||
        !EC_POINT_mul(curve.group(), ep.get(), e, nullptr, nullptr, ctx.get()))
        return {};
    Bn r = signature_value(curve, h.get(), ep.get(), ctx.get());
    if (!r || BN_is_zero(r.get())) return {};
    if (!BN_mod_mul(s.get(), d, r.get(), curve.order(), ctx.get()) ||
        !BN_mod_add(s.get(), s.get(), e, curve.order(), ctx.get()) || BN_is_zero(s.get()))
        return {};
    std::vector<std::uint8_t> signature(2 * curve.order_bytes());
    if (!bn_to_bytes(s.get(), curve.order_bytes(), signature.data()) ||
        !bn_to_bytes(r.get(), curve.order_bytes(), signature.data() + curve.order_bytes()))
        return {};
    return signature;
}

std::vector<std::uint8_t> dstu_sign(const BinaryCurve& curve, const BIGNUM* d, std::span<const std::uint8_t> hash) {
    if (!in_range(curve, d)) return {};
    for (int attempt = 0; attempt < 64; ++attempt) {
        Bn e = dstu_generate_private(curve);
        if (!e) return {};
        std::vector<std::uint8_t> signature = dstu_sign_with_nonce(curve, d, hash, e.get());
        if (!signature.empty()) return signature;
    }
    return {};
}

bool dstu_verify(const BinaryCurve& curve, const EC_POINT* q, std::span<const std::uint8_t> hash,
                 std::span<const std::uint8_t> signature) {
    std::size_t half = curve.order_bytes();
    if (signature.size() != 2 * half) return false;
    BnCtx ctx = bn_ctx_new();
    Bn s = bn_from_bytes(signature.first(half));
    Bn r = bn_from_bytes(signature.subspan(half));
    Bn h = hash_element(curve, hash);
    EcPoint point(EC_POINT_new(curve.group()));
    if (!ctx || !s || !r || !h || !point || !in_range(curve, s.get()) || !in_range(curve, r.get())) return false;
    // R = s·P + r·Q
    if (!EC_POINT_mul(curve.group(), point.get(), s.get(), q, r.get(), ctx.get())) return false;
    if (EC_POINT_is_at_infinity(curve.group(), point.get())) return false;
    Bn value = signature_value(curve, h.get(), point.get(), ctx.get());
    return value && BN_cmp(value.get(), r.get()) == 0;
}

std::vector<std::uint8_t> dstu_shared_secret(const BinaryCurve& curve, const BIGNUM* d,
                                             std::span<const std::uint8_t> peer_compressed) {
    EcPoint peer = dstu_decompress(curve, peer_compressed);
    BnCtx ctx = bn_ctx_new();
    Bn scalar = bn_new();
    Bn x = bn_new();
    if (!peer || !ctx || !scalar || !x || !BN_copy(scalar.get(), d) ||
        !BN_mul_word(scalar.get(), curve.cofactor()))
        return {};
    EcPoint shared(EC_POINT_new(curve.group()));
    if (!shared || !EC_POINT_mul(curve.group(), shared.get(), nullptr, peer.get(), scalar.get(), ctx.get()) ||
        EC_POINT_is_at_infinity(curve.group(), shared.get()) ||
        !affine(curve, shared.get(), x.get(), nullptr, ctx.get()))
        return {};
    return bn_to_vector(x.get(), curve.field_bytes());
}

}  // namespace vlrp11::sim
