#pragma once
// One simulated camera's web application: its state (version, accounts,
// power) and its answers to inquiries, firmware upload, configuration
// download and restore. Transport matters (connections, refusals while
// rebooting) belong to its CameraPort.
#include <chrono>
#include <mutex>
#include <string>

#include "sim/CameraSetup.h"
#include "sim/ConfigFile.h"
#include "sim/Exchange.h"

namespace qrv::sim {

class EventLog;
class JsonFields;
class Scheduler;

// The camera's network presence, switched off while it reboots.
class PowerSwitch {
public:
    virtual ~PowerSwitch() = default;
    // Stop accepting connections and drop every connection but keepConnection.
    virtual void PowerOff(uint64_t keepConnection) = 0;
    virtual bool PowerOn(std::string& error) = 0;
};

enum class Route { Inquiry, VersionUp, ConfigFile, Restore, NotFound };

// What discovery reports about a camera at one moment.
struct DiscoveryFacts {
    bool up = false;
    std::string version;  // as reported (faults may bend it)
    std::string serial;   // as reported
    bool dhcp = false;
    bool dnsAuto = false;
};

class Camera {
public:
    Camera(CameraSetup setup, EventLog& log, Scheduler& scheduler, double timeScale);
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    void SetPowerSwitch(PowerSwitch* power) { power_ = power; }
    const CameraSetup& Setup() const { return setup_; }
    const std::string& Label() const { return label_; }
    int Scaled(int productionMs) const;

    // Called on the HTTP server's threads.
    Answer Handle(Route route, const Exchange& exchange);
    // Called by the front once the answer is on its way.
    void BeginDowntime(const Downtime& downtime, uint64_t keepConnection);

    DiscoveryFacts Discovery() const;
    void AnnounceStart();

private:
    enum class State { Up, Writing, Rebooting, Reconfiguring, Down };
    enum class Who { Nobody, User, Administrator };

    Answer Inquiry(const Exchange& exchange);
    Answer VersionUp(const Exchange& exchange);
    Answer ConfigDownload(const Exchange& exchange);
    Answer Restore(const Exchange& exchange);
    Answer NotFound(const Exchange& exchange);

    std::string SystemItems() const;
    // The texts the camera reports, as its faults bend them.
    std::string ReportedSerial() const;
    std::string ReportedVersion() const;  // mutex_ held
    std::string FaultsOfSystemReply() const;
    std::string UserItems() const;
    std::string NetworkItems() const;

    bool DecodeCredentials(const Exchange& exchange, std::string& credentials, std::string& reason) const;
    Who Authenticate(const Exchange& exchange, std::string& reason) const;
    Answer Unauthorized(const Exchange& exchange, std::string_view what, const std::string& reason);
    Answer Refusal(const Exchange& exchange, int status, std::string_view what, const std::string& reason);
    void Verdict(const Exchange& exchange, std::string_view what, bool ok, const std::string& reason,
                 const JsonFields& extra);
    void SetState(State state);  // mutex_ held
    void FinishDowntime(const Downtime& downtime);

    const CameraSetup setup_;
    const std::string label_;
    EventLog& log_;
    Scheduler& scheduler_;
    const double timeScale_;
    PowerSwitch* power_ = nullptr;

    mutable std::mutex mutex_;
    CameraSettings settings_;
    std::string version_;
    State state_ = State::Up;
    int restoreTries_ = 0;
    std::chrono::steady_clock::time_point bootTime_;
};

}  // namespace qrv::sim
