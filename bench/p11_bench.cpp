// The same PKCS#11 calls through two modules loaded by path, in one run: this library (on the
// network HSM that VLRP11_MORVA_HSM_CONFIG names, scripts/bench.sh starts one) and SoftHSM2 with a
// token initialised in a temporary directory. Digests and session-key AES run in software in
// both; C_Sign runs on the device for us, so its CPU time is the library's own work per call
// (the simulator is another process) and its wall time is the trip through the transport.
#include "support/temp_dir.h"

#include "vlrp11/pkcs11.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace vlrp11 {
namespace {

constexpr char user_pin[] = "123456";
constexpr char so_pin[] = "87654321";

CK_UTF8CHAR_PTR text(const char* s)
{
    return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(s));
}

// One module, initialised, with a logged-in read-write session on its first token.
struct Module {
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    CK_SESSION_HANDLE session = 0;
    std::string error;

    explicit Module(const char* path, bool initialiseToken)
    {
        void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        auto getList = library != nullptr ? reinterpret_cast<CK_C_GetFunctionList>(dlsym(library, "C_GetFunctionList"))
                                          : nullptr;
        if (getList == nullptr || getList(&p11) != CKR_OK || p11->C_Initialize(nullptr) != CKR_OK) {
            error = std::string("cannot load ") + path;
            return;
        }
        CK_SLOT_ID slots[16];
        CK_ULONG count = 16;
        if (p11->C_GetSlotList(CK_TRUE, slots, &count) != CKR_OK || count == 0) {
            error = std::string("no token in ") + path;
            return;
        }
        if (initialiseToken) {
            CK_UTF8CHAR label[32];
            std::memset(label, ' ', sizeof label);
            std::memcpy(label, "bench", 5);
            p11->C_InitToken(slots[0], text(so_pin), std::strlen(so_pin), label);
            count = 16;
            p11->C_GetSlotList(CK_TRUE, slots, &count);
            CK_SESSION_HANDLE so = 0;
            p11->C_OpenSession(slots[0], CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &so);
            p11->C_Login(so, CKU_SO, text(so_pin), std::strlen(so_pin));
            p11->C_InitPIN(so, text(user_pin), std::strlen(user_pin));
            p11->C_CloseSession(so);
        }
        p11->C_OpenSession(slots[0], CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session);
        const char* pin = std::getenv("VLRP11_SIM_USER_PIN");
        pin = pin != nullptr && !initialiseToken ? pin : user_pin;
        if (p11->C_Login(session, CKU_USER, text(pin), std::strlen(pin)) != CKR_OK)
            error = std::string("cannot log in to ") + path;
    }
};

// SoftHSM2 reads its configuration from SOFTHSM2_CONF when it is loaded.
Module& softhsm()
{
    static testing::TempDir dir("vlrp11-softhsm");
    static Module module = [] {
        std::filesystem::create_directory(dir.path() / "tokens");
        std::ofstream(dir.path() / "softhsm2.conf") << "directories.tokendir = " << (dir.path() / "tokens").string()
                                                    << "\nobjectstore.backend = file\nlog.level = ERROR\n";
        ::setenv("SOFTHSM2_CONF", (dir.path() / "softhsm2.conf").c_str(), 1);
        const char* path = std::getenv("SOFTHSM2_MODULE");
        return Module(path != nullptr ? path : "/usr/lib/softhsm/libsofthsm2.so", true);
    }();
    return module;
}

Module& ours()
{
    static Module module(VLRP11_MODULE, false);
    return module;
}

Module* ready(Module& module, benchmark::State& state)
{
    if (!module.error.empty()) {
        state.SkipWithError(module.error.c_str());
        return nullptr;
    }
    return &module;
}

