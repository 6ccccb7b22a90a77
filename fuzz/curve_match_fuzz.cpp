// Feeds arbitrary CKA_EC_PARAMS bytes to both curve matchers: no read outside the input, and
// only supported curves come back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "objects/curve_parameters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A private copy of exactly the input, so that reading past it is caught.
    std::vector<std::uint8_t> params(data, data + size);
    std::uint16_t nist = vlrp11::match_nist_curve(params.data(), params.size());
    if (nist != 0 && nist != vlrp11::CURVE_P256 && nist != vlrp11::CURVE_P384 && nist != vlrp11::CURVE_P521)
        std::abort();
    std::uint16_t dstu = vlrp11::match_dstu_curve(params.data(), params.size());
    if (dstu != 0 && (dstu < vlrp11::CURVE_DSTU_233 || dstu > vlrp11::CURVE_DSTU_431))
        std::abort();
    return 0;
}
