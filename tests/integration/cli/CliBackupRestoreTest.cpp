// The backup and restore commands and the password sources, run as a user
// runs them against simulated cameras.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <fstream>
#include <optional>

#include "tests/support/CommandRun.h"
#include "platform/Files.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFolder.h"

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

std::string Camera(const std::string& address, const std::string& extra = "") {
    return address + " model=QRV-K7 serial=100200 mac=08:00:23:00:00:01 version=1.20 newversion=1.30 " +
           (extra.find("admin=") == std::string::npos ? "admin=admin:admin " : "") + extra + "\n";
}

size_t Count(const SimProcess& sim, const std::string& kind, const std::string& what, bool ok) {
    const std::vector<SimEvent> events = sim.Events();
    return static_cast<size_t>(std::count_if(events.begin(), events.end(), [&](const SimEvent& e) {
        return e.kind == kind && e.what == what && e.ok == ok;
    }));
}

size_t RestoreRequests(const SimProcess& sim) {
    const std::vector<SimEvent> events = sim.Events();
    return static_cast<size_t>(std::count_if(events.begin(), events.end(), [](const SimEvent& e) {
        return e.kind == "request" && e.path == "/command/all-configuration.cgi";
    }));
}

// The access mode as the program sees it: on Windows 0600 or 0700 for what
// only the current user may open (with 044 or 055 added when others may).
unsigned ModeOf(const fs::path& path) {
    const std::optional<FileKind> kind = FileKindOf(path.string());
    return kind ? kind->permissions : 0u;
}

// A file only its owner may read (on Windows too, through the program's own
// file rules), then given `mode`.
void WriteFile(const fs::path& path, const std::string& bytes, fs::perms mode = fs::perms::owner_read | fs::perms::owner_write) {
    {
        OutputFile file(path.string());
        ASSERT_TRUE(file.IsOpen() && file.Write(bytes)) << path;
    }
    if (mode != (fs::perms::owner_read | fs::perms::owner_write)) fs::permissions(path, mode);
}

struct BackupRestore : ::testing::Test {
    CommandFolder folder;
    const fs::path& dir = folder.root;

    void SetUp() override { UnsetEnvironment("QRV_PASSWORD"); }
    void TearDown() override { UnsetEnvironment("QRV_PASSWORD"); }

    CommandRun RunCli(const std::string& args) const { return RunCommand(QRV_CLI_PATH, args, dir); }
    std::vector<fs::path> SavedFiles() const {
        std::vector<fs::path> files = folder.Files();
        std::sort(files.begin(), files.end());
        return files;
    }
};

// ---- backup ----------------------------------------------------------------------

