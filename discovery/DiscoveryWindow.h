#pragma once
// The one discovery window of a run, driven by its owner's timer: the request
// goes out at the start and again at the first tick; the second tick ends
// discovery. The owner (the wizard, the command line) starts it with Begin,
// hands every timer tick to OnTimer, and calls StopAndWait when it closes early.

#include <vector>

#include "discovery/DiscoveryService.h"
#include "discovery/DiscoveryTable.h"
#include "engine/Timing.h"
#include "platform/OwnerPort.h"

namespace qrv {

class DiscoveryWindow {
public:
    // Timer identifier reserved for discovery; no other timer of an owner uses it.
    static constexpr int kTimerId = 0x8001;

    // `scope`: every interface (the default: the wizard) or one.
    DiscoveryWindow(DiscoveryTable& table, OwnerPort& owner, const Timing& timing = Timing::Production(),
                    DiscoveryScope scope = {});
    ~DiscoveryWindow();
    DiscoveryWindow(const DiscoveryWindow&) = delete;
    DiscoveryWindow& operator=(const DiscoveryWindow&) = delete;

    // Starts the service, starts the timer (discoveryTick), zeroes the tick
    // count and sends the first request. Does nothing when already begun.
    void Begin();
    // Handles a tick of the owner's timer; false when `timerId` is not ours.
    bool OnTimer(int timerId);
    // For Cancel and close: stops the timer and the receive thread and waits
    // for its end. Safe to call twice, or when Begin never ran.
    void StopAndWait();

    // True from Begin until the receive thread has ended.
    bool IsRunning() const { return service_.IsRunning(); }
    // True once Begin ran and the receive thread has ended.
    bool HasEnded() const { return begun_ && !service_.IsRunning(); }
    int Ticks() const { return ticks_; }
    std::vector<DiscoveredCamera> Snapshot() const { return table_.Snapshot(); }
    DiscoveryService& Service() { return service_; }

private:
    DiscoveryTable& table_;
    OwnerPort& owner_;
    Timing timing_;
    DiscoveryService service_;
    bool begun_ = false;
    int ticks_ = 0;
};

}  // namespace qrv
