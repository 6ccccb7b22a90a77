#pragma once

#include "vlrp11/pkcs11.h"

namespace vlrp11 {

// Stores the address of the version 2.40 function table. Works before C_Initialize.
CK_RV get_function_list(CK_FUNCTION_LIST_PTR_PTR ppFunctionList) noexcept;

}  // namespace vlrp11