TEST_F(BackupRestore, BackupThenRestoreBringsTheAccountsBackAfterAnUpgradeResetThem) {
    SimProcess sim(Camera("127.0.0.2", "admin=inst:secret user=op:op:3"), 0.01);
    const fs::path saved = dir / "site" / "cam2.cfg";
    const CommandRun backup = RunCli("backup 127.0.0.2 --user inst --password secret --out '" + saved.string() + "' --time-scale 0.01");
    ASSERT_EQ(backup.exitCode, 0) << backup.out << backup.err;
    EXPECT_EQ(backup.out, "Saving config file\nSaved 4096 bytes to " + saved.string() + "\n");
    ASSERT_EQ(fs::file_size(saved), 4096u);
    EXPECT_EQ(ModeOf(saved), 0600u);
    EXPECT_EQ(ModeOf(saved.parent_path()), 0700u);
    EXPECT_TRUE(SavedFiles().empty()) << "--out writes nothing into the Configurations folder";

    // An upgrade that discards the settings leaves the factory administrator only.
    const CommandRun upgrade = RunCli("upgrade 127.0.0.2 --user inst --password secret --yes --time-scale 0.01");
    ASSERT_EQ(upgrade.exitCode, 0) << upgrade.err;
    EXPECT_EQ(RunCli("probe 127.0.0.2 --user inst --password secret").exitCode, 1);

    const CommandRun restore = RunCli("restore 127.0.0.2 --file '" + saved.string() + "' --yes --time-scale 0.01");
    ASSERT_EQ(restore.exitCode, 0) << restore.out << restore.err;
    for (const char* line : {"Current version: ver1.30\n", "Loading config file\n", "Reconfiguring\n",
                             "; the camera is back (version ver1.30).\n"}) {
        EXPECT_NE(restore.out.find(line), std::string::npos) << line << "\n---\n" << restore.out;
    }
    EXPECT_EQ(Count(sim, "verdict", "restore", true), 1u);
    // The installer's account and the further one are back.
    const CommandRun probe = RunCli("probe 127.0.0.2 --user inst --password secret");
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_NE(probe.out.find("version=ver1.30\n"), std::string::npos);
    EXPECT_NE(probe.out.find("admin=ok\n"), std::string::npos);
    EXPECT_EQ(RunCli("probe 127.0.0.2 --user op --password op").exitCode, 1) << "op is back, but not as administrator";
    EXPECT_TRUE(fs::exists(saved)) << "restore never deletes the file it was given";

    // A file named for another camera of the model goes on --force only, not on --yes.
    const fs::path other = dir / "qrv-k7.999.cfg";
    fs::copy_file(saved, other);
    const std::string restoreOther = "restore 127.0.0.2 --file '" + other.string() + "' --yes --time-scale 0.01";
    const CommandRun refused = RunCli(restoreOther);
    EXPECT_EQ(refused.exitCode, 2) << refused.err;
    EXPECT_NE(refused.err.find("Give --force"), std::string::npos) << refused.err;
    EXPECT_EQ(Count(sim, "verdict", "restore", true), 1u);
    const CommandRun forced = RunCli(restoreOther + " --force");
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(Count(sim, "verdict", "restore", true), 2u);
}

TEST_F(BackupRestore, BackupFollowsTheUpgradesFileRules) {
    // The saves go to a folder named after the minute: all of them must fall
    // in one minute for the second to find the first.
    const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    if (now % 60 >= 55) std::this_thread::sleep_for(std::chrono::seconds(61 - now % 60));
    SimProcess sim(Camera("127.0.0.2"), 0.01);
    const fs::path taken = dir / "taken.cfg";
    WriteFile(taken, "earlier");
    struct Row {
        std::string args;
        int exitCode;
        std::vector<std::string> files;  // names in the Configurations folder afterwards
        std::string err;                 // part of standard error
    };
    const std::vector<Row> rows = {
        {"", 0, {"qrv-k7.100200.cfg"}, ""},
        {"", 0, {"qrv-k7.100200-2.cfg", "qrv-k7.100200.cfg"}, ""},  // never overwritten: the next name
        {"--out '" + taken.string() + "'", 1, {"qrv-k7.100200-2.cfg", "qrv-k7.100200.cfg"}, "already exists"},
    };
    for (const Row& row : rows) {
        const CommandRun run = RunCli("backup 127.0.0.2 --user admin --password admin --time-scale 0.01 " + row.args);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.args << "\n" << run.err;
        std::vector<std::string> names;
        for (const fs::path& file : SavedFiles()) {
            names.push_back(file.filename().string());
            EXPECT_EQ(fs::file_size(file), 4096u);
            EXPECT_EQ(ModeOf(file), 0600u);
        }
        EXPECT_EQ(names, row.files) << row.args;
        EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadWholeFile(taken), "earlier");
}

