#include "crypto/cpu_support.h"

#include <cstdint>

#include "platform/cpu_features.h"

namespace vlrp11 {

namespace {

constexpr std::uint32_t leaf1_ssse3 = 1u << 9;
constexpr std::uint32_t leaf1_sse41 = 1u << 19;
constexpr std::uint32_t leaf1_aes = 1u << 25;
constexpr std::uint32_t leaf1_osxsave = 1u << 27;
constexpr std::uint32_t leaf1_avx = 1u << 28;
constexpr std::uint32_t leaf7_avx2 = 1u << 5;
constexpr std::uint64_t xcr0_sse_avx = 0x6;  // XMM and YMM state
constexpr std::uint32_t leaf7_bmi1 = 1u << 3;
constexpr std::uint32_t leaf7_bmi2 = 1u << 8;
constexpr std::uint32_t leaf7_sha = 1u << 29;

bool all_set(std::uint32_t bits, std::uint32_t mask)
{
    return (bits & mask) == mask;
}

}  // namespace

bool aes_instructions_supported() noexcept
{
    return all_set(cpuid(1).ecx, leaf1_sse41 | leaf1_aes);
}

bool sha_instructions_supported() noexcept
{
    return all_set(cpuid(1).ecx, leaf1_ssse3 | leaf1_sse41) && all_set(cpuid(7, 0).ebx, leaf7_sha);
}

bool bmi_supported() noexcept
{
    return all_set(cpuid(7, 0).ebx, leaf7_bmi1 | leaf7_bmi2);
}

bool avx2_supported() noexcept
{
    return all_set(cpuid(1).ecx, leaf1_osxsave | leaf1_avx) && all_set(cpuid(7, 0).ebx, leaf7_avx2) &&
           (enabled_register_state() & xcr0_sse_avx) == xcr0_sse_avx;
}

}  // namespace vlrp11
