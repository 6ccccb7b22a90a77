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

std::uint64_t enabled_register_state() noexcept
{
    std::uint32_t low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (std::uint64_t{high} << 32) | low;
}

}  // namespace vlrp11
