#include "batch/GridRefresh.h"

#include <algorithm>

#include "platform/Text.h"

namespace qrv {

std::u16string DetectedAddressText(const DiscoveredCamera& camera) {
    if (camera.dhcp) return u"DHCP";
    return FormatAddress(camera.ip, camera.port);
}

std::u16string GridCounterText(const TargetGrid& grid) {
    return ToWide(std::to_string(grid.RowCount()) + '/' + std::to_string(kMaxListedCameras));
}

GridRefresh RefreshGridFromTable(TargetGrid& grid, const DiscoveryTable& table, ListObserver* observer) {
    if (observer) observer->BeginUpdate();
    GridRefresh result;
    const std::vector<DiscoveredCamera> slots = table.Snapshot();
    const int count = std::min(static_cast<int>(slots.size()), DiscoveryTable::kSlots);
    for (int slot = grid.RowCount(); slot < count; ++slot) {
        const DiscoveredCamera& camera = slots[slot];
        if (FieldText(camera.mac).empty()) continue;
        const bool added = grid.AddRow(grid.RowCount(), ToWide(FieldText(camera.mac)), DetectedAddressText(camera),
                                       ToWide(FieldText(camera.model)), ToWide(FieldText(camera.serial)),
                                       ToWide(FieldText(camera.version)), camera.ip, camera.port, -1);
        if (added) ++result.added;
    }
    result.counter = GridCounterText(grid);
    result.targetsHaveCredentials = grid.TargetsHaveCredentials();
    if (observer) observer->EndUpdate();
    return result;
}

}  // namespace qrv
