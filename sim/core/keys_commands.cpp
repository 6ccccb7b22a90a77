// Commands 66 (generate a key pair), 68 (write a secret key), 80 (key header), 82 (public key)
// and 241 (key attestation).
#include "core/object_handlers.h"

#include "core/crypto_dstu4145.h"
#include "core/keys_openssl.h"
#include "core/keys_record.h"

#include <openssl/sha.h>

#include <chrono>
#include <thread>

namespace vlrp11::sim {
namespace {

ObjectStore& store_of(CommandContext& context) { return *context.partition.objects; }

// Key writes change what the partition holds, so only a read-write user may make them.
bool may_write_keys(const CommandContext& context) { return context.login_state == login_user; }

// The public key as this device model sends it: model 1000 with firmware 1 pads a P-521 point
// (132 bytes) to 136 bytes, which hosts know to cut back.
std::vector<std::uint8_t> public_key_reply(const CommandContext& context, const KeyRecord& key) {
    std::vector<std::uint8_t> reply = public_key_bytes(key);
    if (context.profile.model == 1000 && context.profile.version == 1 && key.family() == KeyFamily::ec &&
        reply.size() == 132)
        reply.resize(136, 0);
    return reply;
}

// The request's index names a free entry of the device: status ok, or why not.
std::uint8_t free_entry(const ObjectStore& store, std::uint8_t index) {
    if (index >= store.capacity) return status::bad_argument;
    return store.entries[index].free() ? status::ok : status::storage_full;
}

// RSA generation takes seconds: it runs on its own thread and command 82 collects the key.
void start_rsa_generation(ObjectStore& store, std::uint8_t index, std::span<const std::uint8_t> header,
                          unsigned bits) {
    std::packaged_task<std::vector<std::uint8_t>()> task([bits] { return rsa_generate(bits); });
    PendingKey pending;
    std::copy(header.begin(), header.end(), pending.header.begin());
    pending.private_key = task.get_future();
    pending.worker = std::thread(std::move(task));
    store_key(store, index, header, {});
    store.pending[index] = std::move(pending);
}

// Makes the key material of an EC or DSTU 4145 pair at once; empty when the curve is unknown.
std::vector<std::uint8_t> generate_curve_key(KeyFamily family, std::uint16_t curve_id) {
    if (family == KeyFamily::ec) return ec_generate(curve_id);
    const BinaryCurve* curve = dstu_curve(curve_id);
    if (!curve) return {};
    Bn d = dstu_generate_private(*curve);
    return d ? bn_to_vector(d.get(), curve->order_bytes()) : std::vector<std::uint8_t>{};
}

}  // namespace

std::uint8_t generate_key(CommandContext& context, std::span<const std::uint8_t> request,
                          std::vector<std::uint8_t>& reply) {
    if (request.size() != 1 + kKeyHeaderBytes) return status::bad_length;
    if (!may_write_keys(context)) return status::access_denied;
    ObjectStore& store = store_of(context);
    std::uint8_t index = request[0];
    if (std::uint8_t s = free_entry(store, index); s != status::ok) return s;
    std::array<std::uint8_t, kKeyHeaderBytes> header;
    std::copy(request.begin() + 1, request.end(), header.begin());
    header[1] |= kFlagLocal;
    KeyRecord key{header, {}};

    if (key.family() == KeyFamily::rsa) {
        // Models below 2000 have no RSA.
        if (context.profile.model < 2000) return status::wrong_key_type;
        if (!rsa_bits_allowed(key.parameter())) return status::bad_argument;
        start_rsa_generation(store, index, header, key.parameter());
        context.objects_changed = true;
        return status::pending;
    }
    if (key.family() != KeyFamily::ec && key.family() != KeyFamily::dstu) return status::wrong_key_type;
    std::vector<std::uint8_t> material = generate_curve_key(key.family(), key.parameter());
    if (material.empty()) return status::bad_argument;
    store_key(store, index, header, material);
    wipe(material);
    reply = public_key_reply(context, key_record(store.entries[index]));
    context.objects_changed = true;
    if (reply.empty()) {
        erase_entry(store, index);
        return status::internal_error;
    }
    return status::ok;
}

std::uint8_t write_key(CommandContext& context, std::span<const std::uint8_t> request, std::vector<std::uint8_t>&) {
    if (request.size() < 1 + kKeyHeaderBytes) return status::bad_length;
    if (!may_write_keys(context)) return status::access_denied;
    ObjectStore& store = store_of(context);
    std::uint8_t index = request[0];
    std::array<std::uint8_t, kKeyHeaderBytes> header;
    std::copy(request.begin() + 1, request.begin() + 1 + kKeyHeaderBytes, header.begin());
    std::span<const std::uint8_t> material = request.subspan(1 + kKeyHeaderBytes);
    // Private keys are only ever made on the device; only secret keys come in from outside.
    if (header[0] < 11) return status::wrong_key_type;
    if (header[7] != material.size() || !secret_length_allowed(header[0], material.size()))
        return status::bad_argument;
    if (std::uint8_t s = free_entry(store, index); s != status::ok) return s;
    header[1] &= static_cast<std::uint8_t>(~kFlagLocal);
    store_key(store, index, header, material);
    context.objects_changed = true;
    return status::ok;
}

std::uint8_t get_key_info(CommandContext& context, std::span<const std::uint8_t> request,
                          std::vector<std::uint8_t>& reply) {
    if (request.size() != 1) return status::bad_length;
    KeyRecord key;
    if (std::uint8_t s = find_key(store_of(context), request[0], key); s != status::ok) return s;
    reply.assign(key.header.begin(), key.header.end());
    return status::ok;
}

namespace {

// A finished RSA generation becomes a stored key; a failed one frees its entry.
std::uint8_t collect_generation(CommandContext& context, std::uint8_t index) {
    ObjectStore& store = store_of(context);
    PendingKey& pending = store.pending.at(index);
    if (pending.private_key.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return status::busy;
    std::vector<std::uint8_t> material = pending.private_key.get();
    std::array<std::uint8_t, kKeyHeaderBytes> header = pending.header;
    pending.worker.join();
    store.pending.erase(index);
    erase_entry(store, index);
    context.objects_changed = true;
    if (material.empty()) return status::internal_error;
    store_key(store, index, header, material);
    wipe(material);
    return status::ok;
}

}  // namespace

std::uint8_t read_public_key(CommandContext& context, std::span<const std::uint8_t> request,
                             std::vector<std::uint8_t>& reply) {
    if (request.size() != 1) return status::bad_length;
    ObjectStore& store = store_of(context);
    std::uint8_t index = request[0];
    if (store.pending.count(index) != 0)
        if (std::uint8_t s = collect_generation(context, index); s != status::ok) return s;
    KeyRecord key;
    if (std::uint8_t s = find_key(store, index, key); s != status::ok) return s;
    if (key.kind() > 10) return status::wrong_key_type;
    reply = public_key_reply(context, key);
    return reply.empty() ? status::internal_error : status::ok;
}

// 64 bytes: the device key's P-256 ECDSA signature r ‖ s over SHA-256 of the key header and the
// public key (nothing for a secret key); checked with the device certificate the library appends.
std::uint8_t get_key_attribute(CommandContext& context, std::span<const std::uint8_t> request,
                               std::vector<std::uint8_t>& reply) {
    if (request.size() != 1) return status::bad_length;
    KeyRecord key;
    if (std::uint8_t s = find_key(store_of(context), request[0], key); s != status::ok) return s;
    if (!context.device_key) return status::internal_error;
    std::vector<std::uint8_t> message(key.header.begin(), key.header.end());
    if (key.kind() <= 10) {
        std::vector<std::uint8_t> public_key = public_key_bytes(key);
        if (public_key.empty()) return status::internal_error;
        message.insert(message.end(), public_key.begin(), public_key.end());
    }
    std::array<std::uint8_t, SHA256_DIGEST_LENGTH> digest;
    SHA256(message.data(), message.size(), digest.data());
    reply = ecdsa_sign(context.device_key, 32, digest);
    return reply.empty() ? status::internal_error : status::ok;
}

}  // namespace vlrp11::sim
