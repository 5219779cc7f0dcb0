#include "tests/support/SimProcess.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace qrv::test {
namespace {

std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

SimProcess::SimProcess(const std::string& fleet, double timeScale) {
    dir_ = NewFolder();
    {
        std::ofstream out(dir_ + "/fleet.txt", std::ios::binary);
        out << fleet;
    }
    Launch({"--fleet", dir_ + "/fleet.txt", "--time-scale", std::to_string(timeScale)});
}

SimProcess::SimProcess(const std::string& fleet, std::vector<std::string> launcher, double timeScale) {
    dir_ = NewFolder();
    {
        std::ofstream out(dir_ + "/fleet.txt", std::ios::binary);
        out << fleet;
    }
    Launch({"--fleet", dir_ + "/fleet.txt", "--time-scale", std::to_string(timeScale)}, std::move(launcher));
}

SimProcess::SimProcess(CamerasTag, int count, double timeScale) {
    dir_ = NewFolder();
    Launch({"--cameras", std::to_string(count), "--time-scale", std::to_string(timeScale)});
}

std::unique_ptr<SimProcess> SimProcess::WithCameras(int count, double timeScale) {
    return std::unique_ptr<SimProcess>(new SimProcess(CamerasTag{}, count, timeScale));
}

SimProcess::~SimProcess() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
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
