// The camera-list text a site keeps for cameras the broadcast does not reach:
// the forms it accepts, the boxes a user sees for a refused list, the 256
// limits, and that a refused or unreadable list keeps the last good entries.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "batch/CameraListImporter.h"
#include "platform/HeadlessOwner.h"
#include "tests/support/TestFolder.h"

namespace qrv {
namespace {

using namespace std::string_literals;

std::vector<std::string> Entries(const CameraListImporter& importer) {
    std::vector<std::string> texts;
    for (int i = 0; importer.EntryAt(i); ++i) texts.push_back(importer.EntryAt(i)->Text8());
    EXPECT_EQ(static_cast<int>(texts.size()), importer.EntryCount());
    return texts;
}

std::string Lines(int count, const std::string& tail = "") {
    std::string text;
    for (int i = 0; i < count; ++i) text += "10.0." + std::to_string(i / 200) + "." + std::to_string(i % 200) + "\r\n";
    return text + tail;
}

TEST(CameraListImport, AcceptedFormsGiveTheirAddressesAndPortsWithoutABox) {
    const struct {
        std::string text;
        std::vector<std::string> entries;
    } cases[] = {
        {"10.0.0.1", {"10.0.0.1"}},
        {"10.0.0.1:1080\r\n10.0.0.2\r\n", {"10.0.0.1:1080", "10.0.0.2"}},
        {"10.0.0.1,1024\n10.0.0.2,\n", {"10.0.0.1:1024", "10.0.0.2"}},
        {"10.0.0.1\t65535\n10.0.0.2\t\t8080\n10.0.0.3\t", {"10.0.0.1:65535", "10.0.0.2:8080", "10.0.0.3"}},
        {"10.0.0.1:80\n10.0.0.2:", {"10.0.0.1", "10.0.0.2"}},
        {"10.0.0.1:123456", {"10.0.0.1:12345"}},
        {"10.0.0.1:8080.5\n10.0.0.2:1080:99", {"10.0.0.1:8080", "10.0.0.2:1080"}},
        {"010.008.000.09:01080", {"10.8.0.9:1080"}},
        {"\n\r\n10.0.0.1\n\n\n10.0.0.2\n\r\n", {"10.0.0.1", "10.0.0.2"}},
        {"10.0.0.1\r10.0.0.2\r\r10.0.0.3", {"10.0.0.1", "10.0.0.2", "10.0.0.3"}},
        {"10.0.0.1\n10.0.0.2\0not a list at all"s, {"10.0.0.1", "10.0.0.2"}},
        {"\0" "10.0.0.1"s, {}},
        {"10.0.0." + std::string(249, '0') + "7\n", {"10.0.0.0"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        HeadlessOwner owner;
        CameraListImporter importer(owner);
        EXPECT_TRUE(importer.LoadFromBytes(c.text)) << c.text;
        EXPECT_EQ(Entries(importer), c.entries) << c.text;
        EXPECT_TRUE(owner.Boxes().empty()) << c.text;
        EXPECT_EQ(importer.ErrorText(), "");
    }
}

TEST(CameraListImport, RefusedListsShowTheirMessageAndTheFailingLine) {
    const std::u16string badLine = u"Invalid address or port number.\r\n";
    const struct {
        std::string text;
        std::u16string message;
        BoxIcon icon;
        std::string detail;
    } cases[] = {
        {"10.0.0.1:1023", badLine + u"Line001:>10.0.0.1:1023", BoxIcon::Question, "Line001:>10.0.0.1:1023"},
        {"10.0.0.1:80\n10.0.0.2:65536\n", badLine + u"Line002:>10.0.0.2:65536", BoxIcon::Question,
         "Line002:>10.0.0.2:65536"},
        {"10.0.0.1,0", badLine + u"Line001:>10.0.0.1,0", BoxIcon::Question, "Line001:>10.0.0.1,0"},
        {"10.0.0.1\r\n10.0.0.2\r\n\r\n10.0.0.300\r\n", badLine + u"Line003:>10.0.0.300", BoxIcon::Question,
         "Line003:>10.0.0.300"},
        {"10.0.256.1", badLine + u"Line001:>10.0.256.1", BoxIcon::Question, "Line001:>10.0.256.1"},
        {"10.0.0.4294967306", badLine + u"Line001:>10.0.0.4294967306", BoxIcon::Question,
         "Line001:>10.0.0.4294967306"},
        {"10.0.0\n", badLine + u"Line001:>10.0.0", BoxIcon::Question, "Line001:>10.0.0"},
        {"10.0.0.1\n:10.0.0.2", badLine + u"Line002:>:10.0.0.2", BoxIcon::Question,
         "Line002:>:10.0.0.2"},
        {"1..2.3", badLine + u"Line001:>1..2.3", BoxIcon::Question, "Line001:>1..2.3"},
        {"\t10.0.0.1", badLine + u"Line001:>\t10.0.0.1", BoxIcon::Question, "Line001:>\t10.0.0.1"},
        {"10.0.0.1.5", badLine + u"Line001:>10.0.0.1.5", BoxIcon::Question, "Line001:>10.0.0.1.5"},
        {"10.0.0.1 \n", u"Invalid format.", BoxIcon::Information, ""},
        {"10.0.0.1\n10.0.0.x\n", u"Invalid format.", BoxIcon::Information, ""},
        {std::string(300, '\n') + "10.0.0.1;", u"Invalid format.", BoxIcon::Information, ""},
        {"10.0.0.1,1080\n10.0.0.2:1080\n", u"Invalid format.", BoxIcon::Information, ""},
        {"10.0.0.1\t1080\n10.0.0.2,\n", u"Invalid format.", BoxIcon::Information, ""},
    };
    for (const auto& c : cases) {
        HeadlessOwner owner;
        CameraListImporter importer(owner);
        EXPECT_FALSE(importer.LoadFromBytes(c.text)) << c.text;
        EXPECT_EQ(owner.Boxes(), std::vector<MessageBox>({{c.message, u"Information", c.icon, BoxButtons::Ok}}))
            << c.text;
        EXPECT_EQ(importer.ErrorText(), c.detail) << c.text;
        EXPECT_EQ(importer.EntryCount(), 0) << c.text;
    }
}

TEST(CameraListImport, AtMostTheFirst256CamerasAreReadAndTheRestIsNotExamined) {
    const struct {
        std::string text;
        int entries;
    } cases[] = {
        {Lines(300), 256},
        {Lines(256, "not examined"), 256},
        {"\n\n" + Lines(255, "\n\n10.0.9.9\nnot examined"), 256},
        {Lines(255), 255},
    };
    for (const auto& c : cases) {
        HeadlessOwner owner;
        CameraListImporter importer(owner);
        EXPECT_TRUE(importer.LoadFromBytes(c.text));
        EXPECT_EQ(importer.EntryCount(), c.entries);
        EXPECT_EQ(importer.EntryAt(0)->Text8(), "10.0.0.0");
        EXPECT_FALSE(importer.EntryAt(c.entries));
        EXPECT_TRUE(owner.Boxes().empty());
    }
    HeadlessOwner owner;
    CameraListImporter importer(owner);
    ASSERT_TRUE(importer.LoadFromBytes("\n\n" + Lines(255, "\n\n10.0.9.9\n")));
    EXPECT_EQ(importer.EntryAt(255)->Text8(), "10.0.9.9");
}

TEST(CameraListImport, ARefusedOrUnreadableListKeepsTheEntriesOfTheLastGoodOne) {
    const std::filesystem::path folder = test::FreshTestFolder("qrv-list");
    std::ofstream(folder / "site.txt", std::ios::binary) << "192.168.0.10:1080\r\n\r\n192.168.0.11\r\n";
    std::ofstream(folder / "bad.txt", std::ios::binary) << "192.168.0.12\r\n192.168.0.13:1023\r\n";
    HeadlessOwner owner;
    CameraListImporter importer(owner);
    ASSERT_TRUE(importer.LoadFromFile((folder / "site.txt").string()));
    const std::vector<std::string> good = {"192.168.0.10:1080", "192.168.0.11"};
    EXPECT_EQ(Entries(importer), good);

    EXPECT_FALSE(importer.LoadFromFile((folder / "missing.txt").string()));
    EXPECT_FALSE(importer.LoadFromFile(folder.string()));
    EXPECT_TRUE(owner.Boxes().empty()) << "an unreadable file shows nothing";
    EXPECT_EQ(Entries(importer), good);

    for (const std::string bad : {"10.0.0.1\n10.0.0.2 ", "10.0.0.1,1\n10.0.0.2:1", "10.0.0.1\n10.0.0.2:0"}) {
        EXPECT_FALSE(importer.LoadFromBytes(bad));
        EXPECT_EQ(Entries(importer), good) << bad;
    }
    EXPECT_FALSE(importer.LoadFromFile((folder / "bad.txt").string()));
    EXPECT_EQ(importer.ErrorText(), "Line002:>192.168.0.13:1023");
    EXPECT_EQ(Entries(importer), good);
    EXPECT_EQ(owner.Boxes().size(), 4u);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qrv
