// The packer's reading of the text sources: a mistake in messages.txt must
// stop the build with the line, never pack a wrong text.

#include "resources/tools/PackSource.h"

#include <gtest/gtest.h>

namespace qrv::pack {
namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

TEST(PackSourceParse, ReadsNumbersTextsEscapesAndTails) {
    const auto result = ParseSource(
        "# comment\r\n"
        "\n"
        "234 \"Target camera version is \\\"\"\r\n"
        "  307   \"Invalid address.\\r\\n%s\"\n"
        "165 \"Cancel\" tail 00 00\n"
        "9 \"tab\\there \\\\ back\"");
    ASSERT_EQ(result.error, "");
    ASSERT_EQ(result.items.size(), 4u);
    EXPECT_EQ(result.items[0].number, 234);
    EXPECT_EQ(result.items[0].text, "Target camera version is \"");
    EXPECT_EQ(result.items[1].text, "Invalid address.\r\n%s");
    EXPECT_EQ(result.items[2].tail, Bytes({0, 0}));
    EXPECT_EQ(result.items[2].line, 5);
    EXPECT_EQ(result.items[3].text, "tab\there \\ back");
}

TEST(PackSourceParse, MistakesNameTheirLineAndPackNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 \"a\"\n2 \"unclosed\n", "line 2: text not closed by a double quote"},
        {"\"no number\"", "line 1: expected an item number from 0 to 65535"},
        {"70000 \"too big\"", "line 1: expected an item number from 0 to 65535"},
        {"3 \"bad \\q escape\"", "line 1: unknown escape \\q"},
        {"3 \"x\" extra", "line 1: only \"tail\" may follow the text"},
        {"3 \"x\" tail 0G", "line 1: tail bytes are two hex digits each"},
        {"3 \"x\" tail", "line 1: \"tail\" needs at least one byte"},
        {"3 \"x\"\n3 \"y\"", "line 2: item 3 already given on line 1"},
    };
    for (const auto& [source, error] : cases) {
        const auto result = ParseSource(source);
        EXPECT_EQ(result.error, error) << source;
        EXPECT_TRUE(result.items.empty()) << source;
    }
}

TEST(PackSourceEncode, MessagesStringsAndDataHaveTheirStoredForms) {
    SourceItem item{7, "O\xC3\xA9", Bytes({0x41}), 1};  // "Oé" in UTF-8, stray byte after the terminator
    EXPECT_EQ(EncodeMessage(item), Bytes({0xFF, 0xFE, 'O', 0, 0xE9, 0, 0, 0, 0x41}));
    EXPECT_EQ(EncodeString(item), Bytes({'O', 0, 0xE9, 0, 0, 0, 0x41}));
    item.text = "g3\r\n ";
    item.tail.clear();
    EXPECT_EQ(EncodeData(item), Bytes({'g', '3', '\r', '\n', ' ', 0}));
}

}  // namespace
}  // namespace qrv::pack
