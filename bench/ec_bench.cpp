// Elliptic-curve operations beside OpenSSL in one run: the P-256 operations of the secure-channel
// handshake, and one scalar multiplication per DSTU 4145 curve against OpenSSL's GF(2^m) code on
// the same curve. Each pair is named <op>/ours and <op>/openssl; scripts/bench_table.py sets
// them side by side with the ratio.

#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/param_build.h>

#include <string>
#include <vector>

#include "crypto/ec_curve.h"
#include "crypto/ec_p256.h"
#include "platform/random.h"

namespace {

using namespace vlrp11;

std::uint8_t system_source(void*, std::uint8_t* out, std::size_t bits)
{
    return system_random(out, (bits + 7) / 8) ? 0 : 1;
}

const RandomSource random_source{nullptr, system_source};

EVP_PKEY* openssl_p256_key()
{
    return EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
}

// x ‖ y of an OpenSSL key.
std::vector<std::uint8_t> openssl_public(EVP_PKEY* key)
{
    std::uint8_t encoded[65];
    std::size_t length = 0;
    EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, encoded, sizeof encoded, &length);
    return {encoded + 1, encoded + 65};
}

// Our handshake inputs: a key pair, a peer key, and two signatures made by OpenSSL.
struct P256Fixture {
    Limb d[4]{};
    EVP_PKEY* ossl_key = openssl_p256_key();
    EVP_PKEY* ossl_peer = openssl_p256_key();
    std::vector<std::uint8_t> peer_public = openssl_public(ossl_peer);
    std::vector<std::uint8_t> signer_public = openssl_public(ossl_key);
    std::uint8_t hash[32]{};
    std::uint8_t signature[64]{};
    std::vector<std::uint8_t> der_signature = std::vector<std::uint8_t>(80);

    P256Fixture()
    {
        ec_generate_scalar(d, EC_P256.order, 4, random_source);
        for (int i = 0; i < 32; ++i)
            hash[i] = static_cast<std::uint8_t>(i * 7 + 1);
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(ossl_key, nullptr);
        EVP_PKEY_sign_init(ctx);
        std::size_t length = der_signature.size();
        EVP_PKEY_sign(ctx, der_signature.data(), &length, hash, 32);
        der_signature.resize(length);
        EVP_PKEY_CTX_free(ctx);
        const std::uint8_t* p = der_signature.data();
        ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(length));
        BN_bn2binpad(ECDSA_SIG_get0_r(sig), signature, 32);
        BN_bn2binpad(ECDSA_SIG_get0_s(sig), signature + 32, 32);
        ECDSA_SIG_free(sig);
    }
};

P256Fixture& p256()
{
    static P256Fixture fixture;
    return fixture;
}

void ours_keygen()
{
    Limb d[4];
    std::uint8_t pub[64];
    std::size_t length = 0;
    ec_generate_scalar(d, EC_P256.order, 4, random_source);
    if (ec_public_from_private(pub, &length, d) != 0)
        std::abort();
}

void ours_shared_secret()
{
    std::uint8_t secret[32];
    std::size_t length = 0;
    if (ec_shared_secret(secret, &length, p256().d, p256().peer_public.data()) != 0)
        std::abort();
}

void ours_verify()
{
    if (ecdsa_verify(p256().signer_public.data(), p256().hash, p256().signature) != 0)
        std::abort();
}

void openssl_keygen()
{
    EVP_PKEY_free(openssl_p256_key());
}

void openssl_shared_secret()
{
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(p256().ossl_key, nullptr);
    std::uint8_t secret[32];
    std::size_t length = sizeof secret;
    EVP_PKEY_derive_init(ctx);
    EVP_PKEY_derive_set_peer(ctx, p256().ossl_peer);
    if (EVP_PKEY_derive(ctx, secret, &length) != 1)
        std::abort();
    EVP_PKEY_CTX_free(ctx);
}

void openssl_verify()
{
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(p256().ossl_key, nullptr);
    EVP_PKEY_verify_init(ctx);
    if (EVP_PKEY_verify(ctx, p256().der_signature.data(), p256().der_signature.size(),
                        p256().hash, 32) != 1)
        std::abort();
    EVP_PKEY_CTX_free(ctx);
}

template <void (*Op)()>
void run(benchmark::State& state)
{
    for (auto _ : state)
        Op();
    state.SetItemsProcessed(state.iterations());
}

