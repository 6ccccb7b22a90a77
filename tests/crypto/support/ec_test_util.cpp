#include "ec_test_util.h"

#include "crypto/ec_gf2m.h"

namespace vlrp11::ec_test {

Value limbs_from_hex(std::string_view hex)
{
    Value v{};
    for (std::size_t i = 0; i < hex.size(); ++i) {
        const char c = hex[hex.size() - 1 - i];
        const Limb digit = c <= '9' ? Limb(c - '0') : Limb((c | 0x20) - 'a' + 10);
        v[i / 16] |= digit << (4 * (i % 16));
    }
    return v;
}

std::string hex_of(const Limb* value, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 16 * n; i-- > 0;)
        s += digits[(value[i / 16] >> (4 * (i % 16))) & 15];
    return s;
}

const std::vector<NamedCurve>& all_curves()
{
    static const std::vector<NamedCurve> curves{
        {"P192", &EC_P192},
        {"P256", &EC_P256},
        {"P384", &EC_P384},
        {"P521", &EC_P521},
        {"B163", &EC_B163},
        {"DSTU163", &EC_DSTU4145_163},
        {"DSTU233", &EC_DSTU4145_233},
        {"DSTU257", &EC_DSTU4145_257},
        {"DSTU307", &EC_DSTU4145_307},
        {"DSTU367", &EC_DSTU4145_367},
        {"DSTU431", &EC_DSTU4145_431},
        {"K571", &EC_K571},
        {"B571", &EC_B571},
    };
    return curves;
}

namespace {

struct Field {
    const CurveDescriptor& c;
    std::size_t n = field_limbs(c);
    bool binary = c.field_kind == FIELD_BINARY;

    Value mul(const Value& a, const Value& b) const
    {
        Value r{};
        c.field_mul(r.data(), a.data(), b.data());
        return r;
    }
    Value add(const Value& a, const Value& b) const
    {
        Value r{};
        if (binary) {
            for (std::size_t i = 0; i < n; ++i)
                r[i] = a[i] ^ b[i];
        } else {
            mod_add(r.data(), a.data(), b.data(), c.modulus, n);
        }
        return r;
    }
    Value sub(const Value& a, const Value& b) const
    {
        if (binary)
            return add(a, b);
        Value r{};
        mod_sub(r.data(), a.data(), b.data(), c.modulus, n);
        return r;
    }
    Value inv(const Value& a) const
    {
        Value r{};
        if (binary)
            gf2_inv(r.data(), a.data(), c.modulus);
        else
            mod_inv(r.data(), a.data(), c.modulus, n);
        return r;
    }
    Value small(Limb v) const
    {
        Value r{};
        r[0] = v;
        return r;
    }
    Value b() const
    {
        Value r{};
        for (std::size_t i = 0; i < n; ++i)
            r[i] = c.b[i];
        return r;
    }
    Value a() const
    {
        if (binary)
            return small(c.a_flag);
        Value r{};
        for (std::size_t i = 0; i < n; ++i)
            r[i] = c.a[i];
        return r;
    }
};

}  // namespace

bool on_curve(const CurveDescriptor& curve, const AffinePoint& p)
{
    const Field f{curve};
    const Value x2 = f.mul(p.x, p.x);
    const Value x3 = f.mul(x2, p.x);
    if (f.binary) {  // y² + xy = x³ + a·x² + b
        const Value lhs = f.add(f.mul(p.y, p.y), f.mul(p.x, p.y));
        const Value rhs = f.add(f.add(x3, f.mul(f.a(), x2)), f.b());
        return lhs == rhs;
    }
    const Value rhs = f.add(f.add(x3, f.mul(f.a(), p.x)), f.b());
    return f.mul(p.y, p.y) == rhs;
}

AffinePoint negate(const CurveDescriptor& curve, const AffinePoint& p)
{
    const Field f{curve};
    AffinePoint r = p;
    r.y = f.binary ? f.add(p.x, p.y) : f.sub(Value{}, p.y);
    return r;
}

AffinePoint affine_add(const CurveDescriptor& curve, const AffinePoint& p, const AffinePoint& q)
{
    if (p.infinity)
        return q;
    if (q.infinity)
        return p;
    const Field f{curve};
    if (p.x == q.x && p.y != q.y)
        return AffinePoint{{}, {}, true};
    if (p.x == q.x && !f.binary && p.y == Value{})
        return AffinePoint{{}, {}, true};
    Value lambda;
    AffinePoint r;
    if (f.binary) {
        if (p.x == q.x) {
            if (p.x == Value{})
                return AffinePoint{{}, {}, true};
            lambda = f.add(p.x, f.mul(p.y, f.inv(p.x)));  // x + y/x
            r.x = f.add(f.add(f.mul(lambda, lambda), lambda), f.a());
        } else {
            lambda = f.mul(f.add(p.y, q.y), f.inv(f.add(p.x, q.x)));
            r.x = f.add(f.add(f.add(f.add(f.mul(lambda, lambda), lambda), p.x), q.x), f.a());
        }
        r.y = f.add(f.add(f.mul(lambda, f.add(p.x, r.x)), r.x), p.y);
        return r;
    }
    if (p.x == q.x) {
        const Value x2 = f.mul(p.x, p.x);
        const Value num = f.add(f.add(f.add(x2, x2), x2), f.a());
        lambda = f.mul(num, f.inv(f.add(p.y, p.y)));
    } else {
        lambda = f.mul(f.sub(q.y, p.y), f.inv(f.sub(q.x, p.x)));
    }
    r.x = f.sub(f.sub(f.mul(lambda, lambda), p.x), q.x);
    r.y = f.sub(f.mul(lambda, f.sub(p.x, r.x)), p.y);
    return r;
}

AffinePoint base_point(const CurveDescriptor& curve)
{
    AffinePoint g;
    for (std::size_t i = 0; i < field_limbs(curve); ++i) {
        g.x[i] = curve.gx[i];
        g.y[i] = curve.gy[i];
    }
    return g;
}

}  // namespace vlrp11::ec_test
