#include "tests/support/WineUnix.h"

#include <windows.h>

#include <stdexcept>
#include <thread>

#include "tests/support/CommandRun.h"

namespace qrv::test {

std::string UnixPath(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    static const auto toUnix =
        reinterpret_cast<ToUnix>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    if (!toUnix) throw std::runtime_error("Unix programs can only be started under wine");
    const std::wstring wide = std::filesystem::path(windowsPath).wstring();
    char* unix = toUnix(wide.c_str());
    if (!unix) throw std::runtime_error("no Unix name for " + windowsPath);
    std::string text(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return text;
}

void StartUnix(const std::vector<std::string>& arguments, const std::string& output) {
    std::wstring line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += L' ';
        line += L'"' + std::filesystem::path(argument).wstring() + L'"';
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(std::filesystem::path(output).wstring().c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + output);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const std::wstring program = L"Z:" + std::filesystem::path(arguments.front()).make_preferred().wstring();
    const BOOL started =
        CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(out);
    if (!started) throw std::runtime_error("cannot start " + arguments.front());
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
}

bool WaitForFile(const std::filesystem::path& path, std::chrono::steady_clock::duration limit,
                 const std::string& needed) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (ReadWholeFile(path).find(needed) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace qrv::test
