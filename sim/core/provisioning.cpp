#include "core/provisioning.h"

#include "core/crypto_dstu4145.h"
#include "core/device_impl.h"
#include "core/keys_openssl.h"
#include "core/keys_record.h"

#include <algorithm>

namespace vlrp11::sim {
namespace {

void put_text(KeyHeader& header, std::size_t length_at, std::size_t field_at, std::span<const std::uint8_t> text) {
    std::size_t length = std::min<std::size_t>(text.size(), 32);
    header[length_at] = static_cast<std::uint8_t>(length);
    std::copy_n(text.begin(), length, header.begin() + static_cast<std::ptrdiff_t>(field_at));
}

std::span<const std::uint8_t> bytes_of(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool entry_free(const ObjectStore& store, std::size_t index) {
    return index < store.capacity && store.entries[index].free();
}

std::vector<std::uint8_t> make_key_material(const KeyRecord& key) {
    if (key.family() == KeyFamily::ec) return ec_generate(key.parameter());
    if (key.family() == KeyFamily::rsa) return rsa_bits_allowed(key.parameter()) ? rsa_generate(key.parameter())
                                                                                  : std::vector<std::uint8_t>{};
    if (key.family() != KeyFamily::dstu) return {};
    const BinaryCurve* curve = dstu_curve(key.parameter());
    if (!curve) return {};
    Bn d = dstu_generate_private(*curve);
    return d ? bn_to_vector(d.get(), curve->order_bytes()) : std::vector<std::uint8_t>{};
}

}  // namespace

KeyHeader object_header(std::uint8_t kind, std::uint8_t flags, std::uint16_t parameter, std::uint8_t secret_length,
                        std::span<const std::uint8_t> id, const std::string& label, const std::string& application) {
    KeyHeader header{};
    header[0] = kind;
    header[1] = flags;
    header[2] = static_cast<std::uint8_t>(parameter);
    header[3] = static_cast<std::uint8_t>(parameter >> 8);
    header[7] = secret_length;
    put_text(header, 4, 8, id);
    put_text(header, 5, 40, bytes_of(label));
    put_text(header, 6, 72, bytes_of(application));
    return header;
}

bool place_file(ObjectStore& store, std::uint8_t head, std::uint8_t state, KeyHeader header,
                std::span<const std::uint8_t> value) {
    if (value.size() > 0xFFFE) return false;
    header[2] = static_cast<std::uint8_t>(value.size());
    header[3] = static_cast<std::uint8_t>(value.size() >> 8);
    std::vector<std::uint8_t> file(header.begin(), header.end());
    file.insert(file.end(), value.begin(), value.end());
    std::vector<std::size_t> chain;
    for (std::size_t index = head + 1u, needed = (file.size() + kChunkBytes - 1) / kChunkBytes;
         index-- > 0 && chain.size() < needed;)
        if (entry_free(store, index)) chain.push_back(index);
    if (chain.empty() || chain.front() != head || chain.size() * kChunkBytes < file.size()) return false;
    std::span<const std::uint8_t> rest(file);
    for (std::size_t index : chain) {
        std::span<const std::uint8_t> chunk = rest.first(std::min(rest.size(), kChunkBytes));
        if (write_chunk(store, index, state, head, chunk) != status::ok) return false;
        rest = rest.subspan(chunk.size());
    }
    return true;
}

std::vector<std::uint8_t> place_key_pair(ObjectStore& store, std::uint8_t index, KeyHeader header) {
    if (!entry_free(store, index)) return {};
    header[1] |= kFlagLocal;
    std::vector<std::uint8_t> material = make_key_material(KeyRecord{header, {}});
    if (material.empty()) return {};
    store_key(store, index, header, material);
    wipe(material);
    std::vector<std::uint8_t> public_key = public_key_bytes(key_record(store.entries[index]));
    if (public_key.empty()) erase_entry(store, index);
    return public_key;
}

bool place_secret_key(ObjectStore& store, std::uint8_t index, KeyHeader header,
                      std::span<const std::uint8_t> key) {
    if (!entry_free(store, index) || header[0] < 11 || !secret_length_allowed(header[0], key.size())) return false;
    header[7] = static_cast<std::uint8_t>(key.size());
    store_key(store, index, header, key);
    return true;
}

bool Device::provision_objects(std::uint32_t partition, const std::function<bool(ObjectStore&)>& place,
                               std::string& error) {
    std::lock_guard lock(impl_->mutex);
    if (partition >= impl_->partitions.size()) {
        error = "no partition " + std::to_string(partition);
        return false;
    }
    if (!place(*impl_->partitions[partition].objects)) {
        error = "the objects do not fit partition " + std::to_string(partition);
        return false;
    }
    return impl_->save_objects(partition, error);
}

}  // namespace vlrp11::sim
