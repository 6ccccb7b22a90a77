#include "api/library_state.h"

namespace vlrp11 {

LibraryState& library_state() noexcept
{
    static LibraryState state;
    return state;
}

}  // namespace vlrp11
