#pragma once
// Detected cameras enter the target grid: every used slot of the discovery
// table from the grid's current row count on, in slot order, so a camera
// keeps its row once shown and a second refresh adds nothing new.

#include <string>

#include "batch/ListObserver.h"
#include "batch/TargetGrid.h"
#include "discovery/DiscoveryTable.h"

namespace qrv {

struct GridRefresh {
    int added = 0;
    std::u16string counter;       // "%d/%d": rows and 256
    bool targetsHaveCredentials = false;  // Next may be enabled
};

// Address text of a detected camera: "DHCP" when it uses DHCP, else its
// address with the port when that is not 80.
std::u16string DetectedAddressText(const DiscoveredCamera& camera);

// Appends the detected rows (tag -1) between BeginUpdate and EndUpdate of
// `observer` (when given).
GridRefresh RefreshGridFromTable(TargetGrid& grid, const DiscoveryTable& table, ListObserver* observer = nullptr);

// "%d/%d" of the grid's rows and the run's limit.
std::u16string GridCounterText(const TargetGrid& grid);

}  // namespace qrv
