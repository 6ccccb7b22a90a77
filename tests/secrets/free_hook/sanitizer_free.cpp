// The hook in a sanitizer build: the sanitizer owns malloc and free and calls its free hook
// while the block is still readable, before it poisons or recycles it.
#include "support/freed_blocks.h"

#include <cstddef>

extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                              void (*free_hook)(const volatile void*));
std::size_t __sanitizer_get_allocated_size(const volatile void* block);
}

namespace {

// The sanitizer installs the pair only: a hook for malloc that does nothing.
void on_malloc(const volatile void*, std::size_t) {}

void on_free(const volatile void* block)
{
    vlrp11::testing::inspect_freed_block(const_cast<const void*>(block), __sanitizer_get_allocated_size(block));
}

[[maybe_unused]] const int installed = __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free);

}  // namespace
