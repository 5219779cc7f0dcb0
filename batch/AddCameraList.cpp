#include "batch/AddCameraList.h"

#include <algorithm>
#include <cstdio>

#include "batch/ListTexts.h"
#include "serial_protect/SerialRules.h"

namespace qrv {

namespace {

std::u16string NumberText(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", number);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

// The probing clients send this in place of Base64 credentials: inq=system
// is answered to anyone.
constexpr const char* kNoCredentials = ":";

std::u16string ModelColumnText(const AddCameraItem& item) {
    using Inquiry = AddCameraItem::Inquiry;
    switch (item.inquiry) {
    case Inquiry::None: return {};
    case Inquiry::Queued: return std::u16string(AddCameraList::kQueued);
    case Inquiry::Searching: return std::u16string(AddCameraList::kSearching);
    case Inquiry::NoResponse: return std::u16string(AddCameraList::kNoResponse);
    case Inquiry::NotACamera: return std::u16string(AddCameraList::kNotACamera);
    case Inquiry::Identified: return item.model;
    }
    return {};
}

}  // namespace

std::u16string AddCameraColumnText(const AddCameraItem& item, AddCameraColumn column) {
    switch (column) {
    case AddCameraColumn::Number: return NumberText(item.number);
    case AddCameraColumn::Address: return item.addressGiven ? item.address.Text() : std::u16string();
    case AddCameraColumn::Model: return ModelColumnText(item);
    case AddCameraColumn::Serial: return item.serial;
    case AddCameraColumn::Version: return item.version;
    case AddCameraColumn::Count: break;
    }
    return {};
}

AddCameraList::AddCameraList(OwnerPort& owner, const ModelList& models, Timing timing)
    : owner_(owner), models_(models), timing_(timing) {}

AddCameraList::~AddCameraList() {
    owner_.StopTimer(kTimerId);
    pending_.clear();
}

void AddCameraList::SetTargetGrid(const TargetGrid* grid) {
    grid_ = grid;
    RecomputeConflicts();
    RowsChanged();
}

// ---- rows ------------------------------------------------------------------------

int AddCameraList::AppendRow() {
    AddCameraItem row;
    row.number = RowCount() + 1;
    row.address = CameraAddress{lastIp_, lastPort_};
    if (observer_) observer_->RowsInserting(RowCount(), RowCount());
    rows_.push_back(std::move(row));
    RowsChanged();
    return RowCount() - 1;
}

void AddCameraList::SetAddress(int row, const AddressBytes& ip, int port, bool queue) {
    AddCameraItem& item = rows_.at(row);
    const CameraAddress address{ip, port};
    const bool sameAddress = item.addressGiven && item.address == address;
    item.address = address;
    if (!sameAddress || !item.queued) {
        item.addressGiven = true;
        item.queued = queue;
        // An answer about the old address must not land on the new one.
        DropPending(item.number);
        if (queue) {
            item.inquiry = AddCameraItem::Inquiry::Queued;
            item.model.clear();
            item.serial.clear();
            item.version.clear();
            item.verdict = AddCameraItem::Verdict::Unknown;
            pending_.push_back(Pending{item.number,
                                       std::make_unique<CameraClient>(owner_, address.Text8(), kNoCredentials,
                                                                      models_, item.number, nullptr, nullptr, nullptr,
                                                                      std::u16string(), timing_)});
            owner_.StartTimer(kTimerId, static_cast<int>(timing_.addInquiryTick.count()));
        }
    }
    RecomputeConflicts();
    lastIp_ = ip;
    lastPort_ = port;
    RowsChanged();
}

void AddCameraList::DeleteRow(int row) {
    if (row < 0 || row >= RowCount()) return;
    const int selectedBefore = SelectedRow();
    const int number = rows_[row].number;
    DropPending(number);
    for (AddCameraItem& item : rows_) {
        if (item.number > number) --item.number;
    }
    // The pending inquiries follow their rows' new numbers.
    for (Pending& pending : pending_) {
        if (pending.number > number) --pending.number;
    }
    if (observer_) observer_->RowsRemoving(row, row);
    rows_.erase(rows_.begin() + row);
    selected_ = -1;
    RecomputeConflicts();
    if (!rows_.empty()) {
        if (selectedBefore >= 0) SelectRow(std::min(selectedBefore, RowCount() - 1));
        RowsChanged();
        if (observer_) observer_->RefreshButtons();
    } else {
        RowsChanged();
    }
}

void AddCameraList::RemoveUnqueuedRows() {
    for (int row = RowCount() - 1; row >= 0; --row) {
        if (!rows_[row].queued) DeleteRow(row);
    }
}

int AddCameraList::FindRow(int number) const {
    for (int row = 0; row < RowCount(); ++row) {
        if (rows_[row].number == number) return row;
    }
    return -1;
}

std::u16string AddCameraList::ModelText(int number) const {
    const int row = FindRow(number);
    return row < 0 ? std::u16string() : AddCameraColumnText(rows_[row], AddCameraColumn::Model);
}

std::u16string AddCameraList::Version(int number) const {
    const int row = FindRow(number);
    return row < 0 ? std::u16string() : rows_[row].version;
}

std::u16string AddCameraList::Serial(int number) const {
    const int row = FindRow(number);
    return row < 0 ? std::u16string() : rows_[row].serial;
}

// ---- selection -------------------------------------------------------------------

bool AddCameraList::SortByColumn(int column) {
    if (column == sortColumn_) {
        ascending_ = !ascending_;
    } else {
        sortColumn_ = column;
        ascending_ = true;
    }
    if (column < 0 || column >= static_cast<int>(AddCameraColumn::Count)) return false;
    const int selectedNumber = selected_ >= 0 ? rows_[selected_].number : 0;
    const auto key = static_cast<AddCameraColumn>(column);
    // Ascending on column 0 means the highest number first.
    const bool byNumber = key == AddCameraColumn::Number;
    const bool ascending = byNumber ? !ascending_ : ascending_;
    std::stable_sort(rows_.begin(), rows_.end(), [&](const AddCameraItem& a, const AddCameraItem& b) {
        if (byNumber) return ascending ? a.number < b.number : a.number > b.number;
        const std::u16string left = AddCameraColumnText(a, key);
        const std::u16string right = AddCameraColumnText(b, key);
        return ascending ? left < right : right < left;
    });
    if (selectedNumber > 0) selected_ = FindRow(selectedNumber);
    RowsChanged();
    return true;
}

void AddCameraList::SelectRow(int row) { selected_ = row >= 0 && row < RowCount() ? row : -1; }

int AddCameraList::SelectedRow() const { return selected_; }

void AddCameraList::SelectNextRow() {
    const int row = SelectedRow();
    if (row + 1 < RowCount()) SelectRow(row + 1);
}

void AddCameraList::SelectPreviousRow() {
    const int row = SelectedRow();
    if (row > 0) SelectRow(row - 1);
}

void AddCameraList::SelectLastRow() {
    if (!rows_.empty()) SelectRow(RowCount() - 1);
}

// ---- inquiries -------------------------------------------------------------------

bool AddCameraList::OnTimer(int id) {
    if (id != kTimerId) return false;
    InquiryTick();
    return true;
}

void AddCameraList::InquiryTick() {
    // A box or a wait inside a tick may let the next tick in.
    if (inTick_) return;
    inTick_ = true;
    if (observer_) observer_->EnableOk(pending_.empty());
    std::size_t place = 0;
    while (place < 2 && place < pending_.size()) {
        Pending& pending = pending_[place];
        if (!pending.started) {
            StartPending(pending);
            ++place;
            continue;
        }
        const bool overdue = std::chrono::steady_clock::now() - pending.client->InquiryStartTime() >
                             timing_.addInquiryLimit;
        if (!pending.client->IsInquiryDone() && !overdue) {
            ++place;
            continue;
        }
        ClosePending(pending);
        // The next inquiry moves into this place and is handled in this tick.
        pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(place));
    }
    if (pending_.empty()) {
        owner_.StopTimer(kTimerId);
        if (observer_) observer_->EnableOk(true);
    }
    inTick_ = false;
}

void AddCameraList::StartPending(Pending& pending) {
    pending.client->StartInquiry("inq=system");
    pending.started = true;
    const int row = FindRow(pending.number);
    if (row < 0) return;
    rows_[row].inquiry = AddCameraItem::Inquiry::Searching;
    rows_[row].verdict = AddCameraItem::Verdict::Suitable;
    RowChanged(row);
}

void AddCameraList::ClosePending(const Pending& pending) {
    const int row = FindRow(pending.number);
    if (row < 0) return;
    CameraClient& client = *pending.client;
    // Past the limit the camera has not answered: the reply stays empty.
    const std::u16string reply = client.IsInquiryDone() ? client.InquiryReply() : std::u16string();
    std::u16string model;
    std::u16string serial;
    const bool identified = client.ReadIdentity(reply, model, serial, false);
    AddCameraItem& item = rows_[row];
    if (reply.empty()) {
        item.inquiry = AddCameraItem::Inquiry::NoResponse;
    } else if (!identified) {
        item.inquiry = AddCameraItem::Inquiry::NotACamera;
    } else {
        item.inquiry = AddCameraItem::Inquiry::Identified;
        item.model = model;
    }
    item.serial = serial;
    item.version = WithoutVerPrefix(client.VersionBefore());
    item.verdict = identified && ns_serial_protect::IsSerialAllowed(serial) ? AddCameraItem::Verdict::Suitable
                                                                            : AddCameraItem::Verdict::Unsuitable;
    RowChanged(row);
}

void AddCameraList::DropPending(int number) {
    std::erase_if(pending_, [number](const Pending& pending) { return pending.number == number; });
}

bool AddCameraList::IsPending(int number) const {
    return std::any_of(pending_.begin(), pending_.end(),
                       [number](const Pending& pending) { return pending.number == number; });
}

// Only rows with an address take part: a row still waiting for one holds
// the last address entered and would otherwise mark its twin.
void AddCameraList::RecomputeConflicts() {
    using Conflict = AddCameraItem::Conflict;
    for (AddCameraItem& item : rows_) item.conflict = Conflict::None;
    for (AddCameraItem& item : rows_) {
        if (!item.queued) continue;
        for (const AddCameraItem& other : rows_) {
            if (&other != &item && other.queued && other.address.ip == item.address.ip) {
                item.conflict = Conflict::InList;
            }
        }
    }
    if (!grid_) return;
    for (AddCameraItem& item : rows_) {
        if (!item.queued) continue;
        for (const GridRow& gridRow : grid_->Rows()) {
            if (gridRow.ip == item.address.ip) item.conflict = Conflict::InGrid;
        }
    }
}

bool AddCameraList::IsRowAcceptable(int row) const {
    const AddCameraItem& item = rows_.at(row);
    return item.queued && item.conflict == AddCameraItem::Conflict::None &&
           item.verdict == AddCameraItem::Verdict::Suitable && !IsPending(item.number);
}

bool AddCameraList::AllRowsAcceptable() const {
    for (int row = 0; row < RowCount(); ++row) {
        if (!IsRowAcceptable(row)) return false;
    }
    return true;
}

int AddCameraList::TransferAcceptableRows(TargetGrid& grid) const {
    int taken = 0;
    int running = 0;
    for (int row = 0; row < RowCount(); ++row) {
        if (!IsRowAcceptable(row)) continue;
        const AddCameraItem& item = rows_[row];
        if (grid.AddRow(grid.RowCount(), u"", item.address.Text(), AddCameraColumnText(item, AddCameraColumn::Model),
                        item.serial, item.version, item.address.ip, item.address.port, running)) {
            ++taken;
        }
        ++running;
    }
    return taken;
}

void AddCameraList::RowChanged(int row) {
    if (observer_) observer_->RowChanged(row);
}

void AddCameraList::RowsChanged() {
    if (observer_) observer_->RowsChanged();
}

}  // namespace qrv
