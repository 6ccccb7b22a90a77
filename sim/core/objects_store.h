// The object storage of one partition: a directory of up to 64 entries, each holding one chunk of
// at most 2040 bytes of an object file, or one device-held key. Files (data objects and
// certificates) are chains of entries written chunk by chunk; the head is the highest index of
// its chain and every chunk names it. Keys occupy one entry each and are never read as files.
//
// Directory entry as listed (4 bytes): state, head index (0xFF = none), chunk length (u16 LE; 0
// for keys). State: low nibble 0xF free, 0xC public, other private; high nibble 0x8 data file,
// 0xC certificate file, 0x3 key.
#pragma once

#include "core/command.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <future>
#include <map>
#include <span>
#include <thread>
#include <vector>

namespace vlrp11::sim {

inline constexpr std::size_t kDirectoryEntries = 64;
inline constexpr std::size_t kChunkBytes = 2040;
inline constexpr std::size_t kKeyHeaderBytes = 104;
inline constexpr std::uint8_t kStateFree = 0xFF;
inline constexpr std::uint8_t kStateKey = 0x33;  // keys are always private
inline constexpr std::uint8_t kNoHead = 0xFF;

struct DirectoryEntry {
    std::uint8_t state = kStateFree;
    std::uint8_t head = kNoHead;
    // A file chunk, or a key record: the 104-byte key header followed by the key material
    // (secret-key bytes; SEC 1 or PKCS#1 DER of an EC or RSA private key; a DSTU 4145 scalar).
    std::vector<std::uint8_t> data;

    bool free() const { return (state & 0x0F) == 0x0F; }
    bool is_key() const { return !free() && (state >> 4) == 0x3; }
    bool is_file() const { return !free() && !is_key(); }
    bool is_public() const { return (state & 0x0F) == 0x0C; }
};

// An RSA key pair being generated in the background for one entry (command 66 answered 63).
struct PendingKey {
    std::array<std::uint8_t, kKeyHeaderBytes> header;
    std::future<std::vector<std::uint8_t>> private_key;  // PKCS#1 DER; empty when generation failed
    std::thread worker;
};

struct ObjectStore {
    std::size_t capacity = kDirectoryEntries;  // entries this device has (its storage blocks)
    std::array<DirectoryEntry, kDirectoryEntries> entries;
    std::map<std::uint8_t, PendingKey> pending;  // not saved: a generation lost by a restart is lost
    std::vector<PendingKey> abandoned;           // generations whose entry was deleted meanwhile

    ObjectStore() = default;
    ObjectStore(const ObjectStore&) = delete;
    ObjectStore& operator=(const ObjectStore&) = delete;
    // Waits for the generations still running: they use OpenSSL, which must outlive them.
    ~ObjectStore();
};

// Forgets every running generation (their results are dropped), and joins the abandoned ones
// that have finished.
void abandon_generations(ObjectStore& store);

// The listing of command 18: 4 bytes per entry of the device's capacity.
std::vector<std::uint8_t> list_directory(const ObjectStore& store);

// Writes one chunk of a file into a free entry. The head must be the entry itself or a higher
// entry already holding the head chunk of a file of the same state. Returns a device status.
std::uint8_t write_chunk(ObjectStore& store, std::size_t index, std::uint8_t state, std::uint8_t head,
                         std::span<const std::uint8_t> chunk);

// Places a key record in a free entry (the caller checked the index).
void store_key(ObjectStore& store, std::size_t index, std::span<const std::uint8_t> header,
               std::span<const std::uint8_t> material);

// Empties an entry, wiping what it held, and forgets a generation running for it.
void erase_entry(ObjectStore& store, std::size_t index);

}  // namespace vlrp11::sim
