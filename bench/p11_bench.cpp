// The same PKCS#11 calls through two modules loaded by path, in one run: this library on the
// simulated devices that scripts/bench.sh starts, and SoftHSM2 with a token initialised in a
// temporary directory. Digests, session-key AES, object searches and attribute reads run in
// software in both (on our token's slot). The device calls run once per transport: the PC/SC
// token, the PC/SC HSM and the network HSM over TCP. For those each row carries the wall time
// (the trip through the transport), the process CPU time (the library's own work: the simulator
// is another process), the device commands per call as the simulator counted them, and the
// cryptography the call cannot do without, timed here in process: the channel's AES blocks for
// the bytes exchanged, plus the SHA-512 compressions of a login's PIN derivation and the key
// exchange of a network session opening. Beside them, the bare transport: the CPU time of one
// small command exchanged without the library (one SCardTransmit through pcscd, or one send and
// one receive).
#include "crypto/aes.h"
#include "crypto/ec_curve.h"
#include "crypto/ec_p256.h"
#include "crypto/sha256.h"
#include "crypto/sha_compress.h"
#include "device/command_codes.h"
#include "device/config_file.h"
#include "device/connect.h"
#include "device/discovery.h"
#include "device/secure_channel.h"
#include "platform/sockets.h"
#include "support/openssl_p256.h"
#include "support/temp_dir.h"

#include "vlrp11/pkcs11.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <openssl/sha.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vlrp11 {
namespace {

constexpr char user_pin[] = "123456";
constexpr char so_pin[] = "87654321";
constexpr CK_ULONG find_objects = 64;
constexpr char find_label[] = "bench-find";

CK_UTF8CHAR_PTR text(const char* s)
{
    return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(s));
}

// A slot of a loaded module with a logged-in read-write session on it.
struct Target {
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    CK_SLOT_ID slot = 0;
    CK_SESSION_HANDLE session = 0;
    const char* pin = user_pin;
    std::string error;
};

CK_FUNCTION_LIST_PTR load(const char* path)
{
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    auto getList = library != nullptr ? reinterpret_cast<CK_C_GetFunctionList>(dlsym(library, "C_GetFunctionList"))
                                      : nullptr;
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    if (getList == nullptr || getList(&p11) != CKR_OK || p11->C_Initialize(nullptr) != CKR_OK)
        return nullptr;
    return p11;
}

std::vector<CK_SLOT_ID> token_slots(CK_FUNCTION_LIST_PTR p11)
{
    CK_SLOT_ID slots[64];
    CK_ULONG count = 64;
    if (p11->C_GetSlotList(CK_TRUE, slots, &count) != CKR_OK)
        return {};
    return std::vector<CK_SLOT_ID>(slots, slots + count);
}

void open_logged_in(Target& target, const char* name)
{
    target.p11->C_OpenSession(target.slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &target.session);
    if (target.p11->C_Login(target.session, CKU_USER, text(target.pin), std::strlen(target.pin)) != CKR_OK)
        target.error = std::string("cannot log in to ") + name;
}

// SoftHSM2 reads its configuration from SOFTHSM2_CONF when it is loaded.
Target& softhsm()
{
    static testing::TempDir dir("vlrp11-softhsm");
    static Target target = [] {
        Target t;
        std::filesystem::create_directory(dir.path() / "tokens");
        std::ofstream(dir.path() / "softhsm2.conf") << "directories.tokendir = " << (dir.path() / "tokens").string()
                                                    << "\nobjectstore.backend = file\nlog.level = ERROR\n";
        ::setenv("SOFTHSM2_CONF", (dir.path() / "softhsm2.conf").c_str(), 1);
        const char* path = std::getenv("SOFTHSM2_MODULE");
        path = path != nullptr ? path : "/usr/lib/softhsm/libsofthsm2.so";
        t.p11 = load(path);
        std::vector<CK_SLOT_ID> slots = t.p11 != nullptr ? token_slots(t.p11) : std::vector<CK_SLOT_ID>{};
        if (slots.empty()) {
            t.error = std::string("cannot load ") + path;
            return t;
        }
        CK_UTF8CHAR label[32];
        std::memset(label, ' ', sizeof label);
        std::memcpy(label, "bench", 5);
        t.p11->C_InitToken(slots[0], text(so_pin), std::strlen(so_pin), label);
        // Initialising the token gives it a new slot ID.
        t.slot = token_slots(t.p11).front();
        CK_SESSION_HANDLE so = 0;
        t.p11->C_OpenSession(t.slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &so);
        t.p11->C_Login(so, CKU_SO, text(so_pin), std::strlen(so_pin));
        t.p11->C_InitPIN(so, text(user_pin), std::strlen(user_pin));
        t.p11->C_CloseSession(so);
        open_logged_in(t, "SoftHSM2");
        return t;
    }();
    return target;
}

