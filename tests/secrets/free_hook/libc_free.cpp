// The hook in a build without sanitizers: this program's free() shows each block to the watch,
// then hands it to the C library's own free.
#include "support/freed_blocks.h"

#include <malloc.h>

extern "C" void __libc_free(void* block) noexcept;

extern "C" void free(void* block) noexcept
{
    if (block == nullptr)
        return;
    vlrp11::testing::inspect_freed_block(block, malloc_usable_size(block));
    __libc_free(block);
}
