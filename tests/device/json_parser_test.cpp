#include "device/json_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <string_view>

namespace vlrp11 {
namespace {

struct JsonFree {
    void operator()(JsonValue* value) const { free_json_value(value); }
};
using Json = std::unique_ptr<JsonValue, JsonFree>;

Json parse(std::string_view text)
{
    return Json(parse_json_text(std::string(text).c_str()));
}

std::string nested_arrays(int depth, std::string_view innermost)
{
    return std::string(static_cast<std::size_t>(depth), '[') + std::string(innermost) +
           std::string(static_cast<std::size_t>(depth), ']');
}

std::string nested_objects(int depth)
{
    std::string text;
    for (int i = 0; i < depth; ++i) {
        text += "{\"a\":";
    }
    text += "1";
    return text + std::string(static_cast<std::size_t>(depth), '}');
}

// Documents the reader accepts, with what they are about.
class AcceptedJson : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(AcceptedJson, Parses)
{
    EXPECT_NE(parse(GetParam().second), nullptr) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, AcceptedJson,
    ::testing::Values(
        std::pair{"empty array", "[]"}, std::pair{"empty object", " { } "},
        std::pair{"blanks of every kind", "\t\n\v\f\r [ 1 , 2 ]\r\n"},
        std::pair{"trailing comma in array", "[1, 2, ]"},
        std::pair{"trailing comma in object", "{\"a\": 1 ,}"},
        std::pair{"nested empties", "[[], {}, [[]]]"}, std::pair{"scalar root", "\"x\""},
        std::pair{"literals", "[true, false, null]"},
        std::pair{"literal prefix at the root", "truex"},
        std::pair{"text after the root", "[1] ] , garbage"},
        std::pair{"second value after the root", "[1] [2"},
        std::pair{"block comment", "[1, /* two */ 2]"},
        std::pair{"line comment", "// head\n[1, // one\n 2]"},
        std::pair{"comment on the last line without newline", "[1] // tail"},
        std::pair{"unterminated block comment after the root", "[1] /* tail"},
        std::pair{"key with escapes", "{\"a\\n\\u00e9\": 1}"},
        std::pair{"lone minus at the root", "-"}));

class RejectedJson : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(RejectedJson, Fails)
{
    EXPECT_EQ(parse(GetParam().second), nullptr) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, RejectedJson,
    ::testing::Values(
        std::pair{"empty text", ""}, std::pair{"only blanks", " \n\t "},
        std::pair{"only a comment", "/* nothing */ // here\n"},
        std::pair{"array holding only a comma", "[,]"}, std::pair{"two commas", "[1,,]"},
        std::pair{"two commas inside", "[1,,2]"}, std::pair{"object holding only a comma", "{,}"},
        std::pair{"missing comma", "[1 2]"}, std::pair{"unclosed array", "[1, 2"},
        std::pair{"unclosed object", "{\"a\": 1"}, std::pair{"missing colon", "{\"a\" 1}"},
        std::pair{"missing member value", "{\"a\":}"},
        std::pair{"missing value before comma", "{\"a\":,\"b\":1}"},
        std::pair{"bare key", "{a: 1}"}, std::pair{"number key", "{1: 1}"},
        std::pair{"key holding NUL", "{\"a\\u0000b\": 1}"},
        std::pair{"duplicate key", "{\"a\": 1, \"a\": 2}"},
        std::pair{"duplicate key deep inside", "[{\"x\": 1, \"y\": {\"k\": 1, \"k\": 2}}]"},
        std::pair{"mismatched bracket", "[1}"}, std::pair{"short literal", "[tru]"},
        std::pair{"short null", "nul"}, std::pair{"unknown word", "[yes]"},
        std::pair{"lone minus in an array", "[-]"}, std::pair{"plus sign", "[+1]"},
        std::pair{"leading point", "[.5]"}, std::pair{"comment start inside a value", "[1/2]"}));

// Numbers follow strtod in the "C" locale, with JSON's refusals of leading zeros and hex.
class NumberText : public ::testing::TestWithParam<std::pair<const char*, double>> {};

TEST_P(NumberText, ReadsValue)
{
    const Json root = parse(GetParam().first);
    ASSERT_NE(root, nullptr) << GetParam().first;
    ASSERT_EQ(root->kind, JsonKind::number);
    EXPECT_EQ(root->number, GetParam().second) << GetParam().first;
    EXPECT_EQ(std::signbit(root->number), std::signbit(GetParam().second)) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumberText,
    ::testing::Values(std::pair{"0", 0.0}, std::pair{"-0", -0.0}, std::pair{"0.5", 0.5},
                      std::pair{"-0.5", -0.5}, std::pair{"1.9", 1.9}, std::pair{"-1.5", -1.5},
                      std::pair{"1e-999", 0.0}, std::pair{"-1e-999", -0.0},
                      std::pair{"2.5E3", 2500.0}, std::pair{"1e+2", 100.0},
                      std::pair{"4294967297", 4294967297.0}, std::pair{"5e-324", 5e-324},
                      std::pair{"1.7976931348623157e308", 1.7976931348623157e308},
                      std::pair{"-.5", -0.5}, std::pair{"1.", 1.0}, std::pair{"1e", 1.0},
                      std::pair{"0xg", 0.0}));

TEST(JsonNumbers, RefusesLeadingZerosHexAndOverflow)
{
    for (const char* text : {"0e5", "01", "-01", "-00", "-0e5", "00.5", "0x10", "0X1F", "-0x10",
                             "0x.8", "1e999", "-1e999", "1e99999999999999999999", "-inf",
                             "-Infinity", "-nan", "-NAN(1)"}) {
        EXPECT_EQ(parse(text), nullptr) << text;
        EXPECT_EQ(parse(std::string("[").append(text).append("]")), nullptr) << text;
    }
}

TEST(JsonNumbers, IgnoreTheLocaleDecimalPoint)
{
    const Json root = parse("[1.25, 2.5e-1]");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->array.items[0]->number, 1.25);
    EXPECT_EQ(root->array.items[1]->number, 0.25);
}

struct StringCase {
    const char* text;
    std::string bytes;
};

class StringText : public ::testing::TestWithParam<StringCase> {};

TEST_P(StringText, ConvertsEscapes)
{
    const Json root = parse(GetParam().text);
    ASSERT_NE(root, nullptr) << GetParam().text;
    ASSERT_EQ(root->kind, JsonKind::string);
    EXPECT_EQ(std::string(root->string.bytes, root->string.length), GetParam().bytes);
    EXPECT_EQ(root->string.bytes[root->string.length], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Escapes, StringText,
    ::testing::Values(StringCase{R"("")", ""}, StringCase{R"("plain")", "plain"},
                      StringCase{R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
                      StringCase{R"("\u0041\u00e9\u00E9")", "A\xC3\xA9\xC3\xA9"},
                      StringCase{R"("\u07FF\u0800\u20AC\uFFFF")", "\xDF\xBF\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF"},
                      StringCase{R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
                      StringCase{R"("\uD800\uDC00\uDBFF\uDFFF")", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
                      StringCase{R"("a\u0000b")", std::string("a\0b", 3)},
                      StringCase{"\"\xC3\xA9\xFF\"", "\xC3\xA9\xFF"},
                      StringCase{R"("/* not a comment */ // nor this")", "/* not a comment */ // nor this"},
                      StringCase{R"("a\"/* still text */")", "a\"/* still text */"}));

TEST(JsonStrings, RefusesInvalidText)
{
    for (const char* text : {R"("abc)", R"("abc\)", R"("a\qb")", R"("\x41")", R"("\u12")",
                             R"("\u12G4")", R"("\uD800")", R"("\uDC00")", R"("\uD800\u0041")",
                             R"("\uD800x")", R"("\uD800\uD800")", R"("\uD83D\n")",
                             "\"tab\there\"", "\"line\nbreak\"", "\"\x01\"", "\"\x1F\""}) {
        EXPECT_EQ(parse(text), nullptr) << text;
    }
}

TEST(JsonComments, StringStateDecidesWhatIsAComment)
{
    // An escaped backslash ends before the quote, so the comment after the string is one.
    const Json root = parse(R"(["\\" /* gone */, "x//y", 1 // gone
    ])");
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->array.count, 3u);
    EXPECT_STREQ(root->array.items[0]->string.bytes, "\\");
    EXPECT_STREQ(root->array.items[1]->string.bytes, "x//y");
}

TEST(JsonComments, UnterminatedCommentKeepsItsText)
{
    // The start token is blanked but the text after it stays.
    const Json block = parse("/* [1]");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->kind, JsonKind::array);
    const Json line = parse("[2] // [3]");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->array.count, 1u);
}

TEST(JsonDepth, LimitIs2048BelowTheRoot)
{
    EXPECT_NE(parse(nested_arrays(2049, "")), nullptr);
    EXPECT_EQ(parse(nested_arrays(2050, "")), nullptr);
    EXPECT_NE(parse(nested_arrays(2048, "7")), nullptr);
    EXPECT_EQ(parse(nested_arrays(2049, "7")), nullptr);
    EXPECT_NE(parse(nested_objects(2048)), nullptr);
    EXPECT_EQ(parse(nested_objects(2049)), nullptr);
}

TEST(JsonDepth, VeryDeepNestingFailsCleanly)
{
    EXPECT_EQ(parse(nested_arrays(100000, "")), nullptr);
    EXPECT_EQ(parse(std::string(100000, '[')), nullptr);
    EXPECT_EQ(parse(nested_objects(100000)), nullptr);
}

TEST(JsonDepth, DeepTreeIsWalkedBackThroughParents)
{
    const Json root = parse(nested_arrays(2049, ""));
    ASSERT_NE(root, nullptr);
    const JsonValue* node = root.get();
    int depth = 0;
    while (node->array.count == 1) {
        EXPECT_EQ(node->array.items[0]->parent, node);
        node = node->array.items[0];
        ++depth;
    }
    EXPECT_EQ(depth, 2048);
    EXPECT_EQ(root->parent, nullptr);
}

TEST(JsonArray, KeepsOrderAndTrimsStorage)
{
    std::string text = "[";
    for (int i = 0; i < 100; ++i) {
        text += std::to_string(i) + ",";
    }
    const Json root = parse(text + "]");
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->array.count, 100u);
    EXPECT_EQ(root->array.capacity, 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(root->array.items[i]->number, i);
    }
    const Json empty = parse("[]");
    EXPECT_EQ(empty->array.count, 0u);
    EXPECT_EQ(empty->array.capacity, 0u);
}