template <void (*Keygen)(), void (*Verify)(), void (*Secret)()>
void handshake(benchmark::State& state)
{
    for (auto _ : state) {
        Keygen();
        Verify();
        Verify();
        Secret();
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(run<ours_keygen>)->Name("p256_keygen/ours");
BENCHMARK(run<openssl_keygen>)->Name("p256_keygen/openssl");
BENCHMARK(run<ours_shared_secret>)->Name("p256_shared_secret/ours");
BENCHMARK(run<openssl_shared_secret>)->Name("p256_shared_secret/openssl");
BENCHMARK(run<ours_verify>)->Name("p256_ecdsa_verify/ours");
BENCHMARK(run<openssl_verify>)->Name("p256_ecdsa_verify/openssl");
BENCHMARK(handshake<ours_keygen, ours_verify, ours_shared_secret>)->Name("p256_handshake/ours");
BENCHMARK(handshake<openssl_keygen, openssl_verify, openssl_shared_secret>)
    ->Name("p256_handshake/openssl");

// One DSTU curve on both sides: our descriptor, and the same parameters in an OpenSSL GF(2^m)
// group. The point multiplied is a fixed multiple of the base point, the scalar random below n.
struct DstuCurve {
    const char* name;
    const CurveDescriptor* curve;
    EC_GROUP* group = nullptr;
    EC_POINT* point = nullptr;
    BIGNUM* k = nullptr;
    Limb px[EC_MAX_LIMBS]{}, py[EC_MAX_LIMBS]{}, k_limbs[EC_MAX_LIMBS]{};
};

BIGNUM* to_bn(const Limb* limbs, std::size_t n)
{
    std::vector<std::uint8_t> bytes(8 * n);
    native_to_bytes(bytes.data(), bytes.size(), limbs);
    return BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr);
}

void from_bn(Limb* limbs, std::size_t n, const BIGNUM* bn)
{
    std::vector<std::uint8_t> bytes(8 * n);
    BN_bn2binpad(bn, bytes.data(), static_cast<int>(bytes.size()));
    bytes_to_native(limbs, bytes.data(), bytes.size());
}

void set_up(DstuCurve& c)
{
    const CurveDescriptor& d = *c.curve;
    const std::size_t n = field_limbs(d);
    BIGNUM* poly = BN_new();
    for (int t = 0; t < 4 && d.modulus[t] != 0; ++t)
        BN_set_bit(poly, static_cast<int>(d.modulus[t]));
    BN_set_bit(poly, 0);
    BIGNUM* a = BN_new();
    BN_set_word(a, d.a_flag);
    BIGNUM* b = to_bn(d.b, n);
    c.group = EC_GROUP_new_curve_GF2m(poly, a, b, nullptr);
    EC_POINT* g = EC_POINT_new(c.group);
    BIGNUM* gx = to_bn(d.gx, n);
    BIGNUM* gy = to_bn(d.gy, n);
    EC_POINT_set_affine_coordinates(c.group, g, gx, gy, nullptr);
    BIGNUM* order = to_bn(d.order, order_limbs(d));
    EC_GROUP_set_generator(c.group, g, order, nullptr);
    c.point = EC_POINT_new(c.group);
    BIGNUM* j = BN_new();
    BN_set_word(j, 0x1234567);
    EC_POINT_mul(c.group, c.point, nullptr, g, j, nullptr);
    EC_POINT_get_affine_coordinates(c.group, c.point, gx, gy, nullptr);
    from_bn(c.px, n, gx);
    from_bn(c.py, n, gy);
    c.k = BN_new();
    BN_rand_range(c.k, order);
    from_bn(c.k_limbs, order_limbs(d), c.k);
    for (BIGNUM* bn : {poly, a, b, gx, gy, order, j})
        BN_free(bn);
    EC_POINT_free(g);
}

std::vector<DstuCurve>& dstu_curves()
{
    static std::vector<DstuCurve> curves = [] {
        std::vector<DstuCurve> list{
            {"dstu163", &EC_DSTU4145_163}, {"dstu233", &EC_DSTU4145_233},
            {"dstu257", &EC_DSTU4145_257}, {"dstu307", &EC_DSTU4145_307},
            {"dstu367", &EC_DSTU4145_367}, {"dstu431", &EC_DSTU4145_431},
        };
        for (auto& c : list)
            set_up(c);
        return list;
    }();
    return curves;
}

void ours_dstu(benchmark::State& state, std::size_t index)
{
    DstuCurve& c = dstu_curves()[index];
    Limb x[EC_MAX_LIMBS], y[EC_MAX_LIMBS];
    for (auto _ : state) {
        if (c.curve->point_mul(*c.curve, x, y, nullptr, c.px, c.py, c.k_limbs) != 0)
            std::abort();
    }
    state.SetItemsProcessed(state.iterations());
}

void openssl_dstu(benchmark::State& state, std::size_t index)
{
    DstuCurve& c = dstu_curves()[index];
    EC_POINT* r = EC_POINT_new(c.group);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* x = BN_new();
    BIGNUM* y = BN_new();
    for (auto _ : state) {
        if (EC_POINT_mul(c.group, r, nullptr, c.point, c.k, ctx) != 1 ||
            EC_POINT_get_affine_coordinates(c.group, r, x, y, ctx) != 1)
            std::abort();
    }
    state.SetItemsProcessed(state.iterations());
    BN_free(x);
    BN_free(y);
    BN_CTX_free(ctx);
    EC_POINT_free(r);
}

void register_dstu()
{
    for (std::size_t i = 0; i < dstu_curves().size(); ++i) {
        const std::string name = dstu_curves()[i].name;
        benchmark::RegisterBenchmark((name + "_point_mul/openssl").c_str(), openssl_dstu, i);
        benchmark::RegisterBenchmark((name + "_point_mul/ours").c_str(), ours_dstu, i);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    register_dstu();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