TEST_F(BackupRestore, BackupRefusalsSaveNothingUsable) {
    SimProcess sim(Camera("127.0.0.2") + Camera("127.0.0.3", "fault=html-config") + Camera("127.0.0.4", "fault=always401"), 0.01);
    struct Row {
        std::string args;
        int exitCode;
        std::string err;
    };
    const std::vector<Row> rows = {
        {"127.0.0.2 --user admin --password wrong", 1, "Please enter correct user name and password"},
        {"127.0.0.3 --user admin --password admin", 1, "web page instead of its configuration"},
        {"127.0.0.4 --user admin --password admin", 1, "This program works for the QRV-K7"},  // answers no one,
        {"127.0.0.9 --user admin --password admin", 1, "This program works for the QRV-K7"},
        {"127.0.0.2 --user admin", 2, "Input the correct name and password"},
        {"127.0.0.2 --user admin --password admin --out", 2, "--out needs a value"},
    };
    for (const Row& row : rows) {
        const CommandRun run = RunCli("backup --time-scale 0.01 " + row.args);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.args << "\n" << run.err;
        EXPECT_NE(run.err.find(row.err), std::string::npos) << row.args << "\n" << run.err;
    }
    // Only the web page answer got as far as a file; it holds no configuration.
    EXPECT_EQ(Count(sim, "verdict", "restore", true), 0u);
    for (const fs::path& file : SavedFiles()) EXPECT_LT(fs::file_size(file), 4096u) << file;
}

// ---- restore ---------------------------------------------------------------------

TEST_F(BackupRestore, RestoreRefusesWhatIsNoConfiguration) {
    SimProcess sim(Camera("127.0.0.2"), 0.01);
    const fs::path good = dir / "good.cfg";
    ASSERT_EQ(RunCli("backup 127.0.0.2 --user admin --password admin --out '" + good.string() + "'").exitCode, 0);
    WriteFile(dir / "empty.cfg", "");
    WriteFile(dir / "damaged.cfg", std::string(4096, 'x'));
    {
        std::ofstream(dir / "huge.cfg").close();
        fs::resize_file(dir / "huge.cfg", 64u * 1024u * 1024u + 1u);  // sparse: one byte over the cap
    }
    fs::create_directories(dir / "folder.cfg");
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir / "pipe.cfg").c_str(), 0600), 0);
#endif
    struct Row {
        std::string args;
        int exitCode;
        std::string err;
        size_t restoreRequests;  // how many restore posts the camera saw, in all, after the row
    };
    const auto file = [&](const char* name) { return "--file '" + (dir / name).string() + "'"; };
    // A save cut short by a crash, and whole files named for another camera.
    fs::copy_file(good, dir / "qrv-k7.0000000.cfg.part");
    fs::copy_file(good, dir / "qrv-k7.0000000.cfg");
    fs::copy_file(good, dir / "qrv-x9.0000000.cfg");
    const std::vector<Row> rows = {
        {file("empty.cfg") + " --yes", 2, "is empty", 0},
        {file("huge.cfg") + " --yes", 2, "is larger than 67108864 bytes", 0},
        {file("folder.cfg") + " --yes", 2, "is not a regular file", 0},
#ifndef _WIN32
        {file("pipe.cfg") + " --yes", 2, "is not a regular file", 0},
#endif
        {file("missing.cfg") + " --yes", 2, "Cannot read", 0},
        {file("qrv-k7.0000000.cfg.part") + " --yes --force", 2, "a save that never finished", 0},
        {file("qrv-k7.0000000.cfg") + " --yes", 2, "saved from the camera with serial 0000000", 0},
        {file("qrv-x9.0000000.cfg") + " --yes --force", 2, "saved from a qrv-x9", 0},
        {"--yes", 2, "--file FILE.cfg", 0},
        {file("good.cfg"), 1, "Information: Restore the configuration", 0},  // not confirmed
        {file("damaged.cfg") + " --yes", 1, "did not take the configuration (4 tries)", 4},
    };
    for (const Row& row : rows) {
        const CommandRun run = RunCli("restore 127.0.0.2 --time-scale 0.01 " + row.args);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.args << "\n" << run.err;
        EXPECT_NE(run.err.find(row.err), std::string::npos) << row.args << "\n" << run.err;
        EXPECT_EQ(RestoreRequests(sim), row.restoreRequests) << row.args;
    }
    EXPECT_EQ(Count(sim, "verdict", "restore", true), 0u);
}

