// The partition's objects as the core saves them: "VSO1", the capacity, then each used entry as
// index, state, head, data length (u32 LE) and data. A key still being generated is not saved.
#include "core/objects_store.h"

#include <algorithm>
#include <cstring>

namespace vlrp11::sim {
namespace {

constexpr char kMagic[4] = {'V', 'S', 'O', '1'};
constexpr std::size_t kMaxKeyRecord = 8192;

bool plausible_entry(std::size_t capacity, std::size_t index, std::uint8_t state, std::uint8_t head,
                     std::size_t length) {
    DirectoryEntry probe;
    probe.state = state;
    if (probe.free()) return false;
    if (probe.is_key()) return state == kStateKey && head == kNoHead && length > kKeyHeaderBytes &&
                               length <= kMaxKeyRecord;
    std::uint8_t kind = state >> 4;
    return (kind == 0x8 || kind == 0xC) && head >= index && head < capacity && length >= 1 && length <= kChunkBytes;
}

}  // namespace

std::shared_ptr<ObjectStore> make_object_store(const DeviceProfile& profile) {
    auto store = std::make_shared<ObjectStore>();
    store->capacity = std::min<std::size_t>(profile.storage_blocks, kDirectoryEntries);
    return store;
}

std::vector<std::uint8_t> save_object_store(const ObjectStore& store) {
    std::vector<std::uint8_t> out(kMagic, kMagic + 4);
    out.push_back(static_cast<std::uint8_t>(store.capacity));
    for (std::size_t i = 0; i < store.capacity; ++i) {
        const DirectoryEntry& entry = store.entries[i];
        if (entry.free() || store.pending.count(static_cast<std::uint8_t>(i)) != 0) continue;
        std::size_t length = entry.data.size();
        out.insert(out.end(), {static_cast<std::uint8_t>(i), entry.state, entry.head});
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(length >> shift));
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    }
    return out;
}

bool load_object_store(ObjectStore& store, std::span<const std::uint8_t> saved) {
    ObjectStore loaded;
    loaded.capacity = store.capacity;
    if (!saved.empty()) {
        if (saved.size() < 5 || std::memcmp(saved.data(), kMagic, 4) != 0 || saved[4] > kDirectoryEntries)
            return false;
        loaded.capacity = saved[4];
        std::size_t at = 5;
        while (at < saved.size()) {
            if (saved.size() - at < 7) return false;
            std::size_t index = saved[at];
            std::uint8_t state = saved[at + 1], head = saved[at + 2];
            std::size_t length = 0;
            for (int b = 3; b >= 0; --b) length = length << 8 | saved[at + 3 + b];
            at += 7;
            if (index >= loaded.capacity || !loaded.entries[index].free() ||
                !plausible_entry(loaded.capacity, index, state, head, length) || saved.size() - at < length)
                return false;
            DirectoryEntry& entry = loaded.entries[index];
            entry.state = state;
            entry.head = head;
            entry.data.assign(saved.begin() + at, saved.begin() + at + length);
            at += length;
        }
    }
    store.capacity = loaded.capacity;
    store.entries = std::move(loaded.entries);
    abandon_generations(store);
    return true;
}

}  // namespace vlrp11::sim
