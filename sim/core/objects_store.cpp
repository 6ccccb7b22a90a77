#include "core/objects_store.h"

#include "core/crypto_openssl.h"

#include <chrono>

namespace vlrp11::sim {
namespace {

bool valid_file_state(std::uint8_t state) {
    std::uint8_t kind = state >> 4;
    return (kind == 0x8 || kind == 0xC) && (state & 0x0F) != 0x0F;
}

// Joins the abandoned generations that are done, so that deleted generations do not pile up.
void reap_finished(ObjectStore& store) {
    std::erase_if(store.abandoned, [](PendingKey& generation) {
        if (generation.private_key.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
        generation.worker.join();
        return true;
    });
}

}  // namespace

std::vector<std::uint8_t> list_directory(const ObjectStore& store) {
    std::vector<std::uint8_t> listing;
    listing.reserve(4 * store.capacity);
    for (std::size_t i = 0; i < store.capacity; ++i) {
        const DirectoryEntry& entry = store.entries[i];
        std::size_t length = entry.is_file() ? entry.data.size() : 0;
        listing.push_back(entry.state);
        listing.push_back(entry.head);
        listing.push_back(static_cast<std::uint8_t>(length));
        listing.push_back(static_cast<std::uint8_t>(length >> 8));
    }
    return listing;
}

std::uint8_t write_chunk(ObjectStore& store, std::size_t index, std::uint8_t state, std::uint8_t head,
                         std::span<const std::uint8_t> chunk) {
    if (index >= store.capacity || head >= store.capacity || head < index) return status::bad_argument;
    if (!valid_file_state(state) || chunk.empty() || chunk.size() > kChunkBytes) return status::bad_argument;
    if (!store.entries[index].free()) return status::storage_full;
    if (head != index) {
        const DirectoryEntry& head_entry = store.entries[head];
        if (!head_entry.is_file() || head_entry.head != head || head_entry.state != state)
            return status::bad_argument;
    }
    DirectoryEntry& entry = store.entries[index];
    entry.state = state;
    entry.head = head;
    entry.data.assign(chunk.begin(), chunk.end());
    return status::ok;
}

void store_key(ObjectStore& store, std::size_t index, std::span<const std::uint8_t> header,
               std::span<const std::uint8_t> material) {
    DirectoryEntry& entry = store.entries[index];
    entry.state = kStateKey;
    entry.head = kNoHead;
    entry.data.assign(header.begin(), header.end());
    entry.data.insert(entry.data.end(), material.begin(), material.end());
}

void erase_entry(ObjectStore& store, std::size_t index) {
    DirectoryEntry& entry = store.entries[index];
    wipe(entry.data);
    entry.state = kStateFree;
    entry.head = kNoHead;
    auto pending = store.pending.find(static_cast<std::uint8_t>(index));
    if (pending == store.pending.end()) return;
    store.abandoned.push_back(std::move(pending->second));
    store.pending.erase(pending);
    reap_finished(store);
}

void abandon_generations(ObjectStore& store) {
    for (auto& [index, pending] : store.pending) store.abandoned.push_back(std::move(pending));
    store.pending.clear();
    reap_finished(store);
}

ObjectStore::~ObjectStore() {
    abandon_generations(*this);
    for (PendingKey& generation : abandoned) generation.worker.join();
}

}  // namespace vlrp11::sim
