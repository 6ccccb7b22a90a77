// Sessions and login through the function table on every device the running simulator serves:
// the token and the PC/SC HSM partitions through pcscd (or, under wine, the test-only
// winscard.dll), the network HSM partitions over loopback TCP. Only the user PIN is used, and
// every login ends with a logout, so the devices are left as they were found.
#include "support/slot_queries.h"

#include "api/function_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vlrp11::testing {
namespace {

TEST(LiveSessions, EveryDeviceLogsTheUserInAndOut)
{
    const char* pin = std::getenv("VLRP11_SIM_USER_PIN");
    ASSERT_NE(pin, nullptr) << "VLRP11_SIM_USER_PIN is not set";
    auto* pin_bytes = reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(pin));
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    ASSERT_EQ(get_function_list(&p11), CKR_OK);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    std::vector<CK_SLOT_ID> slots = list_slots(p11);
    ASSERT_FALSE(slots.empty());
    for (CK_SLOT_ID slot : slots) {
        SCOPED_TRACE(token_serial(p11, slot));
        CK_SESSION_HANDLE ro = 0;
        CK_SESSION_HANDLE rw = 0;
        ASSERT_EQ(p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &ro), CKR_OK);
        ASSERT_EQ(p11->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &rw), CKR_OK);
        ASSERT_EQ(p11->C_Login(rw, CKU_USER, pin_bytes, std::strlen(pin)), CKR_OK);
        CK_SESSION_INFO info{};
        ASSERT_EQ(p11->C_GetSessionInfo(ro, &info), CKR_OK);
        EXPECT_EQ(info.state, CKS_RO_USER_FUNCTIONS);
        ASSERT_EQ(p11->C_GetSessionInfo(rw, &info), CKR_OK);
        EXPECT_EQ(info.state, CKS_RW_USER_FUNCTIONS);
        EXPECT_EQ(p11->C_Logout(rw), CKR_OK);
        ASSERT_EQ(p11->C_GetSessionInfo(rw, &info), CKR_OK);
        EXPECT_EQ(info.state, CKS_RW_PUBLIC_SESSION);
        // The last session closed logs out too.
        ASSERT_EQ(p11->C_Login(ro, CKU_USER, pin_bytes, std::strlen(pin)), CKR_OK);
        EXPECT_EQ(p11->C_CloseAllSessions(slot), CKR_OK);
        ASSERT_EQ(p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &ro), CKR_OK);
        ASSERT_EQ(p11->C_GetSessionInfo(ro, &info), CKR_OK);
        EXPECT_EQ(info.state, CKS_RO_PUBLIC_SESSION);
        EXPECT_EQ(p11->C_CloseSession(ro), CKR_OK);
    }
    p11->C_Finalize(nullptr);
}

}  // namespace
}  // namespace vlrp11::testing
