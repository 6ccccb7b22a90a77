// Runs one DER primitive, chosen by the first input byte, over the rest of the input and checks
// that the cursor and every reported element stay inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "objects/der.h"

namespace {

void check_inside(const std::uint8_t* p, std::uint64_t length, const std::uint8_t* begin,
                  const std::uint8_t* end)
{
    if (length != 0 && (p < begin || p > end || length > static_cast<std::uint64_t>(end - p))) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    std::vector<std::uint8_t> input(data + 1, data + size);
    const std::uint8_t* const begin = input.data();
    const std::uint8_t* const end = begin + input.size();
    const std::uint8_t* cursor = begin;
    int result = 0;
    switch (data[0] % 3) {
    case 0: {
        std::size_t length = 0;
        result = vlrp11::read_length(cursor, end, length);
        if (result == 0) {
            check_inside(cursor, length, begin, end);
        }
        break;
    }
    case 1: {
        int value = -1;
        result = vlrp11::read_int(cursor, end, value);
        if (result == 0 && value < 0) {
            std::abort();
        }
        break;
    }
    default: {
        vlrp11::DerBuffer oid{};
        vlrp11::DerBuffer params{};
        result = vlrp11::read_algorithm(cursor, end, oid, params);
        if (result == 0) {
            check_inside(oid.p, oid.length, begin, cursor);
            check_inside(params.p, params.length, begin, cursor);
        }
        break;
    }
    }
    if (cursor < begin || cursor > end) {
        std::abort();
    }
    return 0;
}
