#pragma once
// The fleet's discovery responder: one UDP socket on port 2380 that answers
// each "ENQ:allinfo" request with one reply per camera (and whatever the
// discovery faults add), sent to the sender's address and port.
#include <netinet/in.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qrv::sim {

class Camera;
class CaptureStore;
class EventLog;

inline constexpr int kDiscoveryPort = 2380;

// The reply datagrams one camera sends for one request.
std::vector<std::string> DiscoveryReplies(const Camera& camera);
bool IsAllInfoRequest(std::string_view datagram);

class DiscoveryResponder {
public:
    DiscoveryResponder(std::vector<Camera*> cameras, EventLog& log, CaptureStore& capture);
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    bool Start(std::string& error);
    void Stop();

private:
    void Run(std::stop_token stop);
    void Answer(const std::string& datagram, const sockaddr_in& sender);

    std::vector<Camera*> cameras_;
    EventLog& log_;
    CaptureStore& capture_;
    int socket_ = -1;
    int wake_ = -1;
    std::jthread thread_;
};

}  // namespace qrv::sim
