#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qrv::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);
constexpr auto kStopLimit = std::chrono::seconds(10);

std::string MakeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qrv-sim-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder for the simulator");
    return pattern;
}

std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

std::string SimProcess::SimulatorPath() { return QRV_CAMERA_SIM_PATH; }

SimProcess::SimProcess(const std::string& fleet, double timeScale) {
    dir_ = MakeTempDir();
    {
        std::ofstream out(dir_ + "/fleet.txt", std::ios::binary);
        out << fleet;
    }
    Launch({"--fleet", dir_ + "/fleet.txt", "--time-scale", std::to_string(timeScale)});
}

SimProcess::SimProcess(const std::string& fleet, std::vector<std::string> launcher, double timeScale) {
    dir_ = MakeTempDir();
    {
        std::ofstream out(dir_ + "/fleet.txt", std::ios::binary);
        out << fleet;
    }
    Launch({"--fleet", dir_ + "/fleet.txt", "--time-scale", std::to_string(timeScale)}, std::move(launcher));
}

SimProcess::SimProcess(CamerasTag, int count, double timeScale) {
    dir_ = MakeTempDir();
    Launch({"--cameras", std::to_string(count), "--time-scale", std::to_string(timeScale)});
}

std::unique_ptr<SimProcess> SimProcess::WithCameras(int count, double timeScale) {
    return std::unique_ptr<SimProcess>(new SimProcess(CamerasTag{}, count, timeScale));
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

SimProcess::~SimProcess() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
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

std::string SimProcess::EventLogPath() const { return dir_ + "/events.jsonl"; }
std::string SimProcess::CaptureDir() const { return dir_ + "/capture"; }

std::vector<SimEvent> SimProcess::Events() const {
    std::vector<SimEvent> events;
    std::ifstream in(EventLogPath(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) break;  // a line still being written has no line end yet
        if (auto event = ParseSimEvent(line)) events.push_back(std::move(*event));
    }
    return events;
}

bool SimProcess::WaitForEvent(const std::function<bool(const SimEvent&)>& match, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        const auto events = Events();
        if (std::any_of(events.begin(), events.end(), match)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<std::string> SimProcess::CapturedRequests(const std::string& camera) const {
    std::string folder = camera;
    std::replace(folder.begin(), folder.end(), ':', '_');
    const std::filesystem::path path = std::filesystem::path(CaptureDir()) / folder;
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path, ec)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> requests;
    for (const auto& file : files) requests.push_back(ReadWhole(file));
    return requests;
}

}  // namespace qrv::test
