// What the user reads: the numbered texts as the windows show them, and the
// box a missing number brings up.

#include "resources/MessageTable.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/HeadlessOwner.h"
#include "resources/ResourcePack.h"

namespace qrv {
namespace {

using Items = std::map<std::pair<ResourceType, int>, std::vector<std::byte>>;

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

const MessageBox kLookupFailure{u"Not found the upgrade file. ", u"Error", BoxIcon::None, BoxButtons::Ok};

// Every number the windows and the engine look up.
const std::set<int> kShownItems{
    120, 134, 138, 139, 140, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158, 159, 162, 165, 168, 170, 171, 178,
    179, 180, 194, 195, 200, 203, 206, 209, 212, 218, 219, 222, 225, 234, 235, 236, 237, 238, 248, 253, 257, 258,
    259, 260, 261, 262, 263, 264, 265, 266, 267, 268, 305, 306, 307, 308, 310, 315, 316, 317, 318, 319, 320, 321,
    322, 323, 354, 355, 356, 357, 358, 359, 360, 361, 362, 363, 364, 365, 367, 369, 370, 371, 376};

TEST(MessageTableLookup, SkipsTheByteOrderMarkAndEndsAtTheFirstNul) {
    // "Ok" with a stray NUL, an extra text and an odd byte after the terminator.
    const ResourcePack pack(Items{
        {{ResourceType::Bin, 500}, Bytes({0xFF, 0xFE, 'O', 0, 'k', 0, 0, 0, 0, 0, 'X', 0, 0x41})},
        {{ResourceType::Bin, 501}, Bytes({0xFF, 0xFE, 0x41, 0x26, 'A', 0, 0, 0})},  // U+2641 is kept as it is
        {{ResourceType::Bin, 502}, Bytes({0xFF, 0xFE, 'N', 0, 'o', 0, 0x2E})},       // no terminator, odd length
        {{ResourceType::Bin, 503}, Bytes({0xFF, 0xFE})},                             // only the mark
    });
    const MessageTable table(pack);
    HeadlessOwner owner;
    EXPECT_EQ(table.Lookup(500, &owner), u"Ok");
    EXPECT_EQ(table.Lookup(501, &owner), std::u16string(u"\u2641A"));
    EXPECT_EQ(table.Lookup(502, &owner), u"No");
    EXPECT_EQ(table.Lookup(503, &owner), u"");
    EXPECT_TRUE(owner.Boxes().empty());
}

TEST(MessageTableLookup, ProgramItemsStoredWithBytesAfterTheTerminatorGiveOnlyTheText) {
    const auto cancel = EmbeddedResources().Find(ResourceType::Bin, 165);
    const auto invalid = EmbeddedResources().Find(ResourceType::Bin, 305);
    ASSERT_TRUE(cancel && invalid);
    EXPECT_GT(cancel->size(), 2 + 2 * std::size_t{7});    // mark + "Cancel" + NUL, then more
    EXPECT_EQ(invalid->size() % 2, 1u);                     // a stray odd byte at the end
    EXPECT_EQ(ProgramMessages().Lookup(165, nullptr), u"Cancel");
    EXPECT_EQ(ProgramMessages().Lookup(305, nullptr), u"Invalid format.");
}

TEST(MessageTableLookup, MissingNumberShowsTheFailureBoxOncePerLookupAndYieldsNothing) {
    HeadlessOwner owner;
    EXPECT_EQ(ProgramMessages().Lookup(121, &owner), std::nullopt);
    ASSERT_EQ(owner.Boxes().size(), 1u);
    EXPECT_EQ(owner.Boxes()[0], kLookupFailure);

    EXPECT_EQ(ProgramMessages().Text(121, &owner), u"");
    EXPECT_EQ(ProgramMessages().Lookup(143 - 1, &owner), std::nullopt);
    EXPECT_EQ(owner.Boxes().size(), 3u);

    // Without an owner nothing is shown and nothing breaks.
    EXPECT_EQ(ProgramMessages().Lookup(121, nullptr), std::nullopt);
}

TEST(MessageTableLookup, FailureBoxKeepsItsWordsWhenTheStringTableLacksThem) {
    const ResourcePack empty;
    HeadlessOwner owner;
    EXPECT_EQ(MessageTable(empty).Lookup(139, &owner), std::nullopt);
    ASSERT_EQ(owner.Boxes().size(), 1u);
    EXPECT_EQ(owner.Boxes()[0], kLookupFailure);
}

TEST(MessageTableLookup, ResultIsAnOwnedCopyThatOutlivesLaterLookups) {
    const auto first = ProgramMessages().Lookup(203, nullptr);
    const auto second = ProgramMessages().Lookup(139, nullptr);
    EXPECT_EQ(first, u"Information");
    EXPECT_EQ(second, u"Error");
}

TEST(ProgramMessages, HoldsEightySixTextItemsIncludingEveryShownNumber) {
    int texts = 0;
    for (const auto& [key, bytes] : EmbeddedResources().Items()) {
        const bool marked = bytes.size() >= 2 && bytes[0] == std::byte{0xFF} && bytes[1] == std::byte{0xFE};
        if (key.first == ResourceType::Bin && marked) ++texts;
    }
    EXPECT_EQ(texts, 86);
    HeadlessOwner owner;
    for (int number : kShownItems) {
        const auto text = ProgramMessages().Lookup(number, &owner);
        ASSERT_TRUE(text) << number;
        EXPECT_FALSE(text->empty()) << number;
    }
    EXPECT_TRUE(owner.Boxes().empty());
}

TEST(ProgramMessages, TextsWithQuotesLineBreaksAndPlaceholdersAreExact) {
    const auto& m = ProgramMessages();
    EXPECT_EQ(m.Text(234, nullptr), u"Target camera version is \"");
    EXPECT_EQ(m.Text(235, nullptr), u"\".");
    EXPECT_EQ(m.Text(307, nullptr), u"Invalid address or port number.\r\n%s");
    EXPECT_EQ(m.Text(225, nullptr), u"Network error occurred.\r\nPlease retry the upgrade without shutting down the power.");
    EXPECT_EQ(m.Text(222, nullptr), u"Firmware program was successfully updated to the camera.\r\n\r\n\r\n");
    EXPECT_EQ(m.Text(134, nullptr),
              u"Operating Precautions\r\n\r\n\r\nYou are strongly recommended that the target camera should be in the "
              u"same segment. \r\n\r\nThis program cannot upgrade ver. 1.01 directly.  If the current version is ver. "
              u"1.01, please upgrade it to ver. 1.03 before executing this program. ");
    EXPECT_EQ(m.Text(168, nullptr),
              u"Automatic mode detects any appropriate model in the same segment of the network that this PC is "
              u"connected to and upgrade them automatically.\r\n\r\nManual mode is used to upgrade cameras one by one.");
    EXPECT_EQ(m.Text(138, nullptr), u"Cannot find the upgrade file.");
    EXPECT_EQ(m.Text(159, nullptr), u"&Next >");
    EXPECT_EQ(m.Text(162, nullptr), u"< &Back");
    EXPECT_EQ(m.Text(319, nullptr), u"Missing target.(Network error) Searching now.");
    EXPECT_EQ(m.Text(315, nullptr), u"Completed successfully.\r\n");
}

TEST(ProgramMessages, StatusWordsAndErrorCodes) {
    const auto& m = ProgramMessages();
    const std::map<int, std::u16string> expected{
        {376, u"Prepare"}, {258, u"Standby"}, {363, u"Saving config file"}, {259, u"Uploading"},
        {260, u"Overwriting"}, {262, u"Rebooting"}, {261, u"Searching"}, {364, u"Loading config file"},
        {365, u"Reconfiguring"}, {263, u"Completed"}, {264, u"Error1"}, {265, u"Error2"}, {257, u"Error3"},
        {354, u"Error4"}, {358, u"Error5"}, {367, u"Error6"}, {369, u"Error7"}};
    for (const auto& [number, text] : expected) EXPECT_EQ(m.Text(number, nullptr), text) << number;
}

TEST(ProgramMessages, ItemsKeptUnderTwoNumbersReadTheSame) {
    const auto& m = ProgramMessages();
    const std::pair<int, int> twins[] = {{305, 306}, {259, 323}, {260, 320}, {262, 322}, {263, 321},
                                         {357, 364}, {359, 365}, {360, 363}, {361, 376}, {268, 194}};
    for (const auto& [a, b] : twins) EXPECT_EQ(m.Text(a, nullptr), m.Text(b, nullptr)) << a << " and " << b;
}

TEST(ProgramMessages, AgreementSectionsEachEndWithTheirOwnLineBreak) {
    const auto& m = ProgramMessages();
    std::u16string agreement;
    for (int number : {140, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158}) {
        const auto section = m.Text(number, nullptr);
        ASSERT_GE(section.size(), 2u) << number;
        EXPECT_EQ(section.substr(section.size() - 2), u"\r\n") << number;
        agreement += section;
    }
    EXPECT_NE(agreement.find(u"\"Agree\""), std::u16string::npos);  // names the button that accepts it
    EXPECT_EQ(m.Text(362, nullptr), m.Text(150, nullptr));
}

TEST(StringTable, HoldsTheStartFailureTheCarriedVersionAndTheLookupFailure) {
    EXPECT_EQ(LoadString(103), u"Windows sockets initialization failed.");
    EXPECT_EQ(LoadString(108), u"1.30");
    EXPECT_EQ(LoadString(123), u"Error");
    EXPECT_EQ(LoadString(124), u"Not found the upgrade file. ");
    EXPECT_EQ(LoadString(104), std::nullopt);
    EXPECT_EQ(LoadString(139), std::nullopt);  // a message number is not a string number
}

}  // namespace
}  // namespace qrv
