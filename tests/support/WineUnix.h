#pragma once
// For Windows test programs under wine: Linux programs (the simulator, a
// shell, Python) started as Unix processes, which wine allows but gives no
// handle for, so their end is seen through files they write.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace qrv::test {

// The Unix name of a Windows path, as wine maps it. Throws when the program
// does not run under wine.
std::string UnixPath(const std::string& windowsPath);
// Starts a Unix program (its Unix path first) with its arguments, none of
// which may hold a double quote, its standard output going to the Windows
// file `output`.
void StartUnix(const std::vector<std::string>& arguments, const std::string& output);
// Waits until the file holds `needed`; false when `limit` passed first.
bool WaitForFile(const std::filesystem::path& path, std::chrono::steady_clock::duration limit,
                 const std::string& needed = "\n");

}  // namespace qrv::test
