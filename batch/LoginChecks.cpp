#include "batch/LoginChecks.h"

#include "engine/ReplyItem.h"
#include "platform/Text.h"

namespace qrv {

LoginChecks::LoginChecks(OwnerPort& owner, TargetGrid& grid, const ModelList& models, Timing timing)
    : owner_(owner), grid_(grid), models_(models), timing_(timing) {}

LoginChecks::~LoginChecks() {
    owner_.StopTimer(kTimerId);
    // Each client stops its inquiry and joins its worker as it goes.
    pending_.clear();
}

int LoginChecks::Start(const std::vector<int>& rows) {
    int queued = 0;
    for (int position : rows) {
        if (position < 0 || position >= grid_.RowCount()) continue;
        const GridRow& row = grid_.Row(position);
        // The stored address, never the text "DHCP" the row may show.
        const std::string credentials = CameraClient::Base64Encode(ToNarrow(row.name + u":" + row.password));
        auto client = std::make_unique<CameraClient>(owner_, FormatAddress8(row.ip, row.port), credentials, models_,
                                                     row.id, nullptr, nullptr, nullptr, row.serial, timing_);
        pending_.push_back(Pending{row.key, std::move(client)});
        ++queued;
    }
    if (!pending_.empty()) owner_.StartTimer(kTimerId, static_cast<int>(timing_.loginCheckTick.count()));
    return queued;
}

bool LoginChecks::OnTimer(int id) {
    if (id != kTimerId) return false;
    Tick();
    return true;
}

void LoginChecks::Tick() {
    if (inTick_) return;
    inTick_ = true;
    const bool hadPending = !pending_.empty();
    std::size_t place = 0;
    while (place < 2 && place < pending_.size()) {
        Pending& check = pending_[place];
        if (!check.started) {
            check.client->StartInquiry("inq=network");
            check.started = true;
            ++place;
            continue;
        }
        if (!IsFinished(check)) {
            ++place;
            continue;
        }
        Judge(check);
        // The next check moves into this place and is looked at in this tick.
        pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(place));
    }
    if (hadPending && pending_.empty()) {
        owner_.StopTimer(kTimerId);
        if (observer_) observer_->OnLoginChecksFinished();
    }
    inTick_ = false;
}

bool LoginChecks::IsFinished(const Pending& check) const {
    return check.client->IsInquiryDone() ||
           std::chrono::steady_clock::now() - check.client->InquiryStartTime() > timing_.loginCheckLimit;
}

void LoginChecks::Judge(const Pending& check) {
    const int row = grid_.FindRow(check.key);
    if (row < 0) return;
    // Past the limit the camera has not answered; its client, erased right
    // after this, stops the inquiry.
    const std::u16string reply = check.client->IsInquiryDone() ? check.client->InquiryReply() : std::u16string();
    if (const auto mac = ReadMacAddress(reply)) {
        grid_.SetCheckResult(row, CheckResult::Passed);
        if (grid_.Row(row).mac.empty()) grid_.SetMac(row, *mac);
    } else {
        grid_.SetCheckResult(row, CheckResult::Failed);
    }
    if (observer_) observer_->LoginCheckRowChanged(row);
}

}  // namespace qrv
