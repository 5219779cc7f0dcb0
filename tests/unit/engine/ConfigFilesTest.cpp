// Where saved configurations go on disk and how the folders and names are made.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/TestFolder.h"
#include "engine/ConfigBackupStore.h"

namespace qrv {
namespace {

namespace fs = std::filesystem;

struct ConfigFiles : ::testing::Test {
    fs::path root;

    void SetUp() override {
        root = test::FreshTestFolder("qrv-config");
        ::setenv("ProgramFiles", root.c_str(), 1);
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override { fs::remove_all(root); }

    static WallTime Stamp() { return std::chrono::system_clock::from_time_t(1718022345); }  // 2024-06-10 12:25:45 UTC
    static int Mode(const fs::path& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 0777) : -1;
    }
};

TEST_F(ConfigFiles, PathIsRootVendorFolderStampAndLowerCaseModelWithSerial) {
    ConfigBackupStore store("127.0.0.2", "/system/qrv-k7.cfg", "YWRtaW46YWRtaW4=", Stamp(), "QRV-K7", u"A1234", true);
    EXPECT_EQ(store.LocalPath(), root.string() + "/VEXA/QRV FirmwareUpgrade/Configurations/2406101225/qrv-k7.A1234.cfg");
    EXPECT_EQ(store.Url(), "HTTP://127.0.0.2/system/qrv-k7.cfg");
}

TEST_F(ConfigFiles, RootFallsBackToXdgDataHomeThenHome) {
    ::unsetenv("ProgramFiles");
    ::setenv("XDG_DATA_HOME", "/data/home/", 1);
    EXPECT_EQ(ConfigurationRoot(), "/data/home");
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", "/home/inst", 1);
    EXPECT_EQ(ConfigurationRoot(), "/home/inst/.local/share");
    ::setenv("ProgramFiles", "/opt/pf", 1);
    EXPECT_EQ(ConfigurationRoot(), "/opt/pf");
}

TEST_F(ConfigFiles, CameraSerialCannotLeaveTheFolder) {
    ConfigBackupStore store("127.0.0.2", "/system/qrv-k7.cfg", "x", Stamp(), "QRV-K7", u"../../../etc/passwd", true);
    const fs::path path(store.LocalPath());
    EXPECT_EQ(path.parent_path().string(), root.string() + "/VEXA/QRV FirmwareUpgrade/Configurations/2406101225");
    EXPECT_EQ(path.filename().string().find('/'), std::string::npos);
    EXPECT_EQ(path.filename().string(), "qrv-k7._._.__.__etc_passwd.cfg");
    EXPECT_EQ(path.filename().string().find(".."), std::string::npos);
    EXPECT_EQ(SanitizeFileNamePart("a b/c\\d..e\xe9."), "a_b_c_d._e__");
    EXPECT_EQ(SanitizeFileNamePart(".."), "__");
    EXPECT_EQ(SanitizeFileNamePart("SN-01_x.y"), "SN-01_x.y");
}

TEST_F(ConfigFiles, EnsureFoldersMakesEveryMissingLevelPrivate) {
    const std::string file = root.string() + "/a/b/c/file.cfg";
    ASSERT_TRUE(EnsureFolders(file));
    EXPECT_TRUE(fs::is_directory(root / "a" / "b" / "c"));
    EXPECT_FALSE(fs::exists(file)) << "only folders are made";
    EXPECT_EQ(Mode(root / "a"), 0700);
    EXPECT_EQ(Mode(root / "a" / "b" / "c"), 0700);
    EXPECT_TRUE(EnsureFolders(file)) << "existing folders are fine";
}

TEST_F(ConfigFiles, EnsureFoldersRefusesTwentySeparators) {
    std::string path;
    for (int i = 0; i < 19; ++i) path += "/d";
    EXPECT_FALSE(EnsureFolders(path + "/f")) << "20 separators";
    // 19 separators below the temporary root are too many as well, so build the
    // longest accepted path relative to the root's own separators.
    std::string accepted = root.string();
    while (std::count(accepted.begin(), accepted.end(), '/') < 18) accepted += "/d";
    EXPECT_TRUE(EnsureFolders(accepted + "/f")) << "19 separators";
    EXPECT_FALSE(EnsureFolders(accepted + "/e/f"));
}

// A job saving its configuration and the batch report may make the same
// folders at one moment: whoever loses the race finds the folder there.
TEST_F(ConfigFiles, FoldersMadeByTwoThreadsAtOnceFailNeither) {
    for (int round = 0; round < 40; ++round) {
        const std::string base = root.string() + "/r" + std::to_string(round) + "/VEXA/QRV FirmwareUpgrade/";
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                if (!EnsureFolders(base + (t % 2 ? "Reports/r.json" : "Configurations/2406101225/f.cfg"))) ++failures;
            });
        }
        for (std::thread& thread : threads) thread.join();
        ASSERT_EQ(failures.load(), 0) << "round " << round;
    }
}

