#include "core/crypto_binary_curve.h"

namespace vlrp11::sim {
namespace {

// The recommended curves of DSTU 4145-2002 for the five field sizes the device supports.
constexpr std::array<BinaryCurveParams, 5> kDstuCurves = {{
    {233, {9, 4, 1}, 1,
     "6973B15095675534C7CF7E64A21BD54EF5DD3B8A0326AA936ECE454D2C",
     "1000000000000000000000000000013E974E72F8A6922031D2603CFE0D7", 2,
     "3FCDA526B6CDF83BA1118DF35B3C31761D3545F32728D003EEB25EFE96",
     "9CA8B57A934C54DEEDA9E54A7BBAD95E3B2E91C54D32BE0B9DF96D8D35"},
    {257, {12, 0, 0}, 0,
     "1CEF494720115657E18F938D7A7942394FF9425C1458C57861F9EEA6ADBE3BE10",
     "800000000000000000000000000000006759213AF182E987D3E17714907D470D", 4,
     "2A29EF207D0E9B6C55CD260B306C7E007AC491CA1B10C62334A9E8DCD8D20FB7",
     "10686D41FF744D4449FCCF6D8EEA03102E6812C93A9D60B978B702CF156D814EF"},
    {307, {8, 4, 2}, 1,
     "393C7F7D53666B5054B5E6C6D3DE94F4296C0C599E2E2E241050DF18B6090BDC90186904968BB",
     "3FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFC079C2F3825DA70D390FBBA588D4604022B7B7", 2,
     "216EE8B189D291A0224984C1E92F1D16BF75CCD825A087A239B276D3167743C52C02D6E7232AA",
     "5D9306BACD22B7FAEB09D2E049C6E2866C5D1677762A8F2F2DC9A11C7F7BE8340AB2237C7F2A0"},
    {367, {21, 0, 0}, 1,
     "43FC8AD242B0B7A6F3D1627AD5654447556B47BF6AA4A64B0C2AFE42CADAB8F93D92394C79A79755437B56995136",
     "40000000000000000000000000000000000000000000009C300B75A3FA824F22428FD28CE8812245EF44049B2D49", 2,
     "324A6EDDD512F08C49A99AE0D3F961197A76413E7BE81A400CA681E09639B5FE12E59A109F78BF4A373541B3B9A1",
     "1AB597A5B4477F59E39539007C7F977D1A567B92B043A49C6B61984C3FE3481AAF454CD41BA1F051626442B3C10"},
    {431, {5, 3, 1}, 1,
     "3CE10490F6A708FC26DFE8C3D27C4F94E690134D5BFF988D8D28AAEAEDE975936C66BAC536B18AE2DC312CA493117DAA469C640CAF3",
     "3FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFBA3175458009A8C0A724F02F81AA8A1FCBAF80D90C7A95110504CF", 2,
     "1A62BA79D98133A16BBAE7ED9A8E03C32E0824D57AEF72F88986874E5AAE49C27BED49A2A95058068426C2171E99FD3B43C5947C857D",
     "70B5E1E14031C1F70BBEFE96BDDE66F451754B4CA5F48DA241F331AA396B8D1839A855C1769B1EA14BA53308B5E2723724E090E02DB9"},
}};

constexpr std::uint16_t kFirstDstuCurveId = 32;

}  // namespace

std::unique_ptr<BinaryCurve> BinaryCurve::create(const BinaryCurveParams& params) {
    std::unique_ptr<BinaryCurve> curve(new BinaryCurve);
    curve->m_ = params.m;
    curve->a_ = params.a;
    curve->cofactor_ = params.cofactor;
    curve->polynomial_ = bn_new();
    BIGNUM* poly = curve->polynomial_.get();
    if (!poly || !BN_set_bit(poly, static_cast<int>(params.m)) || !BN_set_bit(poly, 0)) return nullptr;
    for (unsigned term : params.middle_terms)
        if (term != 0 && !BN_set_bit(poly, static_cast<int>(term))) return nullptr;

    Bn a = bn_new();
    curve->b_ = bn_from_hex(params.b);
    curve->order_ = bn_from_hex(params.n);
    Bn gx = bn_from_hex(params.gx);
    Bn gy = bn_from_hex(params.gy);
    Bn cofactor = bn_new();
    BnCtx ctx = bn_ctx_new();
    if (!a || !curve->b_ || !curve->order_ || !gx || !gy || !cofactor || !ctx) return nullptr;
    if (!BN_set_word(a.get(), params.a) || !BN_set_word(cofactor.get(), params.cofactor)) return nullptr;

    curve->group_ = EcGroup(EC_GROUP_new_curve_GF2m(poly, a.get(), curve->b_.get(), ctx.get()));
    if (!curve->group_) return nullptr;
    EcPoint generator(EC_POINT_new(curve->group_.get()));
    // Setting the coordinates also checks that the point lies on the curve.
    if (!generator ||
        !EC_POINT_set_affine_coordinates(curve->group_.get(), generator.get(), gx.get(), gy.get(), ctx.get()) ||
        !EC_GROUP_set_generator(curve->group_.get(), generator.get(), curve->order_.get(), cofactor.get()))
        return nullptr;
    return curve;
}

const BinaryCurve* dstu_curve(std::uint16_t curve_id) {
    static const std::array<std::unique_ptr<BinaryCurve>, 5> curves = [] {
        std::array<std::unique_ptr<BinaryCurve>, 5> built;
        for (std::size_t i = 0; i < built.size(); ++i) built[i] = BinaryCurve::create(kDstuCurves[i]);
        return built;
    }();
    if (curve_id < kFirstDstuCurveId || curve_id >= kFirstDstuCurveId + curves.size()) return nullptr;
    return curves[curve_id - kFirstDstuCurveId].get();
}

int gf2m_trace(const BinaryCurve& curve, const BIGNUM* x, BN_CTX* ctx) {
    Bn power(BN_dup(x));
    Bn sum(BN_dup(x));
    if (!power || !sum) return -1;
    for (unsigned i = 1; i < curve.m(); ++i) {
        if (!BN_GF2m_mod_sqr(power.get(), power.get(), curve.polynomial(), ctx) ||
            !BN_GF2m_add(sum.get(), sum.get(), power.get()))
            return -1;
    }
    return BN_is_one(sum.get()) ? 1 : 0;
}

}  // namespace vlrp11::sim
