// GOST 28147-89 and GOST 34.311-95 side by side with the GOST engine for OpenSSL, plus the Kalyna
// key schedules. Names are <operation>/<implementation>/<bytes>; scripts/bench_table.py sets each
// implementation against the engine row of the same operation and size.
//
// The engine offers no ECB mode, so its block rate is measured with CBC, which chains every block
// on the previous one; "ours_chained" does the same with our block function, "ours_ecb" runs
// independent blocks. The engine uses the CryptoPro S-boxes and we use the default S-box: the work
// per block is the same.

#define OPENSSL_SUPPRESS_DEPRECATED  // the engine is reached through the ENGINE interface

#include "crypto/gost28147.h"
#include "crypto/gost34311.h"
#include "crypto/kalyna.h"

#include <benchmark/benchmark.h>
#include <openssl/engine.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace vlrp11;

ENGINE* gost_engine()
{
    static ENGINE* engine = [] {
        ENGINE_load_builtin_engines();
        ENGINE* e = ENGINE_by_id("gost");
        if (e == nullptr || ENGINE_init(e) != 1) {
            std::fprintf(stderr, "the GOST engine is not available\n");
            std::exit(1);
        }
        ENGINE_ctrl_cmd_string(e, "CRYPT_PARAMS", "1.2.643.2.2.31.1", 0);
        return e;
    }();
    return engine;
}

const std::uint8_t bench_key[32] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb,
                                    0xcc, 0xdd, 0xee, 0xff, 0x01, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67,
                                    0x78, 0x89, 0x9a, 0xab, 0xbc, 0xcd, 0xde, 0xef, 0xf0, 0x0f};

std::vector<std::uint8_t> bench_data(std::int64_t n)
{
    std::vector<std::uint8_t> data(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    return data;
}

void run_engine_cipher(benchmark::State& state, int nid)
{
    const EVP_CIPHER* cipher = ENGINE_get_cipher(gost_engine(), nid);
    const std::vector<std::uint8_t> in = bench_data(state.range(0));
    std::vector<std::uint8_t> out(in.size());
    const std::uint8_t iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, cipher, gost_engine(), bench_key, iv);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    for (auto _ : state) {
        int written = 0;
        EVP_EncryptUpdate(ctx, out.data(), &written, in.data(), static_cast<int>(in.size()));
        benchmark::DoNotOptimize(out.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void gost28147_blocks_ours_ecb(benchmark::State& state)
{
    std::uint32_t key[8];
    gost28147_load_key(bench_key, key);
    const std::vector<std::uint8_t> in = bench_data(state.range(0));
    std::vector<std::uint8_t> out(in.size());
    for (auto _ : state) {
        gost28147_ecb_encrypt(key, in.data(), in.size(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void gost28147_blocks_ours_chained(benchmark::State& state)
{
    std::uint32_t key[8];
    gost28147_load_key(bench_key, key);
    std::vector<std::uint8_t> data = bench_data(state.range(0));
    for (auto _ : state) {
        std::uint8_t chain[8] = {};
        for (std::size_t i = 0; i < data.size(); i += 8) {
            for (int j = 0; j < 8; ++j) {
                chain[j] ^= data[i + j];
            }
            gost28147_encrypt_block(chain, key, nullptr);
            std::copy_n(chain, 8, data.begin() + static_cast<std::ptrdiff_t>(i));
        }
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void gost28147_blocks_engine_cbc(benchmark::State& state)
{
    run_engine_cipher(state, NID_gost89_cbc);
}

void gost28147_ctr_ours(benchmark::State& state)
{
    std::uint32_t key[8];
    gost28147_load_key(bench_key, key);
    const std::vector<std::uint8_t> in = bench_data(state.range(0));
    std::vector<std::uint8_t> out(in.size());
    std::uint8_t counter[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::uint8_t gamma[8] = {};
    std::int32_t position = -1;
    for (auto _ : state) {
        gost28147_ctr(key, &position, counter, gamma, in.data(), in.size(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void gost28147_ctr_engine(benchmark::State& state)
{
    run_engine_cipher(state, NID_gost89_cnt);
}

void gost34311_ours(benchmark::State& state)
{
    const std::vector<std::uint8_t> in = bench_data(state.range(0));
    std::uint8_t out[32];
    for (auto _ : state) {
        gost34311_digest(in.data(), in.size(), out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void gost34311_engine(benchmark::State& state)
{
    const EVP_MD* md = ENGINE_get_digest(gost_engine(), NID_id_GostR3411_94);
    const std::vector<std::uint8_t> in = bench_data(state.range(0));
    std::uint8_t out[32];
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    for (auto _ : state) {
        unsigned int written = 0;
        EVP_DigestInit_ex(ctx, md, gost_engine());
        EVP_DigestUpdate(ctx, in.data(), in.size());
        EVP_DigestFinal_ex(ctx, out, &written);
        benchmark::DoNotOptimize(out);
    }
    EVP_MD_CTX_free(ctx);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Kalyna key expansion; nothing in OpenSSL or the engine to set beside it. Arguments: block
// bits, key bits.
void kalyna_expand_key_ours(benchmark::State& state)
{
    KalynaKeySchedule schedule{};
    kalyna_select_variant(schedule, static_cast<std::size_t>(state.range(0)),
                          static_cast<std::size_t>(state.range(1)));
    const std::vector<std::uint8_t> key = bench_data(64);
    for (auto _ : state) {
        kalyna_expand_key(schedule, key.data());
        benchmark::DoNotOptimize(schedule.decrypt_keys);
    }
}

}  // namespace

BENCHMARK(gost28147_blocks_ours_ecb)->Name("gost28147_blocks/ours_ecb")->Arg(4096);
BENCHMARK(gost28147_blocks_ours_chained)->Name("gost28147_blocks/ours_chained")->Arg(4096);
BENCHMARK(gost28147_blocks_engine_cbc)->Name("gost28147_blocks/engine_cbc")->Arg(4096);
BENCHMARK(gost28147_ctr_ours)->Name("gost28147_ctr/ours")->Arg(4096);
BENCHMARK(gost28147_ctr_engine)->Name("gost28147_ctr/engine")->Arg(4096);
BENCHMARK(gost34311_ours)->Name("gost34311/ours")->Arg(32)->Arg(1024)->Arg(65536);
BENCHMARK(gost34311_engine)->Name("gost34311/engine")->Arg(32)->Arg(1024)->Arg(65536);

BENCHMARK(kalyna_expand_key_ours)
    ->Name("kalyna_expand_key/ours")
    ->Args({128, 128})
    ->Args({128, 256})
    ->Args({256, 256})
    ->Args({256, 512})
    ->Args({512, 512});

BENCHMARK_MAIN();