void digest_sha256(benchmark::State& state, Module& (*which)())
{
    Module* m = ready(which(), state);
    if (m == nullptr)
        return;
    std::vector<CK_BYTE> data(static_cast<std::size_t>(state.range(0)), 0x61);
    CK_BYTE out[32];
    CK_MECHANISM sha256{CKM_SHA256, nullptr, 0};
    for (auto _ : state) {
        CK_ULONG length = sizeof out;
        m->p11->C_DigestInit(m->session, &sha256);
        if (m->p11->C_Digest(m->session, data.data(), data.size(), out, &length) != CKR_OK)
            state.SkipWithError("C_Digest failed");
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK_CAPTURE(digest_sha256, softhsm, softhsm)->Name("digest_sha256/softhsm")->Arg(64)->Arg(1 << 20);
BENCHMARK_CAPTURE(digest_sha256, ours, ours)->Name("digest_sha256/ours")->Arg(64)->Arg(1 << 20);

void encrypt_aes128_cbc(benchmark::State& state, Module& (*which)())
{
    Module* m = ready(which(), state);
    if (m == nullptr)
        return;
    CK_ULONG keyLength = 16;
    CK_ATTRIBUTE keyTemplate[] = {{CKA_VALUE_LEN, &keyLength, sizeof keyLength}};
    CK_MECHANISM generate{CKM_AES_KEY_GEN, nullptr, 0};
    CK_OBJECT_HANDLE key = 0;
    if (m->p11->C_GenerateKey(m->session, &generate, keyTemplate, 1, &key) != CKR_OK) {
        state.SkipWithError("C_GenerateKey failed");
        return;
    }
    std::vector<CK_BYTE> data(1 << 20, 0x61), out(data.size());
    CK_BYTE iv[16] = {};
    CK_MECHANISM cbc{CKM_AES_CBC, iv, sizeof iv};
    for (auto _ : state) {
        CK_ULONG length = out.size();
        m->p11->C_EncryptInit(m->session, &cbc, key);
        if (m->p11->C_Encrypt(m->session, data.data(), data.size(), out.data(), &length) != CKR_OK)
            state.SkipWithError("C_Encrypt failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
    m->p11->C_DestroyObject(m->session, key);
}
BENCHMARK_CAPTURE(encrypt_aes128_cbc, softhsm, softhsm)->Name("encrypt_aes128_cbc/softhsm/1048576");
BENCHMARK_CAPTURE(encrypt_aes128_cbc, ours, ours)->Name("encrypt_aes128_cbc/ours/1048576");

// C_Sign with ECDSA P-256 on a key pair made for the run (a session pair in SoftHSM2, a device
// pair here).
void sign_ecdsa_p256(benchmark::State& state, Module& (*which)())
{
    Module* m = ready(which(), state);
    if (m == nullptr)
        return;
    CK_BYTE p256[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
    CK_BYTE label[] = {'b', 'e', 'n', 'c', 'h'};
    CK_BBOOL yes = CK_TRUE;
    CK_ATTRIBUTE publicTemplate[] = {{CKA_EC_PARAMS, p256, sizeof p256}};
    CK_ATTRIBUTE privateTemplate[] = {{CKA_LABEL, label, sizeof label}, {CKA_SIGN, &yes, 1}};
    CK_MECHANISM generate{CKM_EC_KEY_PAIR_GEN, nullptr, 0};
    CK_OBJECT_HANDLE publicKey = 0, privateKey = 0;
    if (m->p11->C_GenerateKeyPair(m->session, &generate, publicTemplate, 1, privateTemplate, 2, &publicKey,
                                  &privateKey) != CKR_OK) {
        state.SkipWithError("C_GenerateKeyPair failed");
        return;
    }
    CK_BYTE hash[32] = {1, 2, 3}, signature[64];
    CK_MECHANISM ecdsa{CKM_ECDSA, nullptr, 0};
    for (auto _ : state) {
        CK_ULONG length = sizeof signature;
        m->p11->C_SignInit(m->session, &ecdsa, privateKey);
        if (m->p11->C_Sign(m->session, hash, sizeof hash, signature, &length) != CKR_OK)
            state.SkipWithError("C_Sign failed");
    }
    m->p11->C_DestroyObject(m->session, privateKey);
}
BENCHMARK_CAPTURE(sign_ecdsa_p256, softhsm, softhsm)->Name("sign_ecdsa_p256/softhsm");
BENCHMARK_CAPTURE(sign_ecdsa_p256, ours, ours)->Name("sign_ecdsa_p256/ours");
BENCHMARK_CAPTURE(sign_ecdsa_p256, ours_wall, ours)->Name("sign_ecdsa_p256_wall/ours")->UseRealTime();

}  // namespace
}  // namespace vlrp11

BENCHMARK_MAIN();
