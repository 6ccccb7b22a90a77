#include "device/config_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/support/scoped_environment.h"
#include "support/temp_dir.h"

namespace vlrp11 {
namespace {

using Entries = std::vector<std::pair<std::string, std::uint32_t>>;

Entries entries_of(const std::vector<NetworkHsmEntry>& list)
{
    Entries entries;
    for (const NetworkHsmEntry& entry : list) {
        entries.emplace_back(entry.address, entry.partition);
    }
    return entries;
}

Entries read_text(const std::string& text)
{
    return entries_of(read_network_hsm_text(text.c_str()));
}

constexpr const char* EXAMPLE = R"(// network HSMs
[
  { "address": "10.0.0.5", "partition": 1 },
  { "address": "10.0.0.5", "partition": 2 },   /* second partition */
  { "address": "10.0.0.6", "partition": 1 },
]
)";

TEST(NetworkHsmText, ReadsTheExample)
{
    EXPECT_EQ(read_text(EXAMPLE), (Entries{{"10.0.0.5", 1}, {"10.0.0.5", 2}, {"10.0.0.6", 1}}));
}

struct ListCase {
    const char* name;
    const char* text;
    Entries expected;
};

class NetworkHsmList : public ::testing::TestWithParam<ListCase> {};

TEST_P(NetworkHsmList, KeepsWellFormedEntries)
{
    EXPECT_EQ(read_text(GetParam().text), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, NetworkHsmList,
    ::testing::Values(
        ListCase{"empty array", "[]", {}},
        ListCase{"only comments", "// nothing\n/* at all */", {}},
        ListCase{"invalid JSON", R"([{"address": "a", "partition": 1}, oops])", {}},
        ListCase{"root object", R"({"address": "a", "partition": 1})", {}},
        ListCase{"root string", R"("a")", {}},
        ListCase{"duplicate key anywhere",
                 R"([{"address": "a", "partition": 1}, {"x": {"y": 1, "y": 2}}])", {}},
        ListCase{"fraction truncated", R"([{"address": "a", "partition": 1.9}])", {{"a", 1}}},
        ListCase{"negative truncated toward zero", R"([{"address": "a", "partition": -1.5}])",
                 {{"a", 0xFFFFFFFFu}}},
        ListCase{"low 32 bits", R"([{"address": "a", "partition": 4294967298}])", {{"a", 2}}},
        ListCase{"negative low 32 bits", R"([{"address": "a", "partition": -4294967296}])",
                 {{"a", 0}}},
        ListCase{"huge number", R"([{"address": "a", "partition": 1e300}])", {{"a", 0}}},
        ListCase{"negative zero", R"([{"address": "a", "partition": -0}])", {{"a", 0}}},
        ListCase{"address as number",
                 R"([{"address": 10, "partition": 1}, {"address": "b", "partition": 2}])",
                 {{"b", 2}}},
        ListCase{"partition as string",
                 R"([{"address": "a", "partition": "1"}, {"address": "b", "partition": 2}])",
                 {{"b", 2}}},
        ListCase{"missing members",
                 R"([{"address": "a"}, {"partition": 1}, {}, {"Address": "c", "partition": 3}])",
                 {}},
        ListCase{"elements that are not objects",
                 R"([1, "a", null, [{"address": "x", "partition": 1}], {"address": "b", "partition": 2}])",
                 {{"b", 2}}},
        ListCase{"extra members ignored",
                 R"([{"port": 1, "address": "a", "partition": 5, "more": [1, 2]}])", {{"a", 5}}},
        ListCase{"same partition twice",
                 R"([{"address": "a", "partition": 1}, {"address": "a", "partition": 1}])",
                 {{"a", 1}, {"a", 1}}},
        ListCase{"text after the root array",
                 R"([{"address": "a", "partition": 1}] {"address": "b", "partition": 2} ]]x)",
                 {{"a", 1}}},
        ListCase{"escapes in the address", R"([{"address": "h\u00e9\/x", "partition": 1}])",
                 {{"h\xC3\xA9/x", 1}}},
        ListCase{"NUL inside the address", R"([{"address": "a\u0000b", "partition": 1}])",
                 {{std::string("a\0b", 3), 1}}},
        ListCase{"carriage returns", "[\r\n{\"address\": \"a\",\r\n\"partition\": 1}\r\n]\r\n",
                 {{"a", 1}}}));

// A file written byte for byte in a directory of its own, removed when the test ends.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) : path_((dir_.path() / "config.json").string())
    {
        std::FILE* const file = std::fopen(path_.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file != nullptr) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
    }
    const char* path() const { return path_.c_str(); }
    // A name in the same directory that no file has.
    std::string missing() const { return (dir_.path() / "missing.json").string(); }

private:
    testing::TempDir dir_;
    std::string path_;
};

struct FreeText {
    void operator()(char* text) const { std::free(text); }
};
using Text = std::unique_ptr<char, FreeText>;

TEST(LoadTextFile, ReadsWholeFile)
{
    const TempFile file(EXAMPLE);
    const Text text(load_text_file(file.path()));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), EXAMPLE);
}

