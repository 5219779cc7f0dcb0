// Starting and stopping the simulator from a Windows test program that runs
// under wine: the simulator is the Linux program (QRV_SIM names it), which
// wine starts as a Unix process. Wine gives no handle for such a process, so
// a shell started with it notes the simulator's process number and, once it
// has ended, its exit status in the simulator's folder; the READY line is
// read from a file. A test program that was killed (CTest's time limit)
// cannot stop its simulator; the next one does, before it starts its own,
// since the two would want the same addresses.
#include "tests/support/SimProcess.h"
#include "tests/support/CommandRun.h"
#include "tests/support/WineUnix.h"

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
        const std::string pid = ReadWholeFile(entry.path() / "sim.pid");
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
    pid_ = std::stoi(ReadWholeFile(dir_ + "/sim.pid"));
    if (!WaitForFile(dir_ + "/sim.out", kStartLimit, "READY\n")) {
        const std::string output = ReadWholeFile(dir_ + "/sim.out");
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
        exitStatus_ = std::stoi(ReadWholeFile(status));
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
