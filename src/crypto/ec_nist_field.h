#pragma once

// Field multiplication and squaring modulo the NIST primes: the full product, then the fast
// reduction that folds the high half back with the prime's sparse form.

#include "crypto/ec_bignum.h"

namespace vlrp11 {

void p192_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept;
void p192_field_sqr(Limb* r, const Limb* a) noexcept;
void p256_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept;
void p256_field_sqr(Limb* r, const Limb* a) noexcept;
void p384_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept;
void p384_field_sqr(Limb* r, const Limb* a) noexcept;
void p521_field_mul(Limb* r, const Limb* a, const Limb* b) noexcept;
void p521_field_sqr(Limb* r, const Limb* a) noexcept;

}  // namespace vlrp11
