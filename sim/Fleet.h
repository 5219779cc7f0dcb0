#pragma once
// The whole simulator: cameras, their fronts, the HTTP server, the acceptor,
// the discovery responder, the scheduler and the logs, started and stopped
// in order.
#include <memory>
#include <string>
#include <vector>

#include "sim/Acceptor.h"
#include "sim/Camera.h"
#include "sim/CameraPort.h"
#include "sim/DiscoveryResponder.h"
#include "sim/EventLog.h"
#include "sim/ExchangeRegistry.h"
#include "sim/HttpBackend.h"
#include "sim/LocalNetwork.h"
#include "sim/Scheduler.h"
#include "sim/SimOptions.h"

namespace qrv::sim {

class Fleet {
public:
    Fleet() = default;
    ~Fleet();
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    // Starts everything; when it returns true every camera listens.
    // `network` is where the cameras live (see LocalNetwork.h).
    bool Start(std::vector<CameraSetup> setups, const SimOptions& options, const LocalNetwork& network,
               std::string& error);
    void Stop();

private:
    EventLog log_;
    CaptureStore capture_;
    ExchangeRegistry registry_;
    Scheduler scheduler_;
    HttpBackend backend_{registry_};
    std::unique_ptr<FrontContext> context_;
    std::vector<std::unique_ptr<Camera>> cameras_;
    std::vector<std::unique_ptr<CameraPort>> ports_;
    Acceptor acceptor_;
    std::unique_ptr<DiscoveryResponder> discovery_;
    bool stopped_ = false;
};

}  // namespace qrv::sim