CK_FUNCTION_LIST_PTR our_module()
{
    static CK_FUNCTION_LIST_PTR p11 = load(VLRP11_MODULE);
    return p11;
}

// Our first slot whose description starts with the kind's text.
Target our_slot(const char* description)
{
    Target t;
    CK_FUNCTION_LIST_PTR p11 = our_module();
    const char* pin = std::getenv("VLRP11_SIM_USER_PIN");
    t.pin = pin != nullptr ? pin : user_pin;
    for (CK_SLOT_ID slot : p11 != nullptr ? token_slots(p11) : std::vector<CK_SLOT_ID>{}) {
        CK_SLOT_INFO info;
        if (p11->C_GetSlotInfo(slot, &info) == CKR_OK &&
            std::string_view(reinterpret_cast<const char*>(info.slotDescription), sizeof info.slotDescription)
                    .substr(0, std::strlen(description) + 1) == std::string(description) + " ") {
            t.p11 = p11;
            t.slot = slot;
            open_logged_in(t, description);
            return t;
        }
    }
    t.error = std::string("no slot \"") + description + "\" (scripts/sim-up.sh starts the devices)";
    return t;
}

Target& token()
{
    static Target target = our_slot("VELLARO token");
    return target;
}

Target& pcsc_hsm()
{
    static Target target = our_slot("MORVA mini HSM");
    return target;
}

Target& network_hsm()
{
    static Target target = our_slot("MORVA HSM");
    return target;
}

Target* ready(Target& target, benchmark::State& state)
{
    if (!target.error.empty()) {
        state.SkipWithError(target.error.c_str());
        return nullptr;
    }
    return &target;
}

// ---- What the simulator counted, and the cryptography a call needs, timed in process ----

struct Traffic {
    double commands = 0;
    double bytes = 0;  // requests and replies
};

// One line to the simulator's control socket, one line back.
std::string control_request(const std::string& request)
{
    const char* path = std::getenv("VLRP11_SIM_CONTROL");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path == nullptr || std::strlen(path) >= sizeof address.sun_path)
        return {};
    std::strcpy(address.sun_path, path);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    std::string answer;
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, (request + "\n").data(), request.size() + 1, 0) == static_cast<ssize_t>(request.size() + 1)) {
        char buffer[1024];
        ssize_t got;
        while (answer.find('\n') == std::string::npos && (got = recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<std::size_t>(got));
    }
    if (fd >= 0)
        close(fd);
    return answer;
}

// Everything every simulated device answered so far.
Traffic traffic()
{
    std::istringstream list(control_request("list"));
    std::string word, device;
    Traffic total;
    list >> word;
    while (list >> device) {
        std::istringstream counts(control_request("traffic " + device));
        double commands = 0, requests = 0, replies = 0;
        if (counts >> word >> commands >> requests >> replies) {
            total.commands += commands;
            total.bytes += requests + replies;
        }
        std::getline(list, word, ';');
    }
    return total;
}

double cpu_ns()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return 1e9 * static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec);
}

// The median CPU time of a few runs of work, divided by the repetitions it does: under the same
// load as the calls it is set against.
template <typename Work>
double median_ns(Work work, int repetitions)
{
    double runs[7];
    for (double& run : runs) {
        double start = cpu_ns();
        for (int i = 0; i < repetitions; ++i)
            work();
        run = (cpu_ns() - start) / repetitions;
    }
    std::sort(std::begin(runs), std::end(runs));
    return runs[3];
}

double aes_block_ns()
{
    AesKey key;
    std::uint8_t block[16] = {1};
    aes_set_key(key, block, 128);
    return median_ns([&] { aes_encrypt_block(key, block, block); }, 1 << 14);
}

