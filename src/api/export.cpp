// The module's one exported symbol. Everything else in the shared library is hidden.
#include "api/function_table.h"

#if defined(_WIN32)
#define VLRP11_EXPORT
#else
#define VLRP11_EXPORT __attribute__((visibility("default")))
#endif

extern "C" VLRP11_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR ppFunctionList)
{
    return vlrp11::get_function_list(ppFunctionList);
}