TEST(JsonObject, GrowsItsIndexAtSevenTenths)
{
    const Json empty = parse("{}");
    EXPECT_EQ(empty->object.table_size, 0u);
    EXPECT_EQ(empty->object.member_capacity, 0u);
    struct Growth {
        int members;
        std::size_t table_size;
        std::size_t capacity;
    };
    for (const Growth& growth : {Growth{1, 16, 11}, Growth{11, 16, 11}, Growth{12, 32, 22},
                                 Growth{23, 64, 44}, Growth{300, 512, 358}}) {
        std::string text = "{";
        for (int i = 0; i < growth.members; ++i) {
            text += "\"key" + std::to_string(i) + "\":" + std::to_string(i) + ",";
        }
        const Json root = parse(text + "}");
        ASSERT_NE(root, nullptr);
        const JsonObject& object = root->object;
        EXPECT_EQ(object.count, static_cast<std::size_t>(growth.members));
        EXPECT_EQ(object.table_size, growth.table_size) << growth.members;
        EXPECT_EQ(object.member_capacity, growth.capacity) << growth.members;
        for (int i = 0; i < growth.members; ++i) {
            const std::string key = "key" + std::to_string(i);
            EXPECT_STREQ(object.member_names[i], key.c_str());
            EXPECT_EQ(object.member_hashes[i], json_key_hash(key));
            EXPECT_EQ(object.table[object.member_cell[i]], static_cast<std::size_t>(i));
            const JsonValue* const member = find_json_member(*root, key);
            ASSERT_NE(member, nullptr) << key;
            EXPECT_EQ(member->number, i);
            EXPECT_EQ(member->parent, root.get());
        }
    }
}

