#include "api/function_table.h"

namespace vlrp11 {
namespace {

template <typename Fn>
struct NotYet;
template <typename... Args>
struct NotYet<CK_RV (*)(Args...)> {
    static CK_RV call(Args...) { return CKR_FUNCTION_NOT_SUPPORTED; }
};

CK_RV get_function_list_entry(CK_FUNCTION_LIST_PTR_PTR ppFunctionList)
{
    return get_function_list(ppFunctionList);
}

#define VLRP11_ENTRY(name, args) NotYet<CK_##name>::call,
const CK_FUNCTION_LIST function_list_240 = {{2, 40}, VLRP11_CK_FUNCTIONS(VLRP11_ENTRY)};
#undef VLRP11_ENTRY

}  // namespace

CK_RV get_function_list(CK_FUNCTION_LIST_PTR_PTR ppFunctionList) noexcept
{
    if (ppFunctionList == nullptr)
        return CKR_ARGUMENTS_BAD;
    *ppFunctionList = const_cast<CK_FUNCTION_LIST_PTR>(&function_list_240);
    (void)get_function_list_entry;
    return CKR_OK;
}

}  // namespace vlrp11
