#include "crypto/ec_curve.h"
#include "crypto/ec_p256_field.h"
#include "crypto/ec_p256_jacobian.h"
#include "platform/wipe.h"

// Fixed-base multiplication with signed windows of six bits: d = Σ dᵢ·2^(6i) with digits
// dᵢ ∈ [-32, 32], and each term read from the table, so that no doubling is needed. For
// 1 ≤ d < n no addition meets equal or opposite points: the partial sum of the windows below i
// lies within ±2^(6i - 1), short of ±dᵢ·2^(6i) even modulo n.

namespace vlrp11::p256 {
namespace {

// Window i of the scalar with the top bit of window i - 1 below it, recoded to a magnitude
// and a sign without a branch.
void booth_digit(const Limb* d, std::size_t window, Limb& magnitude, Limb& negative) noexcept
{
    const std::size_t low = BASE_WINDOW_BITS * window;
    Limb bits = 0;  // bits low - 1 … low + 6 of d
    for (std::size_t b = 0; b <= BASE_WINDOW_BITS; ++b) {
        const std::size_t position = low + b - 1;
        if (low + b >= 1 && position < 256)
            bits |= ((d[position / 64] >> (position % 64)) & 1) << b;
    }
    const Limb top = 0 - (bits >> BASE_WINDOW_BITS);
    Limb value = (((Limb{1} << (BASE_WINDOW_BITS + 1)) - bits - 1) & top) | (bits & ~top);
    magnitude = (value >> 1) + (value & 1);
    negative = top & 1;
}

// Scalar, digits and running sum derive from the private key; wiped before returning.
struct CombState {
    JacobianPoint sum, acc;
    AffinePoint entry;
    Limb magnitude, negative;

    ~CombState() { secure_wipe(*this); }
};

}  // namespace

BaseTable::BaseTable() noexcept
{
    AffinePoint base;
    to_mont(base.x, EC_P256.gx);
    to_mont(base.y, EC_P256.gy);
    JacobianPoint multiples[BASE_WINDOW_ENTRIES];
    for (std::size_t w = 0; w < BASE_WINDOWS; ++w) {
        from_affine(multiples[0], base.x, base.y);
        point_double(multiples[1], multiples[0]);
        for (std::size_t j = 2; j < BASE_WINDOW_ENTRIES; ++j)
            point_add_mixed(multiples[j], multiples[j - 1], base);
        normalize(point[w], multiples, BASE_WINDOW_ENTRIES);
        JacobianPoint next;
        point_double(next, multiples[BASE_WINDOW_ENTRIES - 1]);  // 2^6 times this window's base
        normalize(&base, &next, 1);
    }
}

const BaseTable& base_table() noexcept
{
    // Function-local statics are initialised exactly once, even when threads race here.
    static const BaseTable table;
    return table;
}

void base_mul(AffinePoint& out, const Limb* d) noexcept
{
    const BaseTable& table = base_table();
    CombState s;
    Limb infinite = ~Limb{0};  // all ones while every digit so far was zero
    for (std::size_t i = 0; i < P256_LIMBS; ++i)
        s.acc.x[i] = s.acc.y[i] = s.acc.z[i] = 0;
    for (std::size_t w = 0; w < BASE_WINDOWS; ++w) {
        booth_digit(d, w, s.magnitude, s.negative);
        select_entry(s.entry, table.point[w], BASE_WINDOW_ENTRIES, s.magnitude, s.negative);
        point_add_mixed(s.sum, s.acc, s.entry);
        // Zero digit: keep the sum. First non-zero digit: the entry itself, on Z = 1.
        const Limb zero_digit = ((s.magnitude | (0 - s.magnitude)) >> 63) - 1;
        const Limb take_entry = infinite & ~zero_digit;
        const Limb take_sum = ~infinite & ~zero_digit;
        for (std::size_t i = 0; i < P256_LIMBS; ++i) {
            s.acc.x[i] = (s.acc.x[i] & zero_digit) | (s.sum.x[i] & take_sum) |
                         (s.entry.x[i] & take_entry);
            s.acc.y[i] = (s.acc.y[i] & zero_digit) | (s.sum.y[i] & take_sum) |
                         (s.entry.y[i] & take_entry);
            s.acc.z[i] = (s.acc.z[i] & zero_digit) | (s.sum.z[i] & take_sum) |
                         (MONT_ONE[i] & take_entry);
        }
        infinite &= zero_digit;
    }
    to_affine(out, s.acc);
    from_mont(out.x, out.x);
    from_mont(out.y, out.y);
}

}  // namespace vlrp11::p256
