#include "objects/der.h"

#include <gtest/gtest.h>

#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct LengthCase {
    Bytes input;
    int result;
    std::size_t length;
    std::size_t consumed;
};

class ReadLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ReadLength, Decodes)
{
    const LengthCase& c = GetParam();
    const std::uint8_t* cursor = c.input.data();
    std::size_t length = 12345;
    EXPECT_EQ(read_length(cursor, c.input.data() + c.input.size(), length), c.result);
    if (c.result == 0) {
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(static_cast<std::size_t>(cursor - c.input.data()), c.consumed);
    }
}

Bytes with_content(Bytes header, std::size_t content)
{
    header.resize(header.size() + content, 0xEE);
    return header;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ReadLength,
    ::testing::Values(LengthCase{{}, DER_OUT_OF_DATA, 0, 0},
                      LengthCase{{0x00}, 0, 0, 1},
                      LengthCase{with_content({0x7F}, 0x7F), 0, 0x7F, 1},
                      LengthCase{with_content({0x7F}, 0x7E), DER_OUT_OF_DATA, 0, 0},
                      LengthCase{with_content({0x81, 0x80}, 0x80), 0, 0x80, 2},
                      LengthCase{with_content({0x81, 0x05}, 5), 0, 5, 2},  // non-minimal is read
                      LengthCase{with_content({0x82, 0x01, 0x00}, 0x100), 0, 0x100, 3},
                      LengthCase{with_content({0x83, 0x01, 0x00, 0x00}, 0x10000), 0, 0x10000, 4},
                      LengthCase{with_content({0x84, 0x00, 0x00, 0x00, 0x02}, 2), 0, 2, 5},
                      LengthCase{{0x84, 0xFF, 0xFF, 0xFF, 0xFF}, DER_OUT_OF_DATA, 0, 0},
                      LengthCase{{0x82, 0x01}, DER_OUT_OF_DATA, 0, 0},
                      LengthCase{{0x81}, DER_OUT_OF_DATA, 0, 0},
                      LengthCase{{0x80}, DER_INVALID_LENGTH, 0, 0},
                      LengthCase{{0x85, 0, 0, 0, 0, 0}, DER_INVALID_LENGTH, 0, 0},
                      LengthCase{{0xFF}, DER_INVALID_LENGTH, 0, 0}));

struct IntCase {
    Bytes input;
    int result;
    int value;
};

class ReadInt : public ::testing::TestWithParam<IntCase> {};