TEST_F(ConfigFiles, FolderThatCannotBeMadeFails) {
    std::ofstream(root / "plain") << "x";
    EXPECT_FALSE(EnsureFolders(root.string() + "/plain/sub/f.cfg"));
}

TEST_F(ConfigFiles, RemoveIfWantedFollowsTheDeleteFlag) {
    for (bool wanted : {true, false}) {
        ConfigBackupStore store("127.0.0.2", "/system/qrv-k7.cfg", "x", Stamp(), "QRV-K7", wanted ? u"del" : u"keep",
                                wanted);
        ASSERT_TRUE(EnsureFolders(store.LocalPath()));
        std::ofstream(store.LocalPath()) << "config";
        store.RemoveIfWanted();
        EXPECT_EQ(fs::exists(store.LocalPath()), !wanted);
    }
}

TEST(HtmlMark, FoundInsideOnePieceAndAcrossTwoPieces) {
    HtmlMarkFinder inside;
    EXPECT_FALSE(inside.Feed("config=1\n"));
    EXPECT_TRUE(inside.Feed("x<HTML><BODY>"));

    for (size_t cut = 1; cut < HtmlMarkFinder::kMark.size(); ++cut) {
        HtmlMarkFinder straddle;
        const std::string text = "abc<HTML>def";
        EXPECT_FALSE(straddle.Feed(text.substr(0, 3 + cut)));
        EXPECT_TRUE(straddle.Feed(text.substr(3 + cut))) << "cut after " << cut;
    }

    HtmlMarkFinder bytes;  // one byte at a time
    bool seen = false;
    for (char c : std::string("..<HTML>")) seen = bytes.Feed(std::string_view(&c, 1));
    EXPECT_TRUE(seen);

    HtmlMarkFinder clean;
    EXPECT_FALSE(clean.Feed("<HTM"));
    EXPECT_FALSE(clean.Feed("L"));
    EXPECT_FALSE(clean.Feed("<html>"));  // the camera's pages are upper case; a value may say html
}

