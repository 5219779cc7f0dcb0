#include "discovery/TargetGrid.h"

#include <algorithm>

#include "platform/Text.h"

namespace qrv {

std::string FormatAddress8(const AddressBytes& ip, int port) {
    std::string text = std::to_string(ip[0]) + '.' + std::to_string(ip[1]) + '.' + std::to_string(ip[2]) + '.' +
                       std::to_string(ip[3]);
    if (port != kDefaultHttpPort) text += ':' + std::to_string(port);
    return text;
}

std::u16string FormatAddress(const AddressBytes& ip, int port) { return ToWide(FormatAddress8(ip, port)); }

bool TargetGrid::IsDuplicate(const std::u16string& mac, const std::u16string& serial) const {
    if (!mac.empty()) {
        return std::any_of(rows_.begin(), rows_.end(), [&](const GridRow& row) { return row.mac == mac; });
    }
    if (!serial.empty()) {
        return std::any_of(rows_.begin(), rows_.end(), [&](const GridRow& row) { return row.serial == serial; });
    }
    // Neither key: the first row counts as the same camera.
    return !rows_.empty();
}

bool TargetGrid::AddRow(int position, const std::u16string& mac, const std::u16string& addressText,
                        const std::u16string& model, const std::u16string& serial, const std::u16string& version,
                        const AddressBytes& ip, int port, int tag) {
    if (IsDuplicate(mac, serial)) return false;
    GridRow row;
    row.id = position;
    row.tag = tag;
    row.mac = mac;
    row.addressText = addressText;
    row.model = model;
    row.serial = serial;
    row.version = version;
    row.ip = ip;
    row.port = port;
    // Callers give the current row count; anything else is clamped to it.
    const int at = std::clamp(position, 0, RowCount());
    rows_.insert(rows_.begin() + at, std::move(row));
    for (int i = at; i < RowCount(); ++i) rows_[i].id = i;
    return true;
}

void TargetGrid::SetCredentials(int row, const std::u16string& name, const std::u16string& password) {
    GridRow& r = rows_.at(row);
    r.name = name;
    r.password = password;
}

UpgradeTarget TargetGrid::GetUpgradeTarget(int row, bool& target) const {
    const GridRow& r = rows_.at(row);
    target = r.target != 0;
    return UpgradeTarget{r.name, r.password, r.model, r.version, r.serial, r.ip, r.port, r.addressText == u"DHCP"};
}

bool TargetGrid::TargetsHaveCredentials() const {
    bool any = false;
    for (const GridRow& row : rows_) {
        if (!row.target) continue;
        if (row.name.empty() || row.password.empty()) return false;
        any = true;
    }
    return any;
}

}  // namespace qrv
