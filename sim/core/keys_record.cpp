#include "core/keys_record.h"

#include "core/crypto_dstu4145.h"
#include "core/keys_openssl.h"

namespace vlrp11::sim {

KeyFamily key_family(std::uint8_t kind) {
    switch (kind) {
    case 1: return KeyFamily::ec;
    case 3: case 4: case 5: case 6: return KeyFamily::dstu;
    case 7: case 8: return KeyFamily::rsa;
    case 11: return KeyFamily::aes;
    case 12: case 13: case 14: return KeyFamily::kalyna;
    default: return kind >= 15 ? KeyFamily::gost : KeyFamily::none;
    }
}

bool secret_length_allowed(std::uint8_t kind, std::size_t length) {
    switch (kind) {
    case 11: return length == 16 || length == 24 || length == 32;
    case 12: return length == 16 || length == 32;
    case 13: return length == 32 || length == 64;
    case 14: return length == 64;
    default: return kind >= 15 && length == 32;
    }
}

bool rsa_bits_allowed(unsigned bits) {
    return bits == 1024 || bits == 1536 || bits == 2048 || bits == 3072 || bits == 4096;
}

std::uint8_t find_key(const ObjectStore& store, std::uint8_t index, KeyRecord& key) {
    if (index >= store.capacity) return status::bad_argument;
    const DirectoryEntry& entry = store.entries[index];
    if (entry.free()) return status::not_found;
    if (!entry.is_key() || entry.data.size() < kKeyHeaderBytes) return status::bad_argument;
    if (store.pending.count(index) != 0) return status::busy;
    key = key_record(entry);
    return status::ok;
}

std::vector<std::uint8_t> public_key_bytes(const KeyRecord& key) {
    switch (key.family()) {
    case KeyFamily::ec: return ec_public_point(key.material);
    case KeyFamily::rsa: return rsa_public_key(key.material);
    case KeyFamily::dstu: {
        const BinaryCurve* curve = dstu_curve(key.parameter());
        Bn d = bn_from_bytes(key.material);
        if (!curve || !d) return {};
        EcPoint q = dstu_public_key(*curve, d.get());
        return q ? dstu_compress(*curve, q.get()) : std::vector<std::uint8_t>{};
    }
    default: return {};
    }
}

}  // namespace vlrp11::sim
