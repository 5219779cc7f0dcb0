#pragma once
// Setting and clearing the test process's environment, which the programs it
// starts inherit, on both systems.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qrv::test {

inline void SetEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void UnsetEnvironment(const std::string& name) {
#ifdef _WIN32
    _putenv_s(name.c_str(), "");  // an empty value removes the variable
#else
    ::unsetenv(name.c_str());
#endif
}

// The folder that the programs a test starts take as ProgramFiles, below
// which they save configurations: `wanted`, set for them here. Wine sets
// ProgramFiles afresh for every Windows process, so there it is the wine
// prefix's own, and only a throwaway prefix (QRV_PRIVATE_WINEPREFIX, which
// tests/windows/in-private-wine sets) is handed out: the test empties the
// program's folder there. Empty when there is none.
inline std::filesystem::path ProgramFilesForCommands(const std::filesystem::path& wanted) {
#ifdef _WIN32
    const char* prefix = std::getenv("QRV_PRIVATE_WINEPREFIX");
    const char* programFiles = std::getenv("ProgramFiles");
    if (!prefix || !*prefix || !programFiles) return {};
    (void)wanted;
    return programFiles;
#else
    SetEnvironment("ProgramFiles", wanted.string());
    return wanted;
#endif
}

}  // namespace qrv::test
