#include "support/slot_queries.h"

#include <gtest/gtest.h>

namespace vlrp11::testing {

std::vector<CK_SLOT_ID> list_slots(CK_FUNCTION_LIST_PTR p11)
{
    CK_ULONG count = 0;
    EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    std::vector<CK_SLOT_ID> slots(count);
    EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, slots.data(), &count), CKR_OK);
    return slots;
}

std::string token_serial(CK_FUNCTION_LIST_PTR p11, CK_SLOT_ID slot)
{
    CK_TOKEN_INFO info;
    EXPECT_EQ(p11->C_GetTokenInfo(slot, &info), CKR_OK);
    std::string text(reinterpret_cast<const char*>(info.serialNumber), sizeof info.serialNumber);
    return text.substr(0, text.find(' '));
}

std::vector<std::string> token_serials(CK_FUNCTION_LIST_PTR p11)
{
    std::vector<std::string> serials;
    for (CK_SLOT_ID slot : list_slots(p11))
        serials.push_back(token_serial(p11, slot));
    return serials;
}

std::vector<CK_SLOT_ID> pending_events(CK_FUNCTION_LIST_PTR p11)
{
    std::vector<CK_SLOT_ID> reported;
    CK_SLOT_ID slot = 0;
    while (p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr) == CKR_OK)
        reported.push_back(slot);
    return reported;
}

}  // namespace vlrp11::testing