TEST_F(BackupRestore, RestoreUsesTheUpgradesTriesAndWaitsForTheCamera) {
    SimProcess sim(Camera("127.0.0.2", "fault=restore-refuse:1 fault=restore-reject:2") + Camera("127.0.0.3", "fault=restore-reject:4"), 0.01);
    const fs::path saved = dir / "saved.cfg";
    ASSERT_EQ(RunCli("backup 127.0.0.2 --user admin --password admin --out '" + saved.string() + "'").exitCode, 0);
    // Three failed tries, the fourth is taken.
    const CommandRun taken = RunCli("restore 127.0.0.2 --file '" + saved.string() + "' --yes --time-scale 0.01");
    EXPECT_EQ(taken.exitCode, 0) << taken.err;
    EXPECT_NE(taken.out.find("the camera is back"), std::string::npos) << taken.out;
    EXPECT_EQ(Count(sim, "verdict", "restore", true), 1u);
    // The camera came back from reconfiguring before the command ended.
    const std::vector<SimEvent> events = sim.Events();
    const auto reconfiguring = std::find_if(events.begin(), events.end(), [](const SimEvent& e) {
        return e.kind == "state" && e.camera == "127.0.0.2:80" && e.state == "reconfiguring";
    });
    ASSERT_NE(reconfiguring, events.end());
    EXPECT_TRUE(std::any_of(reconfiguring, events.end(), [](const SimEvent& e) {
        return e.kind == "state" && e.camera == "127.0.0.2:80" && e.state == "up";
    }));
    // Four refusals are all the tries there are.
    const CommandRun refused = RunCli("restore 127.0.0.3 --file '" + saved.string() + "' --yes --time-scale 0.01");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("(4 tries)"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out.find("Reconfiguring"), std::string::npos);
}

// ---- password sources ------------------------------------------------------------

