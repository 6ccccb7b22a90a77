// Library-side CPU cost of one key exchange, one login and one C_Login through the function
// table, each beside OpenSSL doing the same primitive work (P-256 key generation, two ECDSA
// verifications, ECDH, SHA-256; 10 000 chained SHA-512 and the AES blocks of a login). The
// device's side is canned: replies are made once, outside the timed loop.
#include "api/function_table.h"
#include "api/library_state.h"
#include "api/session_record.h"
#include "device/command_codes.h"
#include "device/device_commands.h"
#include "device/device_connection.h"
#include "device/key_exchange.h"
#include "device/secure_channel.h"
#include "support/openssl_p256.h"
#include "support/openssl_pin.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::development_root_key;
using testing::ecdh_x;
using testing::new_p256_key;
using testing::P256Key;
using testing::public_key_bytes;
using testing::sign_hash;
using testing::sign_sha256;
using testing::verify_hash;

// A fixed seed makes the exchange's nonce and ephemeral key the same every time, so one canned
// device reply answers every iteration.
std::uint32_t fixed_entropy(std::uint64_t, std::uint8_t* buffer, std::size_t length)
{
    std::memset(buffer, 0x42, length);
    return 0;
}

Bytes canned_reply;

std::uint32_t canned_transport(DeviceConnection*, std::uint8_t, const std::uint8_t*, std::uint32_t,
                               std::uint8_t* reply, std::uint32_t* reply_length)
{
    std::memcpy(reply, canned_reply.data(), canned_reply.size());
    *reply_length = static_cast<std::uint32_t>(canned_reply.size());
    return 0;
}

std::uint32_t capture_request(DeviceConnection*, std::uint8_t, const std::uint8_t* request, std::uint32_t length,
                              std::uint8_t*, std::uint32_t*)
{
    canned_reply.assign(request, request + length);
    return 1;
}

DeviceConnection network_connection()
{
    DeviceConnection connection{};
    connection.kind = DEVICE_NETWORK_HSM;
    connection.login_state = LOGGED_OUT;
    connection.device_info[0] = 7;
    reset_channel_key(connection);
    return connection;
}

void prepare_key_exchange()
{
    if (!canned_reply.empty())
        return;
    DeviceConnection connection = network_connection();
    drbg_instantiate_from(connection.random, fixed_entropy, 0);
    connection.transport = capture_request;
    key_exchange(connection);
    Bytes request = canned_reply;

    P256Key root = development_root_key();
    P256Key identity = new_p256_key();
    P256Key ephemeral = new_p256_key();
    Bytes certificate = {7, 0, 0, 0, DEVICE_NETWORK_HSM, 0, 0, 0, 1, 0, 0, 0};
    Bytes identity_public = public_key_bytes(identity.get());
    certificate.insert(certificate.end(), identity_public.begin(), identity_public.end());
    Bytes root_signature = sign_sha256(root.get(), certificate.data(), certificate.size());
    certificate.insert(certificate.end(), root_signature.begin(), root_signature.end());
    Bytes reply = public_key_bytes(ephemeral.get());
    Bytes signed_data(request.begin(), request.begin() + 16);
    signed_data.insert(signed_data.end(), reply.begin(), reply.end());
    Bytes device_signature = sign_sha256(identity.get(), signed_data.data(), signed_data.size());
    reply.insert(reply.end(), device_signature.begin(), device_signature.end());
    reply.insert(reply.end(), certificate.begin(), certificate.end());
    canned_reply = reply;
}

void BM_KeyExchange_Library(benchmark::State& state)
{
    prepare_key_exchange();
    DeviceConnection connection = network_connection();
    connection.transport = canned_transport;
    for (auto _ : state) {
        drbg_instantiate_from(connection.random, fixed_entropy, 0);
        if (key_exchange(connection) != 0)
            state.SkipWithError("key exchange failed");
    }
}
BENCHMARK(BM_KeyExchange_Library)->Name("key_exchange/ours");

