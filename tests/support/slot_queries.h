#pragma once

#include "vlrp11/pkcs11.h"

#include <string>
#include <vector>

namespace vlrp11::testing {

// What an application learns of the slots through the function table.

// The slot list after a refresh (the length query refreshes; the list that follows does not).
std::vector<CK_SLOT_ID> list_slots(CK_FUNCTION_LIST_PTR p11);

// A token's serial-number text without its padding blanks.
std::string token_serial(CK_FUNCTION_LIST_PTR p11, CK_SLOT_ID slot);

// The serial-number texts of every slot after a refresh, in slot order.
std::vector<std::string> token_serials(CK_FUNCTION_LIST_PTR p11);

// Every slot with a pending event, in the order C_WaitForSlotEvent reports them without blocking.
std::vector<CK_SLOT_ID> pending_events(CK_FUNCTION_LIST_PTR p11);

}  // namespace vlrp11::testing