TEST_F(BackupRestore, PasswordSourcesAndTheirOrder) {
    SimProcess sim(Camera("127.0.0.2", "admin=inst:secret"), 0.01);
    const fs::path privateFile = dir / "pass";
    const fs::path crlfFile = dir / "pass-crlf";
    const fs::path openFile = dir / "pass-open";
    const fs::path groupFile = dir / "pass-group";
    const fs::path emptyFile = dir / "pass-empty";
    WriteFile(privateFile, "secret\n");
    WriteFile(crlfFile, "secret\r\nsecond line\n");
#ifndef _WIN32
    WriteFile(openFile, "secret\n", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    WriteFile(groupFile, "secret\n", fs::perms::owner_read | fs::perms::group_read);
#endif
    WriteFile(emptyFile, "\nsecret\n");
    const auto file = [](const fs::path& path) { return " --password-file '" + path.string() + "'"; };
    struct Row {
        std::string name;
        std::string options;                 // after "--user inst"
        std::optional<std::string> variable; // QRV_PASSWORD
        int exitCode;                        // 0 accepted, 1 the camera refused the password, 2 refused locally
        std::string err;
    };
    const std::vector<Row> rows = {
        {"file", file(privateFile), std::nullopt, 0, ""},
        {"first line only", file(crlfFile), std::nullopt, 0, ""},
#ifndef _WIN32  // modes are the access lists' on Windows, which wine does not hand to other users
        {"readable by all", file(openFile), std::nullopt, 2, "can be read by other users (mode 0644)"},
        {"readable by group", file(groupFile), std::nullopt, 2, "can be read by other users (mode 0440)"},
#endif
        {"empty first line", file(emptyFile), std::nullopt, 2, "empty first line"},
        {"missing file", file(dir / "none"), std::nullopt, 2, "Cannot read the password file"},
        {"folder", file(dir), std::nullopt, 2, "not a regular file"},
        {"environment", "", "secret", 0, ""},
        {"empty environment is no source", "", "", 2, "Input the correct name and password"},
        {"option", " --password secret", std::nullopt, 0, ""},
        {"file before environment", file(privateFile), "wrong", 0, ""},
        {"option before environment", " --password wrong", "secret", 1, "Please enter correct user name"},
        {"option and file", " --password secret" + file(privateFile), std::nullopt, 2, "not both"},
        {"no source, no terminal", "", std::nullopt, 2, "Input the correct name and password"},
    };
    for (const Row& row : rows) {
        if (row.variable) {
            SetEnvironment("QRV_PASSWORD", *row.variable);
        } else {
            UnsetEnvironment("QRV_PASSWORD");
        }
        const CommandRun run = RunCli("probe 127.0.0.2 --user inst" + row.options);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.name << "\n" << run.err;
        EXPECT_NE(run.err.find(row.err), std::string::npos) << row.name << "\n" << run.err;
        if (row.exitCode == 0) {
            EXPECT_NE(run.out.find("admin=ok\n"), std::string::npos) << row.name;
        }
    }
    UnsetEnvironment("QRV_PASSWORD");
    // Every command with a password takes the same sources.
    const CommandRun backup = RunCli("backup 127.0.0.2 --user inst" + file(privateFile) + " --out '" + (dir / "b.cfg").string() + "'");
    EXPECT_EQ(backup.exitCode, 0) << backup.err;
    const CommandRun upgradeRefused = RunCli("upgrade 127.0.0.2 --user inst" + file(emptyFile) + " --yes");
    EXPECT_EQ(upgradeRefused.exitCode, 2);
    EXPECT_EQ(Count(sim, "verdict", "upload", true), 0u);
}

#ifndef _WIN32
// Runs the command line on a pseudo-terminal, answers its password prompt with
// `typed` and returns everything the terminal showed and the exit code.
struct TerminalRun {
    std::string screen;
    int exitCode = -1;
};

TerminalRun RunOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
    TerminalRun run;
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child < 0) return run;
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    bool answered = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd wait{master, POLLIN, 0};
        if (::poll(&wait, 1, 200) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the child has closed the terminal
        run.screen.append(buffer, static_cast<size_t>(n));
        if (!answered && run.screen.find("Password: ") != std::string::npos) {
            answered = true;
            const std::string line = typed + "\n";
            if (::write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
        }
    }
    ::close(master);
    int status = 0;
    if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}

TEST_F(BackupRestore, PasswordPromptOnATerminalDoesNotEcho) {
    SimProcess sim(Camera("127.0.0.2", "admin=inst:s3cr3tW"), 0.01);
    struct Row {
        std::string typed;
        int exitCode;
        std::string shown;  // part of the screen
    };
    const std::vector<Row> rows = {
        {"s3cr3tW", 0, "admin=ok"},
        {"wr0ngPw", 1, "Please enter correct user name and password"},
        {"", 2, "Input the correct name and password"},
    };
    for (const Row& row : rows) {
        const TerminalRun run = RunOnTerminal({QRV_CLI_PATH, "probe", "127.0.0.2", "--user", "inst"}, row.typed);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.typed << "\n" << run.screen;
        EXPECT_NE(run.screen.find("Password: "), std::string::npos) << run.screen;
        EXPECT_NE(run.screen.find(row.shown), std::string::npos) << run.screen;
        if (!row.typed.empty()) {
            EXPECT_EQ(run.screen.find(row.typed), std::string::npos) << "the password was echoed:\n" << run.screen;
        }
    }
    // A source that is given is used without asking.
    SetEnvironment("QRV_PASSWORD", "s3cr3tW");
    const TerminalRun quiet = RunOnTerminal({QRV_CLI_PATH, "probe", "127.0.0.2", "--user", "inst"}, "unused");
    UnsetEnvironment("QRV_PASSWORD");
    EXPECT_EQ(quiet.exitCode, 0) << quiet.screen;
    EXPECT_EQ(quiet.screen.find("Password: "), std::string::npos) << quiet.screen;
}
#endif  // a pseudo-terminal is Linux's; the Windows console prompt is not driven here

}  // namespace
}  // namespace qrv::test