void BM_KeyExchange_OpenSsl(benchmark::State& state)
{
    prepare_key_exchange();
    P256Key root = new_p256_key();
    P256Key device = new_p256_key();
    std::uint8_t hash[32];
    SHA256(canned_reply.data(), 76, hash);
    Bytes signature = sign_hash(root.get(), hash);
    for (auto _ : state) {
        P256Key ephemeral = new_p256_key();
        std::uint8_t digest[32];
        SHA256(canned_reply.data() + 128, 76, digest);
        benchmark::DoNotOptimize(verify_hash(root.get(), hash, signature.data()));
        SHA256(canned_reply.data(), 80, digest);
        benchmark::DoNotOptimize(verify_hash(root.get(), hash, signature.data()));
        Bytes secret = ecdh_x(ephemeral.get(), device.get());
        SHA256(secret.data(), secret.size(), digest);
        benchmark::DoNotOptimize(digest);
    }
}
BENCHMARK(BM_KeyExchange_OpenSsl)->Name("key_exchange/openssl");

std::uint32_t login_reply(DeviceConnection*, std::uint8_t code, const std::uint8_t*, std::uint32_t, std::uint8_t* reply,
                          std::uint32_t* reply_length)
{
    if (code == CMD_LOGIN_USER) {
        std::memset(reply, 0x5A, 32);
        *reply_length = 32;
    }
    return 0;
}

void BM_Login_Library(benchmark::State& state)
{
    DeviceConnection connection = network_connection();
    connection.transport = login_reply;
    const std::uint8_t pin[] = "12345678";
    for (auto _ : state) {
        connection.login_state = LOGGED_OUT;
        if (login(connection, LOGGED_IN_USER, pin, 8) != 0)
            state.SkipWithError("login failed");
    }
}
BENCHMARK(BM_Login_Library)->Name("login/ours");

void BM_Login_OpenSsl(benchmark::State& state)
{
    const std::uint8_t pin[] = "12345678";
    for (auto _ : state) {
        std::uint8_t d[64];
        testing::openssl_pin_digest(pin, 8, d);
        // The login's AES work: two key schedules and three block encryptions.
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        std::uint8_t block[32];
        int n = 0;
        for (const std::uint8_t* key : {d + 32, d, d}) {
            EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key, nullptr);
            EVP_EncryptUpdate(ctx, block, &n, d, 16);
        }
        EVP_CIPHER_CTX_free(ctx);
        benchmark::DoNotOptimize(block);
    }
}
BENCHMARK(BM_Login_OpenSsl)->Name("login/openssl");
BENCHMARK(BM_Login_OpenSsl)->Name("c_login/openssl");

// A network HSM that accepts the login, reports its PIN counters and lists an empty directory.
std::uint32_t accepting_device(DeviceConnection*, std::uint8_t code, const std::uint8_t*, std::uint32_t,
                               std::uint8_t* reply, std::uint32_t* reply_length)
{
    if (reply_length == nullptr)
        return DEVICE_OK;
    std::uint32_t length = code == CMD_LOGIN_USER || code == CMD_GET_DEVICE_INFO ? 32 : 0;
    std::memset(reply, 0x5A, length);
    *reply_length = length;
    return DEVICE_OK;
}

// C_Login as an application calls it: the function table, the library lock, the session checks,
// the login, the device information and the object reload, on a device placed in slot 1.
void BM_CLogin_Library(benchmark::State& state)
{
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    get_function_list(&p11);
    p11->C_Initialize(nullptr);
    SlotRecord& slot = library_state().slots[0];
    auto* connection = static_cast<DeviceConnection*>(std::calloc(1, sizeof(DeviceConnection)));
    *connection = network_connection();
    connection->transport = accepting_device;
    slot.connection = connection;
    slot.sessions[0] = static_cast<SessionRecord*>(std::calloc(1, sizeof(SessionRecord)));
    slot.sessions[0]->flags = CKF_SERIAL_SESSION | CKF_RW_SESSION;
    std::uint8_t pin[] = "12345678";
    for (auto _ : state) {
        connection->login_state = LOGGED_OUT;
        if (p11->C_Login(0x101, CKU_USER, pin, 8) != CKR_OK)
            state.SkipWithError("C_Login failed");
    }
    // The placed device has no socket behind it: taken out again before C_Finalize closes slots.
    std::free(slot.sessions[0]);
    std::free(connection);
    slot = SlotRecord{};
    p11->C_Finalize(nullptr);
}
BENCHMARK(BM_CLogin_Library)->Name("c_login/ours");

}  // namespace
}  // namespace vlrp11

BENCHMARK_MAIN();
