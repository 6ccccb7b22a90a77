#include "platform/cpu_features.h"

#include <cpuid.h>

namespace vlrp11 {

// GCC's and MinGW's <cpuid.h> serve both platforms alike.
CpuidResult cpuid(std::uint32_t leaf, std::uint32_t subleaf) noexcept
{
    CpuidResult r{};
    if (!__get_cpuid_count(leaf, subleaf, &r.eax, &r.ebx, &r.ecx, &r.edx))
        r = CpuidResult{};
    return r;
}

}  // namespace vlrp11