// The channel's AES work for the traffic of one call: the MAC and the keystream each take one
// block per 16 bytes each way, plus on average half a block of padding for each of the four
// (request and reply, MAC and keystream).
double channel_crypto_ns(const Traffic& perCall)
{
    return (2 * perCall.bytes / 16 + 2 * perCall.commands) * aes_block_ns();
}

// A PIN derivation: 10 000 SHA-512 hashes of at most one block each (the PINs of the run are
// short), as bare compressions.
double pin_derivation_ns()
{
    std::uint8_t block[128] = {1};
    std::uint64_t state[8] = {};
    return median_ns(
        [&] {
            for (int i = 0; i < 10000; ++i)
                sha512_compress(state, block, 1);
        },
        2);
}

std::uint8_t counting_bits(void* context, std::uint8_t* out, std::size_t bits)
{
    auto& next = *static_cast<std::uint8_t*>(context);
    for (std::size_t i = 0; i < (bits + 7) / 8; ++i)
        out[i] = ++next;
    return 0;
}

// The library's side of a key exchange: an ephemeral key, two checks of valid signatures (the
// device's certificate and its ephemeral key, here both by one OpenSSL key), the shared secret
// and the three hashes.
double key_exchange_ns()
{
    std::uint8_t next = 0;
    RandomSource random{&next, counting_bits};
    // The certificate's signed part is 76 bytes, the device's signed nonce and key 80.
    std::uint8_t signed_data[80] = {1, 2, 3}, own[64], certificateHash[32], keyHash[32], hash[32], secret[32];
    sha256_digest(signed_data, 76, certificateHash);
    sha256_digest(signed_data, 80, keyHash);
    testing::P256Key device = testing::new_p256_key();
    const std::vector<std::uint8_t> peer = testing::public_key_bytes(device.get());
    const std::vector<std::uint8_t> certificateSignature = testing::sign_hash(device.get(), certificateHash);
    const std::vector<std::uint8_t> keySignature = testing::sign_hash(device.get(), keyHash);
    Limb d[P256_LIMBS];
    std::size_t length = 0;
    return median_ns(
        [&] {
            ec_generate_scalar(d, EC_P256.order, P256_LIMBS, random);
            ec_public_from_private(own, &length, d);
            sha256_digest(signed_data, 76, hash);
            benchmark::DoNotOptimize(ecdsa_verify(peer.data(), certificateHash, certificateSignature.data()));
            sha256_digest(signed_data, 80, hash);
            benchmark::DoNotOptimize(ecdsa_verify(peer.data(), keyHash, keySignature.data()));
            ec_shared_secret(secret, &length, d, peer.data());
            sha256_digest(secret, 32, hash);
        },
        10);
}

// Device information on a fresh connection: the basic channel (PC/SC) or a new TCP session,
// keyed with the all-0xFF key and logged out, so the same request bytes serve every time. The
// reply's MAC is not checked.
constexpr std::uint8_t info_reply_capacity = 32;

double bare_pcsc_ns(DeviceKind kind)
{
    char name[READER_NAME_CAPACITY];
    ConnectionPtr connection;
    if (find_reader(0, kind, name) != PCSC_FOUND || connect_reader(name, kind, 0, connection) != PCSC_FOUND)
        return 0;
    std::uint8_t apdu[12] = {0xFF, CMD_GET_DEVICE_INFO, 0, 0, CHANNEL_MAC_LENGTH};
    channel_mac(*connection, apdu, 5, apdu + 5);
    apdu[11] = info_reply_capacity + CHANNEL_MAC_LENGTH;
    const PcscFunctions* api = pcsc();
    return median_ns(
        [&] {
            std::uint8_t reply[64];
            std::uint32_t length = sizeof reply;
            api->transmit(connection->handle, apdu, sizeof apdu, reply, &length);
        },
        200);
}

double bare_tcp_ns()
{
    std::vector<NetworkHsmEntry> hsms = read_network_hsm_list();
    ConnectionPtr connection =
        hsms.empty() ? nullptr : connect_network(hsms[0].address.c_str(), static_cast<std::int32_t>(hsms[0].partition));
    if (connection == nullptr)
        return 0;
    std::uint8_t frame[1 + CHANNEL_MAC_LENGTH] = {CMD_GET_DEVICE_INFO};
    channel_mac(*connection, frame, 1, frame + 1);
    return median_ns(
        [&] {
            std::uint8_t reply[64];
            socket_send_all(connection->handle, frame, sizeof frame);
            socket_receive(connection->handle, reply, sizeof reply);
        },
        200);
}