// What counts as a whole configuration: the answer's start and the way it
// ended, as the camera sent them.
TEST(ConfigAnswer, WebPagesInAnyCaseAndIncompleteAnswersAreRefused) {
    struct Case {
        std::vector<std::string> pieces;
        bool webPage;
    };
    const std::vector<Case> cases = {
        {{"[system]\nname=cam\n"}, false},
        {{"<!doctype html><html>"}, true},
        {{" \r\n\t<!DOCTYPE HTML>"}, true},
        {{"  <", "h", "TmL>"}, true},
        {{"<html"}, true},
        {{"<!doctype", " html>"}, true},
        {{"<!doctype xml>"}, false},
        {{"<htm"}, false},  // too short to tell: no page
        {{"name=<html>"}, false},  // a value may say html
        {{"x<HTML>"}, true},       // the camera's own error page, anywhere
    };
    for (const Case& c : cases) {
        ConfigAnswerCheck check(1024);
        bool refused = false;
        for (const std::string& piece : c.pieces) {
            refused = refused || check.Feed(piece) == ConfigAnswerCheck::Verdict::WebPage;
        }
        EXPECT_EQ(refused, c.webPage) << c.pieces.front();
    }

    struct Ending {
        long status;
        std::size_t size;
        std::optional<std::uint64_t> declared;
        const char* refusal;  // nullptr: a whole configuration
    };
    const Ending endings[] = {
        {200, 4096, 4096, nullptr},
        {200, 4096, std::nullopt, nullptr},
        {200, 0, 0, "empty configuration"},
        {200, 0, std::nullopt, "empty configuration"},
        {200, 2048, 4096, "2048 of the 4096 bytes"},
        {302, 5, 5, "HTTP status 302"},
        {204, 0, std::nullopt, "HTTP status 204"},
        {206, 4096, 4096, "HTTP status 206"},
        {401, 10, 10, "HTTP status 401"},
    };
    for (const Ending& e : endings) {
        const std::optional<std::string> why = RefuseConfigAnswer(e.status, e.size, e.declared);
        if (!e.refusal) {
            EXPECT_FALSE(why) << e.status << " " << e.size << ": " << why.value_or("");
        } else {
            ASSERT_TRUE(why) << e.status << " " << e.size;
            EXPECT_NE(why->find(e.refusal), std::string::npos) << *why;
        }
    }
}

// A saved file's name tells which camera it came from; restore compares it.
TEST(SavedFileNames, ModelAndSerialAreReadBackAsTheProgramWroteThem) {
    struct Case {
        std::string path;
        std::optional<std::string> model;
        std::string serial;
    };
    const std::vector<Case> cases = {
        {"/c/2612081404/qrv-k7.1000001.cfg", "qrv-k7", "1000001"},
        {"qrv-k7.1000001-2.cfg", "qrv-k7", "1000001-2"},
        {"QRV-K7.AB-12.CFG", "qrv-k7", "AB-12"},
        {"qrv-k7.1.0.cfg", "qrv-k7", "1.0"},
        {"site/cam2.cfg", std::nullopt, ""},
        {"qrv-k7.cfg", std::nullopt, ""},
        {"qrv-k7.1000001.cfg.part", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const std::optional<SavedFileName> name = ReadSavedFileName(c.path);
        ASSERT_EQ(name.has_value(), c.model.has_value()) << c.path;
        if (!name) continue;
        EXPECT_EQ(name->model, *c.model) << c.path;
        EXPECT_EQ(name->serial, c.serial) << c.path;
    }
    EXPECT_TRUE(IsUnfinishedSave("a/qrv-k7.1.cfg.part"));
    EXPECT_TRUE(IsUnfinishedSave("X.CFG.PART"));
    EXPECT_FALSE(IsUnfinishedSave("a/qrv-k7.1.cfg"));

    EXPECT_TRUE(SavedSerialMatches("1000001", u"1000001"));
    EXPECT_TRUE(SavedSerialMatches("1000001-2", u"1000001"));
    EXPECT_TRUE(SavedSerialMatches("AB-12-3", u"AB-12"));
    EXPECT_TRUE(SavedSerialMatches("1000001_", u"1000001\x1b")) << "as the name was made safe";
    EXPECT_FALSE(SavedSerialMatches("1000002", u"1000001"));
    EXPECT_FALSE(SavedSerialMatches("10000011", u"1000001"));
    EXPECT_FALSE(SavedSerialMatches("1000001-", u"1000001"));
    EXPECT_FALSE(SavedSerialMatches("1000001-x", u"1000001"));
    EXPECT_FALSE(SavedSerialMatches("100000", u"1000001"));
}

}  // namespace
}  // namespace qrv
