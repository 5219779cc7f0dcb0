#pragma once
// A fresh, empty folder for the running GoogleTest case, named after it so
// that parallel test processes never share one, and the folders of a test
// that starts the command line. Header only: it needs GoogleTest, which the
// support library itself does not.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace qrv::test {

inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        (prefix + "-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// A scratch folder for a test that starts the command line, and the
// ProgramFiles below which the command line saves (see
// ProgramFilesForCommands); the program's folder there is emptied before and
// after the test.
struct CommandFolder {
    std::filesystem::path root;
    std::filesystem::path programFiles;
    CommandFolder() {
        root = FreshTestFolder("qrv-it");
        programFiles = ProgramFilesForCommands(root);
        if (programFiles.empty()) {
            ADD_FAILURE() << "the command line's saves need a throwaway wine prefix";
            return;
        }
        std::filesystem::remove_all(programFiles / "VEXA");
    }
    ~CommandFolder() {
        if (!programFiles.empty()) std::filesystem::remove_all(programFiles / "VEXA");
        std::filesystem::remove_all(root);
    }
    // Every file the command line saved below ProgramFiles.
    std::vector<std::filesystem::path> Files() const {
        std::vector<std::filesystem::path> files;
        std::error_code none;  // no such folder: nothing saved
        if (programFiles.empty()) return files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(programFiles / "VEXA", none)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
        return files;
    }
};

}  // namespace qrv::test
