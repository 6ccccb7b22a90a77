#include "api/slot_teardown.h"

#include "api/library_state.h"
#include "api/session_record.h"
#include "device/connection_close.h"
#include "objects/object_table.h"
#include "platform/wipe.h"

#include <cstdlib>

namespace vlrp11 {
void close_session_record(SlotRecord& slot, unsigned sessionIndex) noexcept
{
    SessionRecord*& session = slot.sessions[sessionIndex];
    if (session == nullptr)
        return;
    release_table(session->sessionObjects);
    secure_wipe(*session);
    std::free(session);
    session = nullptr;
}

// Sessions are closed through the internal path, not through C_CloseSession: C_Finalize clears
// the initialised flag before it tears slots down, and C_CloseSession would then refuse every
// handle and leave the sessions allocated.
void teardown_slot(unsigned slotIndex) noexcept
{
    SlotRecord& slot = library_state().slots[slotIndex];
    for (unsigned i = 0; i < SESSIONS_PER_SLOT; ++i)
        close_session_record(slot, i);
    close_connection(slot.connection);
    slot.connection = nullptr;
    release_table(slot.tokenObjects);
    secure_wipe(slot);
}

}  // namespace vlrp11
