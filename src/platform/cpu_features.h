#pragma once

#include <cstdint>

namespace vlrp11 {

struct CpuidResult {
    std::uint32_t eax;
    std::uint32_t ebx;
    std::uint32_t ecx;
    std::uint32_t edx;
};

// Executes CPUID with the given leaf and sub-leaf. A leaf above the processor's highest
// supported leaf answers all zeros, so feature bits read from it are simply absent.
CpuidResult cpuid(std::uint32_t leaf, std::uint32_t subleaf = 0) noexcept;

// The operating system's extended-state mask (XCR0): which register files it saves on a
// context switch. Only to be called when CPUID leaf 1 reports OSXSAVE.
std::uint64_t enabled_register_state() noexcept;

}  // namespace vlrp11
