#pragma once
// The fleet's HTTP server (cpp-httplib) on a private loopback port. Camera
// fronts relay each request to it with the exchange id; it routes the request
// to the camera's application and writes the HTTP answer.
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace qrv::sim {

class ExchangeRegistry;

// The header that carries the exchange id from a front to the server.
inline constexpr const char* kExchangeHeader = "X-Qrv-Sim-Exchange";

class HttpBackend {
public:
    explicit HttpBackend(ExchangeRegistry& registry);
    ~HttpBackend();
    HttpBackend(const HttpBackend&) = delete;
    HttpBackend& operator=(const HttpBackend&) = delete;

    bool Start(std::string& error);
    int Port() const { return port_; }
    void Stop();

private:
    void AddRoutes();

    ExchangeRegistry& registry_;
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::jthread thread_;
};

}  // namespace qrv::sim
