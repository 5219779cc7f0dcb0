#pragma once
// The fleet's discovery responder: one UDP socket on port 2380 that answers
// each "ENQ:allinfo" request with one reply per camera on the interface the
// request came in on (and whatever the discovery faults add), sent to the
// sender's address and port.
#include <netinet/in.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/LocalNetwork.h"

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
    DiscoveryResponder(std::vector<Camera*> cameras, EventLog& log, CaptureStore& capture, LocalNetwork network);
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    bool Start(std::string& error);
    void Stop();

private:
    void Run(std::stop_token stop);
    // `arrival`: the index of the interface the request came in on (0:
    // unknown); `destination`: the address it was sent to.
    void Answer(const std::string& datagram, const sockaddr_in& sender, unsigned arrival, const in_addr& destination);

    std::vector<Camera*> cameras_;
    LocalNetwork network_;
    std::vector<unsigned> cameraInterfaces_;  // per camera, the index of the interface it is on
    EventLog& log_;
    CaptureStore& capture_;
    int socket_ = -1;
    int wake_ = -1;
    std::jthread thread_;
};

}  // namespace qrv::sim
