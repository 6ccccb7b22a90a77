#include "support/module_fixture.h"

#include "api/function_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vlrp11::testing {
namespace {

CK_FUNCTION_LIST_PTR function_list()
{
    CK_FUNCTION_LIST_PTR list = nullptr;
    EXPECT_EQ(get_function_list(&list), CKR_OK);
    return list;
}

std::string text(const CK_UTF8CHAR* field, std::size_t n)
{
    return std::string(reinterpret_cast<const char*>(field), n);
}

TEST(ModuleEntry, FunctionListIsVersion240AndComplete)
{
    EXPECT_EQ(get_function_list(nullptr), CKR_ARGUMENTS_BAD);
    CK_FUNCTION_LIST_PTR list = function_list();
    EXPECT_EQ(list->version.major, 2);
    EXPECT_EQ(list->version.minor, 40);
    // Every entry is set; the table is the version bytes followed by 68 pointers.
    const auto* entries = reinterpret_cast<const unsigned char*>(list) + offsetof(CK_FUNCTION_LIST, C_Initialize);
    for (int i = 0; i < 68; ++i) {
        void* entry;
        std::memcpy(&entry, entries + i * sizeof(void*), sizeof entry);
        EXPECT_NE(entry, nullptr) << "entry " << i;
    }
    CK_FUNCTION_LIST_PTR again = nullptr;
    EXPECT_EQ(list->C_GetFunctionList(&again), CKR_OK);
    EXPECT_EQ(again, list);
}

TEST(ModuleEntry, GetInfoBeforeInitialiseWithExactBlankPaddedTexts)
{
    CK_FUNCTION_LIST_PTR p11 = function_list();
    EXPECT_EQ(p11->C_GetInfo(nullptr), CKR_ARGUMENTS_BAD);
    CK_INFO info;
    std::memset(&info, 0, sizeof info);
    ASSERT_EQ(p11->C_GetInfo(&info), CKR_OK);
    EXPECT_EQ(info.cryptokiVersion.major, 2);
    EXPECT_EQ(info.cryptokiVersion.minor, 40);
    EXPECT_EQ(text(info.manufacturerID, 32), "KESTRELWORKSHOP LLC             ");
    EXPECT_EQ(text(info.libraryDescription, 32), "VELLARO & MORVA PKCS#11 library ");
    EXPECT_EQ(info.flags, 0u);
    EXPECT_EQ(info.libraryVersion.major, 1);
    EXPECT_EQ(info.libraryVersion.minor, 7);
}

TEST(ModuleEntry, InitialiseAndFinaliseLifecycle)
{
    CK_FUNCTION_LIST_PTR p11 = function_list();
    int reserved = 0;
    // C_Finalize checks its argument before the initialised flag.
    EXPECT_EQ(p11->C_Finalize(&reserved), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);

    // The argument of C_Initialize is not examined, whatever it points at.
    CK_C_INITIALIZE_ARGS args{};
    args.flags = CKF_OS_LOCKING_OK | CKF_LIBRARY_CANT_CREATE_OS_THREADS;
    EXPECT_EQ(p11->C_Initialize(&args), CKR_OK);
    EXPECT_EQ(p11->C_Initialize(nullptr), CKR_CRYPTOKI_ALREADY_INITIALIZED);
    EXPECT_EQ(p11->C_Finalize(&reserved), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);

    EXPECT_EQ(p11->C_Initialize(&reserved), CKR_OK);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
}

// Entries with a fixed answer, before and after C_Initialize.
struct FixedCode {
    const char* name;
    CK_RV (*call)(CK_FUNCTION_LIST_PTR);
    CK_RV beforeInitialize;
    CK_RV afterInitialize;
};

const FixedCode fixed_codes[] = {
    {"C_GetOperationState", [](CK_FUNCTION_LIST_PTR p) { return p->C_GetOperationState(1, nullptr, nullptr); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_SetOperationState", [](CK_FUNCTION_LIST_PTR p) { return p->C_SetOperationState(1, nullptr, 0, 0, 0); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_CopyObject", [](CK_FUNCTION_LIST_PTR p) { return p->C_CopyObject(1, 1, nullptr, 0, nullptr); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_EncryptUpdate", [](CK_FUNCTION_LIST_PTR p) { return p->C_EncryptUpdate(1, nullptr, 0, nullptr, nullptr); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_DecryptUpdate", [](CK_FUNCTION_LIST_PTR p) { return p->C_DecryptUpdate(1, nullptr, 0, nullptr, nullptr); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_SignRecoverInit", [](CK_FUNCTION_LIST_PTR p) { return p->C_SignRecoverInit(1, nullptr, 0); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_SignRecover", [](CK_FUNCTION_LIST_PTR p) { return p->C_SignRecover(1, nullptr, 0, nullptr, nullptr); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_VerifyInit", [](CK_FUNCTION_LIST_PTR p) { return p->C_VerifyInit(1, nullptr, 0); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_Verify", [](CK_FUNCTION_LIST_PTR p) { return p->C_Verify(1, nullptr, 0, nullptr, 0); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_VerifyUpdate", [](CK_FUNCTION_LIST_PTR p) { return p->C_VerifyUpdate(1, nullptr, 0); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_VerifyFinal", [](CK_FUNCTION_LIST_PTR p) { return p->C_VerifyFinal(1, nullptr, 0); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_VerifyRecoverInit", [](CK_FUNCTION_LIST_PTR p) { return p->C_VerifyRecoverInit(1, nullptr, 0); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_VerifyRecover", [](CK_FUNCTION_LIST_PTR p) { return p->C_VerifyRecover(1, nullptr, 0, nullptr, nullptr); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_SignEncryptUpdate",
     [](CK_FUNCTION_LIST_PTR p) { return p->C_SignEncryptUpdate(1, nullptr, 0, nullptr, nullptr); },
     CKR_FUNCTION_NOT_SUPPORTED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_DigestEncryptUpdate",
     [](CK_FUNCTION_LIST_PTR p) { return p->C_DigestEncryptUpdate(1, nullptr, 0, nullptr, nullptr); },
     CKR_CRYPTOKI_NOT_INITIALIZED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_DecryptDigestUpdate",
     [](CK_FUNCTION_LIST_PTR p) { return p->C_DecryptDigestUpdate(1, nullptr, 0, nullptr, nullptr); },
     CKR_CRYPTOKI_NOT_INITIALIZED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_DecryptVerifyUpdate",
     [](CK_FUNCTION_LIST_PTR p) { return p->C_DecryptVerifyUpdate(1, nullptr, 0, nullptr, nullptr); },
     CKR_CRYPTOKI_NOT_INITIALIZED, CKR_FUNCTION_NOT_SUPPORTED},
    {"C_SeedRandom", [](CK_FUNCTION_LIST_PTR p) { return p->C_SeedRandom(1, nullptr, 0); },
     CKR_CRYPTOKI_NOT_INITIALIZED, CKR_RANDOM_SEED_NOT_SUPPORTED},
    {"C_GetFunctionStatus", [](CK_FUNCTION_LIST_PTR p) { return p->C_GetFunctionStatus(1); },
     CKR_FUNCTION_NOT_PARALLEL, CKR_FUNCTION_NOT_PARALLEL},
    {"C_CancelFunction", [](CK_FUNCTION_LIST_PTR p) { return p->C_CancelFunction(1); }, CKR_FUNCTION_NOT_PARALLEL,
     CKR_FUNCTION_NOT_PARALLEL},
    // C_DigestKey resolves the session first.
    {"C_DigestKey", [](CK_FUNCTION_LIST_PTR p) { return p->C_DigestKey(0x101, 1); }, CKR_CRYPTOKI_NOT_INITIALIZED,
     CKR_SESSION_HANDLE_INVALID},
};

TEST(ModuleEntry, FixedCodesBeforeAndAfterInitialise)
{
    CK_FUNCTION_LIST_PTR p11 = function_list();
    for (const FixedCode& entry : fixed_codes)
        EXPECT_EQ(entry.call(p11), entry.beforeInitialize) << entry.name << " before C_Initialize";
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    for (const FixedCode& entry : fixed_codes)
        EXPECT_EQ(entry.call(p11), entry.afterInitialize) << entry.name << " after C_Initialize";
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
}

TEST_F(ModuleTest, DigestKeyOnAnOpenSessionIsIndigestible)
{
    CK_SESSION_HANDLE session = open_fake_session(place_fake_device(0), 0);
    EXPECT_EQ(p11->C_DigestKey(session, 1), CKR_KEY_INDIGESTIBLE);
}

}  // namespace
}  // namespace vlrp11::testing
