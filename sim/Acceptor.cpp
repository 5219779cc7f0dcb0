#include "sim/Acceptor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

#include "sim/CameraPort.h"

namespace qrv::sim {

Acceptor::Acceptor() = default;

Acceptor::~Acceptor() {
    Stop();
    if (wake_ >= 0) ::close(wake_);
}

bool Acceptor::Start(std::vector<CameraPort*> ports, std::string& error) {
    ports_ = std::move(ports);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) {
        error = "eventfd failed";
        return false;
    }
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    return true;
}

void Acceptor::Wake() {
    if (wake_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wake_, &one, sizeof one);
}

void Acceptor::Stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    Wake();
    thread_.join();
    for (auto* port : ports_) port->CloseRetired();
}

void Acceptor::Run(std::stop_token stop) {
    std::vector<pollfd> fds;
    std::vector<CameraPort*> owners;
    while (!stop.stop_requested()) {
        fds.assign(1, pollfd{wake_, POLLIN, 0});
        owners.assign(1, nullptr);
        for (auto* port : ports_) {
            port->CloseRetired();
            const int fd = port->ListenFd();
            if (fd < 0) continue;
            fds.push_back(pollfd{fd, POLLIN, 0});
            owners.push_back(port);
        }
        const int ready = ::poll(fds.data(), fds.size(), -1);
        if (ready < 0 && errno != EINTR) break;
        if (fds[0].revents) {
            uint64_t count = 0;
            [[maybe_unused]] auto got = ::read(wake_, &count, sizeof count);
        }
        bool starved = false;
        for (size_t i = 1; i < fds.size(); ++i)
            if (fds[i].revents && !owners[i]->AcceptFrom(fds[i].fd)) starved = true;
        if (starved) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace qrv::sim
