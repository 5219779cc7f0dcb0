#pragma once
// A camera's public address and port: a TCP front of its own that accepts
// connections (refusing them while the camera is down), records every
// request as it came on the wire, applies the connection-level faults and
// relays each request to the HTTP server for the camera's answer.
#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/Camera.h"
#include "sim/Connection.h"

namespace qrv::sim {

class CaptureStore;
class EventLog;
class ExchangeRegistry;

struct FrontContext {
    EventLog& log;
    CaptureStore& capture;
    ExchangeRegistry& registry;
    int backendPort = 0;
    std::atomic<uint64_t> nextExchange{0};
    std::atomic<uint64_t> nextConnection{0};
    std::function<void()> listenersChanged;  // wakes the acceptor
};

class CameraPort : public PowerSwitch {
public:
    CameraPort(Camera& camera, FrontContext& context);
    ~CameraPort() override;
    CameraPort(const CameraPort&) = delete;
    CameraPort& operator=(const CameraPort&) = delete;

    bool PowerOn(std::string& error) override;
    void PowerOff(uint64_t keepConnection) override;

    // For the acceptor thread, which alone closes listening sockets.
    int ListenFd();
    void CloseRetired();
    // False when the process ran out of descriptors: the caller backs off
    // instead of polling the still-ready listener in a tight loop.
    bool AcceptFrom(int listenFd);

    // Simulator stop: refuse, drop and join every connection.
    void Shutdown();

private:
    struct Delivery;
    void Serve(Connection& connection);
    bool ServeOne(Connection& connection, std::string& buffer);
    bool Deliver(Connection& connection, const Exchange& exchange, const std::string& response,
                 std::optional<Answer> answer);
    bool SendStream(Connection& connection, const Exchange& exchange, const Answer& plan);
    void Record(const Exchange& exchange, std::string_view rawHead, bool complete,
                std::chrono::steady_clock::time_point arrived);
    bool Relay(const Exchange& exchange, std::string& response);
    void ReapFinished();  // mutex_ held

    Camera& camera_;
    FrontContext& context_;
    std::mutex mutex_;
    int listenFd_ = -1;
    std::vector<int> retired_;
    bool stopping_ = false;
    std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace qrv::sim
