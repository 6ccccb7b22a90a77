// Curves y² + x·y = x³ + a·x² + b over GF(2^m) in polynomial basis, built on OpenSSL's GF(2^m)
// groups: the five DSTU 4145 curves the device offers (CurveId 32..36), or any curve given by its
// parameters. A curve is immutable once built and may be shared between threads.
#pragma once

#include "core/crypto_openssl.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vlrp11::sim {

struct BinaryCurveParams {
    unsigned m;
    std::array<unsigned, 3> middle_terms;  // exponents between m and 0, descending; 0 = unused
    unsigned a;                            // 0 or 1
    const char* b;                         // hexadecimal, most significant digit first
    const char* n;
    unsigned cofactor;
    const char* gx;
    const char* gy;
};

class BinaryCurve {
public:
    static std::unique_ptr<BinaryCurve> create(const BinaryCurveParams& params);

    const EC_GROUP* group() const { return group_.get(); }
    const BIGNUM* polynomial() const { return polynomial_.get(); }
    const BIGNUM* order() const { return order_.get(); }
    const BIGNUM* b() const { return b_.get(); }
    unsigned m() const { return m_; }
    unsigned a() const { return a_; }
    unsigned cofactor() const { return cofactor_; }
    // Bytes of a field element (⌈m / 8⌉) and of a number modulo the order.
    std::size_t field_bytes() const { return (m_ + 7) / 8; }
    std::size_t order_bytes() const { return static_cast<std::size_t>(BN_num_bytes(order_.get())); }

private:
    BinaryCurve() = default;
    EcGroup group_;
    Bn polynomial_;
    Bn order_;
    Bn b_;
    unsigned m_ = 0;
    unsigned a_ = 0;
    unsigned cofactor_ = 0;
};

// The device's DSTU 4145 curve for CurveId 32..36 (m = 233, 257, 307, 367, 431); null otherwise.
const BinaryCurve* dstu_curve(std::uint16_t curve_id);

// Tr(x) = x + x² + x⁴ + … + x^(2^(m−1)), which is 0 or 1.
int gf2m_trace(const BinaryCurve& curve, const BIGNUM* x, BN_CTX* ctx);

}  // namespace vlrp11::sim
