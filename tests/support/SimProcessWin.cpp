// Starting and stopping the simulator from a Windows test program that runs
// under wine: the simulator is the Linux program (QRV_SIM names it), which
// wine starts as a Unix process. Wine gives no handle for such a process, so
// a shell started with it notes the simulator's process number and, once it
// has ended, its exit status in the simulator's folder; the READY line is
// read from a file. A test program that was killed (CTest's time limit)
// cannot stop its simulator; the next one does, before it starts its own,
// since the two would want the same addresses.
#include "tests/support/SimProcess.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace qrv::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);
constexpr auto kStopLimit = std::chrono::seconds(10);

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The Unix name of a Windows path, as wine maps it.
std::string UnixPath(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    static const auto toUnix =
        reinterpret_cast<ToUnix>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    if (!toUnix) throw std::runtime_error("the simulator can only be started under wine");
    const std::wstring wide = std::filesystem::path(windowsPath).wstring();
    char* unix = toUnix(wide.c_str());
    if (!unix) throw std::runtime_error("no Unix name for " + windowsPath);
    std::string text(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return text;
}

// Starts a Unix program with its arguments (none may hold a double quote)
// and its output going to `output`; wine gives no handle to wait on.
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
                 const std::string& needed = "\n") {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (ReadText(path).find(needed) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool WindowsProcessAlive(DWORD id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process) return false;
    const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
}

// Simulators left running by test programs that are gone: their folders are
// named qrv-sim-<process id>-<n> and hold a sim.pid but no sim.status.
void StopOrphans() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("qrv-sim-", 0) != 0) continue;
        const DWORD owner = std::strtoul(name.c_str() + 8, nullptr, 10);
        if (owner == GetCurrentProcessId() || WindowsProcessAlive(owner)) continue;
        const std::string pid = ReadText(entry.path() / "sim.pid");
        if (!pid.empty() && !std::filesystem::exists(entry.path() / "sim.status")) {
            StartUnix({"/bin/kill", "-KILL", std::to_string(std::stoi(pid))}, (entry.path() / "kill.out").string());
            WaitForFile(entry.path() / "sim.status", kStopLimit);
        }
        std::filesystem::remove_all(entry.path(), error);
    }
}

}  // namespace

std::string SimProcess::SimulatorPath() {
    const char* path = std::getenv("QRV_SIM");
    if (!path || !*path) throw std::runtime_error("QRV_SIM does not name the simulator (a Linux program)");
    return path;
}

std::string SimProcess::NewFolder() {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("qrv-sim-" + std::to_string(GetCurrentProcessId()) + "-" +
                                          std::to_string(counter++));
    std::filesystem::remove_all(folder);
    if (!std::filesystem::create_directories(folder))
        throw std::runtime_error("cannot create a temporary folder for the simulator");
    return folder.string();
}

void SimProcess::Launch(std::vector<std::string> arguments, std::vector<std::string> launcher) {
    arguments.insert(arguments.begin(), SimulatorPath());
    arguments.insert(arguments.end(), {"--events", EventLogPath(), "--capture", CaptureDir()});
    arguments.insert(arguments.begin(), launcher.begin(), launcher.end());
    StopOrphans();
    const std::string unixDir = UnixPath(dir_);
    std::string command;
    for (std::string argument : arguments) {
        if (argument.rfind(dir_, 0) == 0) {
            argument = unixDir + argument.substr(dir_.size());
            for (char& c : argument)
                if (c == '\\') c = '/';
        }
        if (argument.find('\'') != std::string::npos) throw std::runtime_error("a quote in " + argument);
        command += (command.empty() ? "'" : " '") + argument + "'";
    }
    StartUnix({"/bin/sh", "-c",
               command + " & echo $! >'" + unixDir + "/sim.pid'; wait $!; echo $? >'" + unixDir + "/sim.status'"},
              dir_ + "/sim.out");
    if (!WaitForFile(dir_ + "/sim.pid", kStartLimit)) throw std::runtime_error("the simulator's shell did not start");
    pid_ = std::stoi(ReadText(dir_ + "/sim.pid"));
    if (!WaitForFile(dir_ + "/sim.out", kStartLimit, "READY\n")) {
        const std::string output = ReadText(dir_ + "/sim.out");
        Stop();
        std::filesystem::remove_all(dir_);
        throw std::runtime_error("the camera simulator did not become ready (output: '" + output +
                                 "'); does the test run inside a private network namespace?");
    }
}

int SimProcess::Stop() {
    if (pid_ <= 0) return exitStatus_;
    const std::filesystem::path status = dir_ + "/sim.status";
    StartUnix({"/bin/kill", "-TERM", std::to_string(pid_)}, dir_ + "/kill.out");
    if (WaitForFile(status, kStopLimit)) {
        exitStatus_ = std::stoi(ReadText(status));
    } else {
        // A simulator that ignores SIGTERM is a fault the test reports
        // through the exit status; it must not outlive the test.
        StartUnix({"/bin/kill", "-KILL", std::to_string(pid_)}, dir_ + "/kill.out");
        WaitForFile(status, kStopLimit);
        exitStatus_ = -1;
    }
    pid_ = -1;
    return exitStatus_;
}

}  // namespace qrv::test
