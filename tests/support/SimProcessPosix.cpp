// Starting and stopping the simulator on Linux: posix_spawn, a pipe for
// its READY line, SIGTERM.
#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qrv::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);
constexpr auto kStopLimit = std::chrono::seconds(10);

}  // namespace

std::string SimProcess::SimulatorPath() { return QRV_CAMERA_SIM_PATH; }

std::string SimProcess::NewFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qrv-sim-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder for the simulator");
    return pattern;
}

void SimProcess::Launch(std::vector<std::string> arguments, std::vector<std::string> launcher) {
    arguments.insert(arguments.begin(), SimulatorPath());
    arguments.insert(arguments.end(), {"--events", EventLogPath(), "--capture", CaptureDir()});
    arguments.insert(arguments.begin(), launcher.begin(), launcher.end());
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const int spawned = launcher.empty() ? ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ)
                                         : ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    stdout_ = pipeFds[0];
    if (spawned != 0) {
        pid_ = -1;
        std::filesystem::remove_all(dir_);
        throw std::runtime_error("cannot start " + std::string(argv[0]));
    }

    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (output.find("READY\n") == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd fd{stdout_, POLLIN, 0};
        char chunk[256];
        ssize_t n = 0;
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0 ||
            (n = ::read(stdout_, chunk, sizeof chunk)) <= 0) {
            Stop();
            std::filesystem::remove_all(dir_);
            throw std::runtime_error("the camera simulator did not become ready (output: '" + output +
                                     "'); does the test run inside scripts/run-in-private-network?");
        }
        output.append(chunk, static_cast<size_t>(n));
    }
}

int SimProcess::Stop() {
    if (pid_ <= 0) return exitStatus_;
    ::kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
    pid_t done = 0;
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
        // A simulator that ignores SIGTERM is a fault the test reports
        // through the exit status; it must not outlive the test.
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        exitStatus_ = -1;
    } else {
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_ = -1;
    if (stdout_ >= 0) ::close(stdout_);
    stdout_ = -1;
    return exitStatus_;
}

}  // namespace qrv::test
