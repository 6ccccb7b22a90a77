#pragma once

// What the processor offers to the instruction paths of the algorithms, read with CPUID. Each
// call executes CPUID again; callers decide once and keep the answer.

namespace vlrp11 {

// AES-NI and SSE4.1 (leaf 1, ECX mask 0x02080000).
bool aes_instructions_supported() noexcept;

// The SHA extensions with the SSSE3 and SSE4.1 shuffles their code needs.
bool sha_instructions_supported() noexcept;

// BMI1 and BMI2: three-operand rotates and and-not, which the portable SHA-512 and Keccak
// rounds gain from when compiled for them.
bool bmi_supported() noexcept;

// AVX2, with the operating system saving the 256-bit registers.
bool avx2_supported() noexcept;

}  // namespace vlrp11