TEST_P(ReadInt, Decodes)
{
    const IntCase& c = GetParam();
    const std::uint8_t* cursor = c.input.data();
    int value = -1;
    EXPECT_EQ(read_int(cursor, c.input.data() + c.input.size(), value), c.result);
    if (c.result == 0) {
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(cursor, c.input.data() + c.input.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadInt,
    ::testing::Values(IntCase{{0x02, 0x01, 0x00}, 0, 0}, IntCase{{0x02, 0x01, 0x7F}, 0, 0x7F},
                      IntCase{{0x02, 0x02, 0x00, 0x80}, 0, 0x80},
                      IntCase{{0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}, 0, 0x7FFFFFFF},
                      IntCase{{0x02, 0x06, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78}, 0, 0x12345678},
                      IntCase{{0x02, 0x03, 0x00, 0x00, 0x00}, 0, 0},
                      IntCase{{0x02, 0x05, 0x00, 0x80, 0x00, 0x00, 0x00}, DER_INVALID_LENGTH, 0},
                      IntCase{{0x02, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00}, DER_INVALID_LENGTH, 0},
                      IntCase{{0x02, 0x01, 0x80}, DER_INVALID_LENGTH, 0},
                      IntCase{{0x02, 0x01, 0xFF}, DER_INVALID_LENGTH, 0},
                      IntCase{{0x02, 0x00}, DER_INVALID_LENGTH, 0},
                      IntCase{{0x02, 0x02, 0x01}, DER_OUT_OF_DATA, 0},
                      IntCase{{0x02}, DER_OUT_OF_DATA, 0}, IntCase{{}, DER_OUT_OF_DATA, 0},
                      IntCase{{0x03, 0x01, 0x01}, DER_UNEXPECTED_TAG, 0},
                      IntCase{{0x82, 0x01, 0x01}, DER_UNEXPECTED_TAG, 0}));

struct AlgorithmCase {
    Bytes input;
    int result;
    Bytes oid;
    std::uint32_t paramsTag;
    Bytes params;
};

class ReadAlgorithm : public ::testing::TestWithParam<AlgorithmCase> {};

TEST_P(ReadAlgorithm, Decodes)
{
    const AlgorithmCase& c = GetParam();
    Bytes input = c.input;
    input.push_back(0x99);  // a following element the reader must not touch
    const std::uint8_t* cursor = input.data();
    DerBuffer oid{};
    DerBuffer params{1, 1, nullptr};
    EXPECT_EQ(read_algorithm(cursor, input.data() + input.size(), oid, params), c.result);
    if (c.result != 0) {
        return;
    }
    EXPECT_EQ(cursor, input.data() + c.input.size());
    EXPECT_EQ(oid.tag, 0x06u);
    EXPECT_EQ(Bytes(oid.p, oid.p + oid.length), c.oid);
    EXPECT_EQ(params.tag, c.paramsTag);
    EXPECT_EQ(params.length, c.params.size());
    if (c.params.empty()) {
        EXPECT_EQ(params.p, c.paramsTag == 0 ? nullptr : input.data() + c.input.size());
    } else {
        EXPECT_EQ(Bytes(params.p, params.p + params.length), c.params);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ReadAlgorithm,
    ::testing::Values(
        AlgorithmCase{{0x30, 0x0A, 0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02}, 0,
                      {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02}, 0, {}},
        AlgorithmCase{{0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B, 0x05, 0x00},
                      0, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B}, 0x05, {}},
        AlgorithmCase{{0x30, 0x08, 0x06, 0x01, 0x2A, 0x30, 0x03, 0x02, 0x01, 0x01}, 0, {0x2A}, 0x30,
                      {0x02, 0x01, 0x01}},
        AlgorithmCase{{0x30, 0x02, 0x06, 0x00}, 0, {}, 0, {}},
        AlgorithmCase{{0x30, 0x00}, DER_OUT_OF_DATA, {}, 0, {}},
        AlgorithmCase{{0x31, 0x03, 0x06, 0x01, 0x2A}, DER_UNEXPECTED_TAG, {}, 0, {}},
        AlgorithmCase{{0x30, 0x03, 0x05, 0x01, 0x2A}, DER_UNEXPECTED_TAG, {}, 0, {}},
        AlgorithmCase{{0x30, 0x03, 0x06, 0x02, 0x2A}, DER_OUT_OF_DATA, {}, 0, {}},
        AlgorithmCase{{0x30, 0x07, 0x06, 0x01, 0x2A, 0x05, 0x00, 0x05, 0x00}, DER_LENGTH_MISMATCH, {}, 0, {}},
        AlgorithmCase{{0x30, 0x05, 0x06, 0x01, 0x2A, 0x04, 0x02}, DER_OUT_OF_DATA, {}, 0, {}},
        AlgorithmCase{{0x30, 0x04, 0x06, 0x01, 0x2A, 0x05}, DER_OUT_OF_DATA, {}, 0, {}},
        AlgorithmCase{{0x30, 0x05, 0x06, 0x01, 0x2A, 0x05, 0x80}, DER_INVALID_LENGTH, {}, 0, {}},
        AlgorithmCase{{0x30, 0x09, 0x06, 0x01}, DER_OUT_OF_DATA, {}, 0, {}}));

}  // namespace
}  // namespace vlrp11
