// Camera lists are read only from regular files of at most 1 MiB: a FIFO, a
// device or a folder is refused at once (nothing waits on it or reads it to
// its end), and so is anything larger.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "platform/Files.h"
#include "tests/support/TestFolder.h"

namespace qrv {
namespace {

TEST(ListFile, OnlyARegularFileOfAtMostOneMebibyteIsRead) {
    const std::filesystem::path folder = test::FreshTestFolder("qrv-listfile");
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return (folder / name).string();
    };
    const std::string site = "127.0.0.2\r\n127.0.0.3:8080\r\n";
    const std::string full(kMaxListFileBytes, '\n');
#ifndef _WIN32
    const std::string fifo = (folder / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
#endif
    const std::string missing = (folder / "missing.txt").string();

    const struct {
        const char* what;
        std::string path;
        std::optional<std::string> text;
        std::string error;
    } cases[] = {
        {"a site's list", write("site.txt", site), site, ""},
        {"an empty file", write("empty.txt", ""), std::string(), ""},
        {"exactly 1 MiB", write("full.txt", full), full, ""},
        {"1 MiB and a byte", write("over.txt", full + "\n"), std::nullopt,
         "'" + (folder / "over.txt").string() + "' is larger than 1 MiB: it is not a camera list."},
#ifndef _WIN32
        {"a FIFO nobody writes to", fifo, std::nullopt, "'" + fifo + "' is not a regular file."},
        {"an endless device", "/dev/zero", std::nullopt, "'/dev/zero' is not a regular file."},
#endif
        {"a folder", folder.string(), std::nullopt, "'" + folder.string() + "' is not a regular file."},
        {"a missing file", missing, std::nullopt, "Cannot read the camera list '" + missing + "': "},
    };
    for (const auto& c : cases) {
        std::string error = "left over";
        const std::optional<std::string> text = ReadListFile(c.path, error);
        EXPECT_EQ(text, c.text) << c.what;
        // The system's own words for why a file cannot be read follow the colon.
        if (!c.text) {
            EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.what;
        }
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qrv
