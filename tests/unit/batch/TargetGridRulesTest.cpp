// The target grid's own rules: toggling target flags by check box and Space,
// sorting by a column header (direction, stability, the rows the view keeps),
// shortening texts to their column, the DHCP address tip and the web page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch/TargetGrid.h"

namespace qrv {
namespace {

// Rows 0..n-1 with MAC "m<i>", serial "<i>", the given models and names.
TargetGrid MakeGrid(const std::vector<std::u16string>& models, const std::vector<std::u16string>& names = {}) {
    TargetGrid grid;
    for (std::size_t i = 0; i < models.size(); ++i) {
        const std::u16string n(1, static_cast<char16_t>(u'0' + i));
        const AddressBytes ip{10, 0, 0, static_cast<std::uint8_t>(i + 1)};
        EXPECT_TRUE(grid.AddRow(grid.RowCount(), u"m" + n, FormatAddress(ip, 80), models[i], n, u"1.20", ip, 80, -1));
        if (i < names.size()) grid.SetCredentials(static_cast<int>(i), names[i], u"pw");
    }
    return grid;
}

std::vector<int> Targets(const TargetGrid& grid) {
    std::vector<int> flags;
    for (const GridRow& row : grid.Rows()) flags.push_back(row.target);
    return flags;
}

std::u16string Serials(const TargetGrid& grid) {
    std::u16string serials;
    for (const GridRow& row : grid.Rows()) serials += row.serial;
    return serials;
}

TEST(TargetGridFlags, CheckBoxAndSpaceFlipTheRightRows) {
    struct Case {
        const char* what;
        bool space;
        int pressed;
        std::vector<int> selected;
        std::vector<int> before, after;
        bool changed;  // what Space returns
    };
    const std::vector<Case> cases = {
        {"one selected row: the pressed one flips", false, 2, {0}, {1, 1, 1, 1}, {1, 1, 0, 1}, true},
        {"pressed inside three selected, set: all three clear", false, 1, {0, 1, 3}, {0, 1, 1, 1}, {0, 0, 1, 0}, true},
        {"pressed inside three selected, clear: all three set", false, 3, {0, 1, 3}, {1, 1, 0, 0}, {1, 1, 0, 1}, true},
        {"pressed outside the selection: only it flips", false, 2, {0, 1}, {1, 1, 1, 0}, {1, 1, 0, 0}, true},
        {"pressed below the last row: nothing", false, 9, {9}, {1, 0, 1, 0}, {1, 0, 1, 0}, true},
        {"Space on a selected focused row", true, 1, {1, 2}, {0, 1, 0, 1}, {0, 0, 0, 1}, true},
        {"Space on an unselected focused row", true, 0, {1, 2}, {0, 1, 0, 1}, {0, 1, 0, 1}, false},
    };
    for (const Case& c : cases) {
        TargetGrid grid = MakeGrid({u"a", u"b", u"c", u"d"});
        for (int row = 0; row < 4; ++row) grid.SetTarget(row, c.before[row] != 0);
        if (c.space) {
            EXPECT_EQ(grid.PressSpace(c.pressed, c.selected), c.changed) << c.what;
        } else {
            grid.PressCheckBox(c.pressed, c.selected);
        }
        EXPECT_EQ(Targets(grid), c.after) << c.what;
    }
}

TEST(TargetGridSorting, HeaderPressesToggleDirectionAndKeepRowsTogether) {
    // Serials 0..3; two rows share a model so the sort must be stable.
    TargetGrid grid = MakeGrid({u"K7P", u"K7", u"K7N", u"K7"}, {u"bob", u"alice", u"Carl", u"dave"});
    const int modelColumn = static_cast<int>(GridColumn::Model);
    const int nameColumn = static_cast<int>(GridColumn::Name);
    std::vector<int> keep = {0, 3, 7};  // serial 0, serial 3, a position without a row
    const int keyOfSerial0 = grid.Row(0).key;
    ASSERT_NE(keyOfSerial0, grid.Row(1).key);

    struct Press {
        int column;
        bool ascending;
        std::u16string serials;
    };
    const std::vector<Press> presses = {
        {modelColumn, true, u"1320"},   // K7 K7 K7N K7P, equal models in their old order
        {modelColumn, false, u"0213"},  // the same column again turns the order round
        {nameColumn, true, u"2103"},    // another column starts ascending; capitals come first
    };
    for (const Press& press : presses) {
        ASSERT_TRUE(grid.SortByColumn(press.column, keep));
        EXPECT_EQ(grid.SortAscending(), press.ascending) << press.column;
        EXPECT_EQ(Serials(grid), press.serials) << press.column;
        for (int row = 0; row < grid.RowCount(); ++row) EXPECT_EQ(grid.Row(row).id, row);
        EXPECT_EQ(grid.Row(keep[0]).serial, u"0");
        EXPECT_EQ(grid.Row(keep[1]).serial, u"3");
        EXPECT_EQ(keep[2], 7);
    }
    // Keys stay with their rows, so a row is still found after the sorts.
    EXPECT_EQ(grid.FindRow(keyOfSerial0), 2);
    EXPECT_EQ(grid.FindRow(12345), -1);
    std::vector<int> none;
    EXPECT_FALSE(grid.SortByColumn(7, none));
    EXPECT_EQ(Serials(grid), u"2103");
}

TEST(TargetGridSorting, TheCheckBoxColumnOrdersByTargetFlagOnlyWhenTheyDiffer) {
    TargetGrid grid = MakeGrid({u"a", u"b", u"c", u"d"});
    std::vector<int> keep;
    EXPECT_FALSE(grid.SortByColumn(0, keep)) << "every row is a target";
    EXPECT_EQ(Serials(grid), u"0123");
    grid.SetTarget(0, false);
    grid.SetTarget(2, false);
    ASSERT_TRUE(grid.SortByColumn(0, keep));
    EXPECT_FALSE(grid.SortAscending()) << "the refused press still turned the direction";
    EXPECT_EQ(Serials(grid), u"1302") << "descending: targets first";
    ASSERT_TRUE(grid.SortByColumn(0, keep));
    EXPECT_EQ(Serials(grid), u"0213") << "ascending: non-targets first, each group in its order";
    EXPECT_FALSE(TargetGrid().SortByColumn(0, keep)) << "an empty grid";
}

TEST(TargetGridTexts, ShortenToFitKeepsTheLongestPrefixThatFitsWithDots) {
    const TextWidth sevenEach = [](std::u16string_view text) { return 7 * static_cast<int>(text.size()); };
    struct Case {
        std::u16string text;
        int columnWidth;
        std::u16string shown;
    };
    const std::vector<Case> cases = {
        {u"", 0, u""},
        {u"QRV-K7", 6 * 7 + kTextMargin, u"QRV-K7"},                  // fits exactly
        {u"QRV-K7", 6 * 7 + kTextMargin - 1, u"QR..."},               // "QRV..." would need 54
        {u"Camera-100200", 8 * 7 + kTextMargin, u"Camer..."},
        {u"QRV-K7", 10, u"Q..."},                                     // nothing fits: one character stays
        {std::u16string(300, u'x'), 2000, std::u16string(259, u'x') + u"..."},  // the buffer's limit
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShortenToFit(c.text, c.columnWidth, kTextMargin, sevenEach), c.shown) << c.columnWidth;
    }
}

TEST(TargetGridTexts, AddressTipAndWebPage) {
    GridRow row;
    row.ip = {10, 0, 0, 7};
    row.port = 1080;
    row.addressText = u"DHCP";
    EXPECT_EQ(AddressTip(row), u"10.0.0.7:1080");
    EXPECT_EQ(GridColumnText(row, GridColumn::Address), u"DHCP");
    row.port = 80;
    EXPECT_EQ(AddressTip(row), u"10.0.0.7");
    row.addressText = u"10.0.0.7";
    EXPECT_EQ(AddressTip(row), u"") << "the cell already shows the address";
    EXPECT_EQ(WebPageUrl(row.ip, 80), u"http://10.0.0.7/");
    EXPECT_EQ(WebPageUrl(row.ip, 8080), u"http://10.0.0.7:8080/");
}

}  // namespace
}  // namespace qrv