TEST(LoadTextFile, NulEndsTheText)
{
    const TempFile file(std::string("[1]\0[2]", 7));
    const Text text(load_text_file(file.path()));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), "[1]");
}

TEST(LoadTextFile, TextModeReadEndsWhereTheReadEnded)
{
    // On Windows the CR LF pairs are read as LF, so fewer bytes come back than the file holds.
    const TempFile file("[\r\n1\r\n]");
    const Text text(load_text_file(file.path()));
    ASSERT_NE(text, nullptr);
    const std::string read(text.get());
    EXPECT_TRUE(read == "[\r\n1\r\n]" || read == "[\n1\n]") << read;
}

TEST(LoadTextFile, UnreadableFilesGiveNull)
{
    const TempFile empty("");
    EXPECT_EQ(load_text_file(empty.path()), nullptr);
    EXPECT_EQ(load_text_file(empty.missing().c_str()), nullptr);
    EXPECT_EQ(load_text_file(""), nullptr);
    EXPECT_EQ(load_text_file(std::filesystem::temp_directory_path().string().c_str()), nullptr);
}

TEST(NetworkHsmConfig, ReadsTheFileNamedByTheVariable)
{
    const TempFile file(EXAMPLE);
    const test::ScopedEnvironment variable(NETWORK_HSM_CONFIG_VARIABLE, file.path());
    EXPECT_EQ(entries_of(read_network_hsm_list()),
              (Entries{{"10.0.0.5", 1}, {"10.0.0.5", 2}, {"10.0.0.6", 1}}));
}

TEST(NetworkHsmConfig, EditsTakeEffectOnTheNextRead)
{
    const test::ScopedEnvironment variable(NETWORK_HSM_CONFIG_VARIABLE, nullptr);
    EXPECT_TRUE(read_network_hsm_list().empty());
    {
        const TempFile file(R"([{"address": "a", "partition": 1}])");
        const test::ScopedEnvironment set(NETWORK_HSM_CONFIG_VARIABLE, file.path());
        EXPECT_EQ(entries_of(read_network_hsm_list()), (Entries{{"a", 1}}));
    }
    {
        const TempFile file(R"([{"address": "b", "partition": 2}])");
        const test::ScopedEnvironment set(NETWORK_HSM_CONFIG_VARIABLE, file.path());
        EXPECT_EQ(entries_of(read_network_hsm_list()), (Entries{{"b", 2}}));
    }
}

TEST(NetworkHsmConfig, FailuresGiveAnEmptyList)
{
    const TempFile empty("");
    const std::string missing = empty.missing();
    const test::ScopedEnvironment variable(NETWORK_HSM_CONFIG_VARIABLE, missing.c_str());
    EXPECT_TRUE(read_network_hsm_list().empty());
    const test::ScopedEnvironment empty_file(NETWORK_HSM_CONFIG_VARIABLE, empty.path());
    EXPECT_TRUE(read_network_hsm_list().empty());
    const TempFile invalid("[{\"address\": \"a\", \"partition\": 1}");
    const test::ScopedEnvironment invalid_file(NETWORK_HSM_CONFIG_VARIABLE, invalid.path());
    EXPECT_TRUE(read_network_hsm_list().empty());
}

}  // namespace
}  // namespace vlrp11
