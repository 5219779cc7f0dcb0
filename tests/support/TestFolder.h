#pragma once
// A fresh, empty folder for the running GoogleTest case, named after it so
// that parallel test processes never share one. Header only: it needs
// GoogleTest, which the support library itself does not.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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

}  // namespace qrv::test
