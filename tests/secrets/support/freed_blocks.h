#pragma once

// A look at heap blocks as they are freed. A hook on the allocator's free (free_hook/) hands every
// block to the active watch before the allocator takes it back; the watch searches the blocks it
// names for secrets and lets all others pass, so the simulator's own copies of keys never count.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vlrp11::testing {

// A secret by name, and its bytes.
struct Secret {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

// One watch at a time. Not copyable: free() holds a pointer to it while it lives.
class FreedBlockWatch {
public:
    explicit FreedBlockWatch(std::vector<Secret> secrets);
    ~FreedBlockWatch();
    FreedBlockWatch(const FreedBlockWatch&) = delete;
    FreedBlockWatch& operator=(const FreedBlockWatch&) = delete;

    // Searches the block when it is freed; null is ignored. At most 64 blocks.
    void watch(const void* block, const char* name);
    // Whether the watched block was freed.
    bool freed(const void* block) const;
    // "block holds secret" for each secret found in a watched block as it was freed.
    std::vector<std::string> findings() const;

    // Called for every freed block with the watch locked; allocates nothing, frees nothing.
    void inspect(const void* block, std::size_t size) noexcept;

private:
    struct Watched {
        const void* block;
        const char* name;
        bool freed;
        int secretFound;  // index of a secret found in it, or -1
    };
    std::vector<Secret> secrets_;
    Watched watched_[64] = {};
    unsigned count_ = 0;
};

// The free hook's entry: a block about to be freed and its usable size.
void inspect_freed_block(const void* block, std::size_t size) noexcept;

}  // namespace vlrp11::testing
