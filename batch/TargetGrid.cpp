#include "batch/TargetGrid.h"

#include <algorithm>

#include "platform/Text.h"

namespace qrv {

std::string FormatAddress8(const AddressBytes& ip, int port) { return CameraAddress{ip, port}.Text8(); }

std::u16string FormatAddress(const AddressBytes& ip, int port) { return CameraAddress{ip, port}.Text(); }

std::u16string GridColumnText(const GridRow& row, GridColumn column) {
    switch (column) {
    case GridColumn::Mac: return row.mac;
    case GridColumn::Address: return row.addressText;
    case GridColumn::Model: return row.model;
    case GridColumn::Serial: return row.serial;
    case GridColumn::Version: return row.version;
    case GridColumn::Name: return row.name;
    default: return {};
    }
}

std::u16string AddressTip(const GridRow& row) {
    return row.addressText == u"DHCP" ? FormatAddress(row.ip, row.port) : std::u16string();
}

std::u16string WebPageUrl(const AddressBytes& ip, int port) { return u"http://" + FormatAddress(ip, port) + u"/"; }

std::u16string ShortenToFit(const std::u16string& text, int columnWidth, int margin, const TextWidth& width) {
    if (text.empty() || width(text) + margin <= columnWidth) return text;
    // The drawing buffer holds 260 characters, "..." and its end included.
    constexpr std::size_t kMostKept = 259;
    const std::u16string_view dots = u"...";
    const int dotsWidth = width(dots);
    const std::u16string_view whole(text);
    std::size_t kept = std::min(text.size() - 1, kMostKept);
    while (kept > 1 && width(whole.substr(0, kept)) + dotsWidth + margin > columnWidth) --kept;
    return text.substr(0, std::max<std::size_t>(kept, 1)) + std::u16string(dots);
}

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
    row.key = nextKey_++;
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
    if (observer_) observer_->RowsInserting(at, at);
    rows_.insert(rows_.begin() + at, std::move(row));
    for (int i = at; i < RowCount(); ++i) rows_[i].id = i;
    if (observer_) observer_->RowsChanged();
    return true;
}

void TargetGrid::DeleteAllRows() {
    if (observer_ && !rows_.empty()) observer_->RowsRemoving(0, RowCount() - 1);
    rows_.clear();
    if (observer_) observer_->RowsChanged();
}

void TargetGrid::RowChanged(int row) {
    if (observer_) observer_->RowChanged(row);
}

void TargetGrid::SetTarget(int row, bool target) {
    rows_.at(row).target = target ? 1 : 0;
    RowChanged(row);
}

void TargetGrid::SetCredentials(int row, const std::u16string& name, const std::u16string& password) {
    GridRow& r = rows_.at(row);
    r.name = name;
    r.password = password;
    RowChanged(row);
}

void TargetGrid::SetCheckResult(int row, CheckResult result) {
    rows_.at(row).checkResult = result;
    RowChanged(row);
}

void TargetGrid::SetMac(int row, const std::u16string& mac) {
    rows_.at(row).mac = mac;
    RowChanged(row);
}

UpgradeTarget TargetGrid::GetUpgradeTarget(int row, bool& target) const {
    const GridRow& r = rows_.at(row);
    target = r.target != 0;
    return UpgradeTarget{r.name, r.password, r.model, r.version, r.serial, r.ip, r.port, r.addressText == u"DHCP", r.mac};
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

int TargetGrid::FindRow(int key) const {
    const auto it = std::find_if(rows_.begin(), rows_.end(), [key](const GridRow& row) { return row.key == key; });
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

// ---- target flags ----------------------------------------------------------------

void TargetGrid::PressCheckBox(int pressed, const std::vector<int>& selected) {
    if (pressed < 0 || pressed >= RowCount()) return;
    const bool inSelection = std::find(selected.begin(), selected.end(), pressed) != selected.end();
    if (selected.size() == 1 || !inSelection) {
        rows_[pressed].target ^= 1;
        RowChanged(pressed);
        return;
    }
    const int flag = rows_[pressed].target ? 0 : 1;
    for (int row : selected) {
        if (row >= 0 && row < RowCount()) rows_[row].target = flag;
    }
    if (observer_) observer_->RowsChanged();
}

bool TargetGrid::PressSpace(int focused, const std::vector<int>& selected) {
    if (focused < 0 || focused >= RowCount()) return false;
    if (std::find(selected.begin(), selected.end(), focused) == selected.end()) return false;
    const int flag = rows_[focused].target ? 0 : 1;
    for (int row : selected) {
        if (row >= 0 && row < RowCount()) rows_[row].target = flag;
    }
    if (observer_) observer_->RowsChanged();
    return true;
}

// ---- sorting -----------------------------------------------------------------------

bool TargetGrid::SortByColumn(int column, std::vector<int>& keep) {
    if (column == sortColumn_) {
        ascending_ = !ascending_;
    } else {
        sortColumn_ = column;
        ascending_ = true;
    }
    if (column < 0 || column >= static_cast<int>(GridColumn::Count)) return false;

    std::vector<int> order(rows_.size());
    for (int i = 0; i < RowCount(); ++i) order[i] = i;
    if (column == static_cast<int>(GridColumn::Target)) {
        const bool allSame = std::all_of(rows_.begin(), rows_.end(),
                                         [&](const GridRow& row) { return row.target == rows_.front().target; });
        if (allSame) return false;
        // Ascending puts the rows that are not targets first.
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return ascending_ ? rows_[a].target < rows_[b].target : rows_[a].target > rows_[b].target;
        });
    } else {
        const auto col = static_cast<GridColumn>(column);
        std::vector<std::u16string> texts;
        texts.reserve(rows_.size());
        for (const GridRow& row : rows_) texts.push_back(GridColumnText(row, col));
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return ascending_ ? texts[a] < texts[b] : texts[b] < texts[a]; });
    }

    std::vector<GridRow> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> newPosition(rows_.size());
    for (int i = 0; i < RowCount(); ++i) {
        newPosition[order[i]] = i;
        sorted.push_back(std::move(rows_[order[i]]));
        sorted.back().id = i;
    }
    rows_ = std::move(sorted);
    for (int& position : keep) {
        if (position >= 0 && position < RowCount()) position = newPosition[position];
    }
    return true;
}

}  // namespace qrv
