// Every hash at 64-byte and 16 KiB messages, AES-CBC encryption and decryption, and the PIN
// derivation, each beside OpenSSL in the same run. Names are <operation>/<implementation>/<bytes>; scripts/bench_table.py
// sets each implementation against the openssl row of the same operation and size.
//
// "ours" is what the process selects (SHA instructions, the AVX2 SHA-512 schedule and AES
// instructions on this processor); "ours_portable" and "ours_tables" force the portable SHA
// compressions and the AES table path. Run with
// OPENSSL_ia32cap masking AES-NI, the openssl AES rows become OpenSSL without the AES
// instructions, the reference for the table path.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/aes.h"
#include "crypto/aes_paths.h"
#include "crypto/kupyna.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "crypto/sha3.h"
#include "crypto/sha512.h"
#include "crypto/sha_compress.h"

namespace {

using namespace vlrp11;

std::vector<std::uint8_t> bench_data(std::int64_t n)
{
    std::vector<std::uint8_t> data(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return data;
}

void set_bytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

const EVP_MD* fetch_digest(const char* name)
{
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    if (md == nullptr) {
        std::fprintf(stderr, "OpenSSL lacks %s\n", name);
        std::exit(1);
    }
    return md;
}

// One context reused for every message, as a long-lived caller would hold it.
void openssl_hash(benchmark::State& state, const char* name)
{
    const EVP_MD* md = fetch_digest(name);
    const auto data = bench_data(state.range(0));
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::uint8_t out[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    for (auto _ : state) {
        EVP_DigestInit_ex(ctx, md, nullptr);
        EVP_DigestUpdate(ctx, data.data(), data.size());
        EVP_DigestFinal_ex(ctx, out, &length);
        benchmark::DoNotOptimize(out);
    }
    EVP_MD_CTX_free(ctx);
    set_bytes(state);
}

template <typename Context, auto Init, auto Update, auto Final, auto Parameter>
void our_hash(benchmark::State& state)
{
    const auto data = bench_data(state.range(0));
    Context ctx;
    std::uint8_t out[64];
    for (auto _ : state) {
        Init(ctx, Parameter);
        Update(ctx, data.data(), data.size());
        Final(ctx, out);
        benchmark::DoNotOptimize(out);
    }
    set_bytes(state);
}

void sha1_init_any(Sha1Context& ctx, int) { sha1_init(ctx); }

template <void (*Hash)(benchmark::State&)>
void with_portable_sha(benchmark::State& state)
{
    const ShaPath selected = sha_path(), selected_512 = sha512_path();
    sha_set_path(ShaPath::portable);
    sha512_set_path(ShaPath::portable);
    Hash(state);
    sha_set_path(selected);
    sha512_set_path(selected_512);
}

// One block, a short message and a long one.
void hash_sizes(benchmark::internal::Benchmark* b)
{
    b->Arg(64)->Arg(1024)->Arg(16384);
}

#define HASH_PAIR(op, openssl_name, ours)                                                          \
    BENCHMARK_CAPTURE(openssl_hash, openssl, openssl_name)->Name(op "/openssl")->Apply(hash_sizes); \
    BENCHMARK(ours)->Name(op "/ours")->Apply(hash_sizes)

constexpr auto& sha1_ours = our_hash<Sha1Context, sha1_init_any, sha1_update, sha1_final, 0>;
constexpr auto& sha224_ours = our_hash<Sha256Context, sha256_init, sha256_update, sha256_final, true>;
constexpr auto& sha256_ours = our_hash<Sha256Context, sha256_init, sha256_update, sha256_final, false>;
constexpr auto& sha384_ours = our_hash<Sha512Context, sha512_init, sha512_update, sha512_final, true>;
constexpr auto& sha512_ours = our_hash<Sha512Context, sha512_init, sha512_update, sha512_final, false>;
constexpr auto& sha3_224_ours = our_hash<Sha3Context, sha3_init, sha3_update, sha3_final, 7u>;
constexpr auto& sha3_256_ours = our_hash<Sha3Context, sha3_init, sha3_update, sha3_final, 8u>;
constexpr auto& sha3_384_ours = our_hash<Sha3Context, sha3_init, sha3_update, sha3_final, 12u>;
constexpr auto& sha3_512_ours = our_hash<Sha3Context, sha3_init, sha3_update, sha3_final, 16u>;
constexpr auto& kupyna256_ours = our_hash<KupynaContext, kupyna_init, kupyna_update, kupyna_final, std::size_t{32}>;
constexpr auto& kupyna384_ours = our_hash<KupynaContext, kupyna_init, kupyna_update, kupyna_final, std::size_t{48}>;
constexpr auto& kupyna512_ours = our_hash<KupynaContext, kupyna_init, kupyna_update, kupyna_final, std::size_t{64}>;

HASH_PAIR("sha1", "SHA1", sha1_ours);
BENCHMARK(with_portable_sha<sha1_ours>)->Name("sha1/ours_portable")->Apply(hash_sizes);
HASH_PAIR("sha224", "SHA224", sha224_ours);
HASH_PAIR("sha256", "SHA256", sha256_ours);
BENCHMARK(with_portable_sha<sha256_ours>)->Name("sha256/ours_portable")->Apply(hash_sizes);
// Long messages, where only the compression counts.
BENCHMARK_CAPTURE(openssl_hash, openssl, "SHA256")->Name("sha256/openssl")->Arg(1 << 20);
BENCHMARK(sha256_ours)->Name("sha256/ours")->Arg(1 << 20);
HASH_PAIR("sha384", "SHA384", sha384_ours);
HASH_PAIR("sha512", "SHA512", sha512_ours);
BENCHMARK(with_portable_sha<sha512_ours>)->Name("sha512/ours_portable")->Apply(hash_sizes);
HASH_PAIR("sha3_224", "SHA3-224", sha3_224_ours);
HASH_PAIR("sha3_256", "SHA3-256", sha3_256_ours);
HASH_PAIR("sha3_384", "SHA3-384", sha3_384_ours);
HASH_PAIR("sha3_512", "SHA3-512", sha3_512_ours);
BENCHMARK(kupyna256_ours)->Name("kupyna256/ours")->Arg(64)->Arg(16384);
BENCHMARK(kupyna384_ours)->Name("kupyna384/ours")->Arg(64)->Arg(16384);
BENCHMARK(kupyna512_ours)->Name("kupyna512/ours")->Arg(64)->Arg(16384);

const std::uint8_t bench_key[32] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15,
                                    0x88, 0x09, 0xcf, 0x4f, 0x3c, 0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca,
                                    0x71, 0xbe, 0x2b, 0x73, 0xae, 0xf0, 0x85, 0x7d, 0x77, 0x81};

const EVP_CIPHER* openssl_cbc(unsigned key_bits)
{
    return key_bits == 128 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
}

// OpenSSL's CBC, with one context whose chaining value simply runs on between messages.
void openssl_cbc_run(benchmark::State& state, unsigned key_bits, bool encrypt)
{
    const auto in = bench_data(state.range(0));
    std::vector<std::uint8_t> out(in.size() + 16);
    const std::uint8_t iv[16] = {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, openssl_cbc(key_bits), nullptr, bench_key, iv, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int length = 0;
    for (auto _ : state) {
        EVP_CipherUpdate(ctx, out.data(), &length, in.data(), static_cast<int>(in.size()));
        benchmark::DoNotOptimize(out.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    set_bytes(state);
}

using SetKey = void (*)(AesKey&, const std::uint8_t*, unsigned);
using Cbc = void (*)(const AesKey&, std::uint8_t*, const std::uint8_t*, std::uint8_t*, std::size_t);

void selected_set_key(AesKey& schedule, const std::uint8_t* key, unsigned bits) { aes_set_key(schedule, key, bits); }

// Our CBC calls, the chaining value running on between messages as in OpenSSL's rows.
void our_cbc(benchmark::State& state, unsigned key_bits, SetKey set_key, Cbc cbc)
{
    const auto in = bench_data(state.range(0));
    std::vector<std::uint8_t> out(in.size());
    AesKey schedule;
    set_key(schedule, bench_key, key_bits);
    std::uint8_t chain[16] = {};
    for (auto _ : state) {
        cbc(schedule, chain, in.data(), out.data(), in.size() / 16);
        benchmark::DoNotOptimize(out.data());
    }
    set_bytes(state);
}

#define AES_ROWS(op, bits, encrypt, selected, tables)                                                    \
    BENCHMARK_CAPTURE(openssl_cbc_run, openssl, bits, encrypt)->Name(op "/openssl")->Arg(16384);          \
    BENCHMARK_CAPTURE(our_cbc, ours, bits, selected_set_key, selected)->Name(op "/ours")->Arg(16384);     \
    BENCHMARK_CAPTURE(our_cbc, ours_tables, bits, aes_set_key_tables, tables)->Name(op "/ours_tables")->Arg(16384)

AES_ROWS("aes128_cbc_encrypt", 128u, true, aes_cbc_encrypt, aes_cbc_encrypt_tables);
AES_ROWS("aes128_cbc_decrypt", 128u, false, aes_cbc_decrypt, aes_cbc_decrypt_tables);
AES_ROWS("aes256_cbc_encrypt", 256u, true, aes_cbc_encrypt, aes_cbc_encrypt_tables);
AES_ROWS("aes256_cbc_decrypt", 256u, false, aes_cbc_decrypt, aes_cbc_decrypt_tables);

// PIN derivation: D0 = SHA-512(PIN), then 9 999 more SHA-512 over the 64-byte digest. The
// argument is the PIN length; the time per derivation is the row's CPU time.
void pin_derivation_ours(benchmark::State& state)
{
    const auto pin = bench_data(state.range(0));
    Sha512Context ctx;
    std::uint8_t digest[64];
    for (auto _ : state) {
        sha512_init(ctx, false);
        sha512_update(ctx, pin.data(), pin.size());
        sha512_final(ctx, digest);
        for (int i = 1; i < 10000; ++i) {
            sha512_update(ctx, digest, sizeof digest);
            sha512_final(ctx, digest);
        }
        benchmark::DoNotOptimize(digest);
    }
}

void pin_derivation_openssl(benchmark::State& state)
{
    const EVP_MD* md = fetch_digest("SHA512");
    const auto pin = bench_data(state.range(0));
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::uint8_t digest[64];
    unsigned length = 0;
    for (auto _ : state) {
        EVP_DigestInit_ex(ctx, md, nullptr);
        EVP_DigestUpdate(ctx, pin.data(), pin.size());
        EVP_DigestFinal_ex(ctx, digest, &length);
        for (int i = 1; i < 10000; ++i) {
            EVP_DigestInit_ex(ctx, md, nullptr);
            EVP_DigestUpdate(ctx, digest, sizeof digest);
            EVP_DigestFinal_ex(ctx, digest, &length);
        }
        benchmark::DoNotOptimize(digest);
    }
    EVP_MD_CTX_free(ctx);
}

BENCHMARK(pin_derivation_openssl)->Name("pin_derivation/openssl")->Arg(8);
BENCHMARK(pin_derivation_ours)->Name("pin_derivation/ours")->Arg(8);

}  // namespace

BENCHMARK_MAIN();
