#include "sim/Fleet.h"

namespace qrv::sim {

Fleet::~Fleet() { Stop(); }

bool Fleet::Start(std::vector<CameraSetup> setups, const SimOptions& options, const LocalNetwork& network,
                  std::string& error) {
    if (!options.eventsFile.empty() && !log_.Open(options.eventsFile, error)) return false;
    if (!options.captureDir.empty() && !capture_.Open(options.captureDir, error)) return false;
    if (!backend_.Start(error)) return false;
    context_ = std::unique_ptr<FrontContext>(new FrontContext{log_, capture_, registry_, backend_.Port()});
    context_->listenersChanged = [this] { acceptor_.Wake(); };

    std::vector<CameraPort*> ports;
    std::vector<Camera*> cameras;
    for (auto& setup : setups) {
        cameras_.push_back(std::make_unique<Camera>(std::move(setup), log_, scheduler_, options.timeScale));
        ports_.push_back(std::make_unique<CameraPort>(*cameras_.back(), *context_));
        cameras_.back()->SetPowerSwitch(ports_.back().get());
        if (!ports_.back()->PowerOn(error)) return false;
        ports.push_back(ports_.back().get());
        cameras.push_back(cameras_.back().get());
    }
    if (!acceptor_.Start(ports, error)) return false;
    discovery_ = std::make_unique<DiscoveryResponder>(cameras, log_, capture_, network);
    if (!discovery_->Start(error)) return false;
    for (auto& camera : cameras_) camera->AnnounceStart();
    log_.Emit("ready", "", JsonFields().Int("cameras", int64_t(cameras_.size())).Int("http_server_port", backend_.Port()));
    return true;
}

void Fleet::Stop() {
    if (stopped_) return;
    stopped_ = true;
    // Nothing new may start once stopping: first the sources of work, then
    // the connections, then the server they relay to.
    scheduler_.Stop();
    if (discovery_) discovery_->Stop();
    acceptor_.Stop();
    for (auto& port : ports_) port->Shutdown();
    backend_.Stop();
    log_.Emit("stop", "");
}

}  // namespace qrv::sim
