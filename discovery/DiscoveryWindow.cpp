#include "discovery/DiscoveryWindow.h"

#include <utility>

namespace qrv {

DiscoveryWindow::DiscoveryWindow(DiscoveryTable& table, OwnerPort& owner, const Timing& timing, DiscoveryScope scope)
    : table_(table), owner_(owner), timing_(timing), service_(table, &owner, timing, std::move(scope)) {}

DiscoveryWindow::~DiscoveryWindow() {
    StopAndWait();
}

void DiscoveryWindow::Begin() {
    if (begun_) return;
    begun_ = true;
    service_.Start();
    owner_.StartTimer(kTimerId, static_cast<int>(timing_.discoveryTick.count()));
    ticks_ = 0;
    service_.SendRequest();  // a failed send is reported by the service itself
}

bool DiscoveryWindow::OnTimer(int timerId) {
    if (timerId != kTimerId) return false;
    if (ticks_ == 0) {
        service_.SendRequest();
        ticks_ = 1;
    } else {
        owner_.StopTimer(kTimerId);
        table_.RequestStop();
        ticks_ = 2;
    }
    return true;
}

void DiscoveryWindow::StopAndWait() {
    if (begun_) owner_.StopTimer(kTimerId);
    service_.StopAndWait();
}

}  // namespace qrv
