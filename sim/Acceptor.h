#pragma once
// One thread that waits on the listening sockets of every camera front and
// hands each new connection to its front. It alone closes listening sockets,
// so none is closed while it may be polling it.
#include <string>
#include <thread>
#include <vector>

namespace qrv::sim {

class CameraPort;

class Acceptor {
public:
    Acceptor();
    ~Acceptor();
    Acceptor(const Acceptor&) = delete;
    Acceptor& operator=(const Acceptor&) = delete;

    bool Start(std::vector<CameraPort*> ports, std::string& error);
    void Wake();  // a listener opened or closed
    void Stop();

private:
    void Run(std::stop_token stop);

    std::vector<CameraPort*> ports_;
    int wake_ = -1;
    std::jthread thread_;
};

}  // namespace qrv::sim