double bare_transport_ns(Target& (*which)())
{
    if (which == token)
        return bare_pcsc_ns(DEVICE_TOKEN);
    if (which == pcsc_hsm)
        return bare_pcsc_ns(DEVICE_PCSC_HSM);
    return which == network_hsm ? bare_tcp_ns() : 0;
}

// Runs a device call in the timing loop and records, per call, the commands the devices
// answered and the cryptography the library had to do (fixed_crypto_ns besides the channel).
template <typename Call>
void device_call(benchmark::State& state, Target& (*which)(), Call call, double (*fixed_crypto_ns)() = nullptr)
{
    const Traffic before = traffic();
    for (auto _ : state) {
        if (!call()) {
            state.SkipWithError("the call failed");
            break;
        }
    }
    const Traffic after = traffic();
    const double calls = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    const Traffic perCall{(after.commands - before.commands) / calls, (after.bytes - before.bytes) / calls};
    state.counters["commands"] = perCall.commands;
    // Timed after the calls, under the load they ran under.
    state.counters["crypto_ns"] = (fixed_crypto_ns != nullptr ? fixed_crypto_ns() : 0) + channel_crypto_ns(perCall);
    state.counters["transport_ns"] = perCall.commands * bare_transport_ns(which);
}

// Our three transports beside SoftHSM2 for a device call.
#define DEVICE_BENCHMARK(function)                                                                        \
    BENCHMARK_CAPTURE(function, softhsm, softhsm)->Name(#function "/softhsm");                            \
    BENCHMARK_CAPTURE(function, token, token)->Name(#function "/token")->MeasureProcessCPUTime();         \
    BENCHMARK_CAPTURE(function, hsm, pcsc_hsm)->Name(#function "/hsm")->MeasureProcessCPUTime();          \
    BENCHMARK_CAPTURE(function, network, network_hsm)->Name(#function "/network")->MeasureProcessCPUTime()

// ---- Software paths ----

void digest_sha256(benchmark::State& state, Target& (*which)())
{
    Target* t = ready(which(), state);
    if (t == nullptr)
        return;
    std::vector<CK_BYTE> data(static_cast<std::size_t>(state.range(0)), 0x61);
    CK_BYTE out[32];
    CK_MECHANISM sha256{CKM_SHA256, nullptr, 0};
    for (auto _ : state) {
        CK_ULONG length = sizeof out;
        t->p11->C_DigestInit(t->session, &sha256);
        if (t->p11->C_Digest(t->session, data.data(), data.size(), out, &length) != CKR_OK)
            state.SkipWithError("C_Digest failed");
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK_CAPTURE(digest_sha256, softhsm, softhsm)->Name("digest_sha256/softhsm")->Arg(64)->Arg(1 << 20);
BENCHMARK_CAPTURE(digest_sha256, ours, token)->Name("digest_sha256/ours")->Arg(64)->Arg(1 << 20);

// The hash alone, without any PKCS#11 call around it: SoftHSM2 hashes with OpenSSL, we with
// our own SHA-256. Both take the SHA instructions where the processor has them.
void sha256_alone(benchmark::State& state, bool openssl)
{
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)), 0x61);
    std::uint8_t out[32];
    for (auto _ : state) {
        if (openssl)
            SHA256(data.data(), data.size(), out);
        else
            sha256_digest(data.data(), data.size(), out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK_CAPTURE(sha256_alone, openssl, true)->Name("sha256_alone/openssl")->Arg(1 << 20);
BENCHMARK_CAPTURE(sha256_alone, ours, false)->Name("sha256_alone/ours")->Arg(1 << 20);

void encrypt_aes128_cbc(benchmark::State& state, Target& (*which)())
{
    Target* t = ready(which(), state);
    if (t == nullptr)
        return;
    CK_ULONG keyLength = 16;
    CK_ATTRIBUTE keyTemplate[] = {{CKA_VALUE_LEN, &keyLength, sizeof keyLength}};
    CK_MECHANISM generate{CKM_AES_KEY_GEN, nullptr, 0};
    CK_OBJECT_HANDLE key = 0;
    if (t->p11->C_GenerateKey(t->session, &generate, keyTemplate, 1, &key) != CKR_OK) {
        state.SkipWithError("C_GenerateKey failed");
        return;
    }
    std::vector<CK_BYTE> data(1 << 20, 0x61), out(data.size());
    CK_BYTE iv[16] = {};
    CK_MECHANISM cbc{CKM_AES_CBC, iv, sizeof iv};
    for (auto _ : state) {
        CK_ULONG length = out.size();
        t->p11->C_EncryptInit(t->session, &cbc, key);
        if (t->p11->C_Encrypt(t->session, data.data(), data.size(), out.data(), &length) != CKR_OK)
            state.SkipWithError("C_Encrypt failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
    t->p11->C_DestroyObject(t->session, key);
}
BENCHMARK_CAPTURE(encrypt_aes128_cbc, softhsm, softhsm)->Name("encrypt_aes128_cbc/softhsm/1048576");
BENCHMARK_CAPTURE(encrypt_aes128_cbc, ours, token)->Name("encrypt_aes128_cbc/ours/1048576");

// A session of its own holding 64 session data objects labelled for the search (a session of
// ours holds at most 64 objects).
struct FindSession {
    CK_SESSION_HANDLE session = 0;
    std::vector<CK_OBJECT_HANDLE> objects;
};

FindSession& find_session(Target& t)
{
    static std::vector<std::pair<Target*, FindSession>> made;
    for (auto& [target, session] : made)
        if (target == &t)
            return session;
    FindSession& s = made.emplace_back(&t, FindSession{}).second;
    t.p11->C_OpenSession(t.slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &s.session);
    CK_OBJECT_CLASS dataClass = CKO_DATA;
    CK_BBOOL no = CK_FALSE;
    CK_BYTE value[32] = {1, 2, 3};
    for (CK_ULONG i = 0; i < find_objects; ++i) {
        std::string application = "bench " + std::to_string(i);
        CK_ATTRIBUTE data[] = {{CKA_CLASS, &dataClass, sizeof dataClass},
                               {CKA_TOKEN, &no, sizeof no},
                               {CKA_LABEL, const_cast<char*>(find_label), sizeof find_label - 1},
                               {CKA_APPLICATION, application.data(), application.size()},
                               {CKA_VALUE, value, sizeof value}};
        CK_OBJECT_HANDLE object = 0;
        if (t.p11->C_CreateObject(s.session, data, 5, &object) == CKR_OK)
            s.objects.push_back(object);
    }
    return s;
}

// C_FindObjectsInit, C_FindObjects and C_FindObjectsFinal by label over the 64 objects.
void find_objects_64(benchmark::State& state, Target& (*which)())
{
    Target* t = ready(which(), state);
    if (t == nullptr)
        return;
    FindSession& s = find_session(*t);
    CK_ATTRIBUTE byLabel[] = {{CKA_LABEL, const_cast<char*>(find_label), sizeof find_label - 1}};
    CK_OBJECT_HANDLE found[find_objects + 1];
    for (auto _ : state) {
        CK_ULONG count = 0;
        t->p11->C_FindObjectsInit(s.session, byLabel, 1);
        t->p11->C_FindObjects(s.session, found, find_objects + 1, &count);
        t->p11->C_FindObjectsFinal(s.session);
        if (count != find_objects)
            state.SkipWithError("the search did not find the 64 objects");
    }
}
BENCHMARK_CAPTURE(find_objects_64, softhsm, softhsm)->Name("find_objects_64/softhsm");
BENCHMARK_CAPTURE(find_objects_64, ours, token)->Name("find_objects_64/ours");

// Class, label and value of one data object.
void get_attribute_value(benchmark::State& state, Target& (*which)())
{
    Target* t = ready(which(), state);
    if (t == nullptr)
        return;
    FindSession& s = find_session(*t);
    if (s.objects.size() != find_objects) {
        state.SkipWithError("C_CreateObject failed");
        return;
    }
    CK_OBJECT_CLASS objectClass = 0;
    char label[32];
    CK_BYTE value[32];
    for (auto _ : state) {
        CK_ATTRIBUTE read[] = {
            {CKA_CLASS, &objectClass, sizeof objectClass}, {CKA_LABEL, label, sizeof label}, {CKA_VALUE, value, sizeof value}};
        if (t->p11->C_GetAttributeValue(s.session, s.objects[find_objects / 2], read, 3) != CKR_OK)
            state.SkipWithError("C_GetAttributeValue failed");
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK_CAPTURE(get_attribute_value, softhsm, softhsm)->Name("get_attribute_value/softhsm");
BENCHMARK_CAPTURE(get_attribute_value, ours, token)->Name("get_attribute_value/ours");

// ---- Device calls, through each transport ----

// C_Sign with ECDSA P-256 on a key pair made for the run (a session pair in SoftHSM2, a device
// pair here).
void sign_ecdsa_p256(benchmark::State& state, Target& (*which)())
{
    Target* t = ready(which(), state);
    if (t == nullptr)
        return;
    CK_BYTE p256[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
    CK_BYTE label[] = {'b', 'e', 'n', 'c', 'h'};
    CK_BBOOL yes = CK_TRUE;
    CK_ATTRIBUTE publicTemplate[] = {{CKA_EC_PARAMS, p256, sizeof p256}};
    CK_ATTRIBUTE privateTemplate[] = {{CKA_LABEL, label, sizeof label}, {CKA_SIGN, &yes, 1}};
    CK_MECHANISM generate{CKM_EC_KEY_PAIR_GEN, nullptr, 0};
    CK_OBJECT_HANDLE publicKey = 0, privateKey = 0;
    if (t->p11->C_GenerateKeyPair(t->session, &generate, publicTemplate, 1, privateTemplate, 2, &publicKey,
                                  &privateKey) != CKR_OK) {
        state.SkipWithError("C_GenerateKeyPair failed");
        return;
    }
    CK_BYTE hash[32] = {1, 2, 3}, signature[64];
    CK_MECHANISM ecdsa{CKM_ECDSA, nullptr, 0};
    device_call(state, which, [&] {
        CK_ULONG length = sizeof signature;
        t->p11->C_SignInit(t->session, &ecdsa, privateKey);
        return t->p11->C_Sign(t->session, hash, sizeof hash, signature, &length) == CKR_OK;
    });
    t->p11->C_DestroyObject(t->session, privateKey);
}
DEVICE_BENCHMARK(sign_ecdsa_p256);

void generate_random_1m(benchmark::State& state, Target& (*which)())
{
    Target* t = ready(which(), state);
    if (t == nullptr)
        return;
    std::vector<CK_BYTE> out(1 << 20);
    device_call(state, which, [&] { return t->p11->C_GenerateRandom(t->session, out.data(), out.size()) == CKR_OK; });
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
DEVICE_BENCHMARK(generate_random_1m);

// A second session opened and closed beside the logged-in one, so the device stays logged in.
// A network HSM runs a key exchange for every session it opens.
void open_close_session(benchmark::State& state, Target& (*which)())
{
    Target* t = ready(which(), state);
    if (t == nullptr)
        return;
    device_call(
        state, which,
        [&] {
            CK_SESSION_HANDLE session = 0;
            return t->p11->C_OpenSession(t->slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session) == CKR_OK &&
                   t->p11->C_CloseSession(session) == CKR_OK;
        },
        which == network_hsm ? key_exchange_ns : nullptr);
}
DEVICE_BENCHMARK(open_close_session);

// The user logs in and out; a login derives the PIN values first.
void login_logout(benchmark::State& state, Target& (*which)())
{
    Target* t = ready(which(), state);
    if (t == nullptr)
        return;
    t->p11->C_Logout(t->session);
    const CK_ULONG pinLength = std::strlen(t->pin);
    device_call(
        state, which,
        [&] {
            return t->p11->C_Login(t->session, CKU_USER, text(t->pin), pinLength) == CKR_OK &&
                   t->p11->C_Logout(t->session) == CKR_OK;
        },
        which == softhsm ? nullptr : pin_derivation_ns);
    t->p11->C_Login(t->session, CKU_USER, text(t->pin), pinLength);
}
DEVICE_BENCHMARK(login_logout);

}  // namespace
}  // namespace vlrp11

BENCHMARK_MAIN();
