#pragma once
// A one-connection HTTP server on 127.0.0.1 (Winsock) for the WinHTTP client's
// tests: it keeps every byte of the request it gets and sends a given answer,
// or holds the connection open without answering until it is destroyed.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qrv::test {

class LoopbackHttpServer {
public:
    // `answer` empty: read the request, then answer nothing.
    explicit LoopbackHttpServer(std::string answer);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // The request as it arrived (head and the body its Content-Length announces).
    std::string Request();
    // Blocks until the whole request has arrived.
    void WaitForRequest();

private:
    void Serve();

    std::string answer_;
    std::uintptr_t listener_;
    std::uint16_t port_ = 0;
    std::atomic<bool> ending_{false};
    std::mutex mutex_;
    std::string request_;
    bool complete_ = false;
    std::thread thread_;
};

}  // namespace qrv::test