TEST(JsonObject, FindsExactKeysOnly)
{
    // "aA" and "b " share their djb2 hash.
    ASSERT_EQ(json_key_hash("aA"), json_key_hash("b "));
    const Json root = parse(R"({"aA": 1, "b ": 2, "address": 3, "a": 4, "": 5})");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(find_json_member(*root, "aA")->number, 1);
    EXPECT_EQ(find_json_member(*root, "b ")->number, 2);
    EXPECT_EQ(find_json_member(*root, "a")->number, 4);
    EXPECT_EQ(find_json_member(*root, "")->number, 5);
    EXPECT_EQ(find_json_member(*root, "Address"), nullptr);
    EXPECT_EQ(find_json_member(*root, "addres"), nullptr);
    EXPECT_EQ(find_json_member(*root, std::string_view("a\0", 2)), nullptr);
    EXPECT_EQ(parse(R"({"aA": 1, "b ": 2, "aA": 3})"), nullptr);
    const Json array = parse("[1]");
    EXPECT_EQ(find_json_member(*array, "a"), nullptr);
}

TEST(JsonObject, HashIsDjb2)
{
    EXPECT_EQ(json_key_hash(""), 5381u);
    EXPECT_EQ(json_key_hash("a"), 5381u * 33 + 'a');
    EXPECT_EQ(json_key_hash(std::string_view("ab\0cd", 5)), json_key_hash("ab"));
    EXPECT_EQ(json_key_hash("\xFF"), 5381u * 33 + 0xFF);
}

TEST(JsonValue, NullTextGivesNull)
{
    EXPECT_EQ(parse_json_text(nullptr), nullptr);
}

TEST(JsonValue, KindsAndParents)
{
    const Json root = parse(R"({"s": "x", "n": 2, "o": {}, "a": [], "t": true, "f": false, "z": null})");
    ASSERT_NE(root, nullptr);
    const std::pair<const char*, JsonKind> kinds[] = {
        {"s", JsonKind::string}, {"n", JsonKind::number}, {"o", JsonKind::object},
        {"a", JsonKind::array},  {"t", JsonKind::boolean}, {"f", JsonKind::boolean},
        {"z", JsonKind::null}};
    for (const auto& [name, kind] : kinds) {
        const JsonValue* const member = find_json_member(*root, name);
        ASSERT_NE(member, nullptr) << name;
        EXPECT_EQ(member->kind, kind) << name;
        EXPECT_EQ(member->parent, root.get());
    }
    EXPECT_EQ(find_json_member(*root, "t")->boolean, 1);
    EXPECT_EQ(find_json_member(*root, "f")->boolean, 0);
    EXPECT_EQ(static_cast<int>(JsonKind::null), 1);
    EXPECT_EQ(static_cast<int>(JsonKind::boolean), 6);
}

}  // namespace
}  // namespace vlrp11
