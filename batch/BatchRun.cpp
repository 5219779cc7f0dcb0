#include "batch/BatchRun.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "batch/ListTexts.h"
#include "engine/JobStage.h"
#include "engine/ReplyItem.h"
#include "platform/Text.h"

namespace qrv {

namespace {

std::u16string IdText(int index) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", index + 1);
    return ToWide(text);
}

bool IsTransferring(int stage) { return stage == kSavingConfig || stage == kUploading; }

}  // namespace

std::u16string ProgressColumnText(const ProgressItem& item, ProgressColumn column) {
    switch (column) {
    case ProgressColumn::Id: return IdText(item.index);
    case ProgressColumn::Address: return item.address.Text();
    case ProgressColumn::Model: return item.model;
    case ProgressColumn::Version: return item.version;
    case ProgressColumn::Status: return ListStageText(item.stage);
    case ProgressColumn::Progress:
    case ProgressColumn::Count: break;
    }
    return {};
}

BatchRun::BatchRun(OwnerPort& owner, const FirmwarePackage& package, Timing timing)
    : owner_(owner), package_(package), timing_(timing) {}

BatchRun::~BatchRun() {
    owner_.StopTimer(kSchedulerTimer);
    queue_.clear();
}

void BatchRun::Clear() {
    owner_.StopTimer(kSchedulerTimer);
    queue_.clear();
    if (observer_ && !rows_.empty()) observer_->RowsRemoving(0, RowCount() - 1);
    rows_.clear();
    cancel_ = false;
    if (observer_) observer_->RowsChanged();
}

int BatchRun::AddRow(const UpgradeTarget& target) {
    // Timer ids carry the row index in one byte (0x8100 + row).
    if (RowCount() >= kMaxListedCameras) return -1;
    const int index = RowCount();
    auto row = std::make_unique<ProgressItem>();
    row->index = index;
    row->address = CameraAddress{target.ip, target.port};
    row->model = target.model;
    row->version = target.version;
    row->name = target.name;
    row->dhcp = target.dhcp ? 1 : 0;
    row->versionBefore = target.version;
    row->serial = target.serial;
    row->mac = target.mac;

    std::string account = ToNarrow(target.name + u":" + target.password);
    std::string credentials = CameraClient::Base64Encode(account);
    Wipe(account);
    auto job = std::make_unique<UpgradeJob>(owner_, row->address.Text8(), credentials,
                                            package_.Models(), index, &retain_, &deleteAfterRestore_, &batchTime_,
                                            target.serial, timing_);
    Wipe(credentials);
    // Bound once, before anything runs: the row outlives its job, and the
    // counter makes the job automatic (stage codes instead of boxes).
    job->Client().SetProgress(nullptr, &row->progress);
    if (observer_) observer_->RowsInserting(index, index);
    rows_.push_back(std::move(row));
    queue_.push_back(Entry{index, std::move(job)});
    if (observer_) observer_->RowsChanged();
    return index;
}

int BatchRun::AddTargets(const TargetGrid& grid) {
    int added = 0;
    for (int row = 0; row < grid.RowCount(); ++row) {
        bool isTarget = false;
        const UpgradeTarget target = grid.GetUpgradeTarget(row, isTarget);
        if (isTarget && AddRow(target) >= 0) ++added;
    }
    return added;
}

void BatchRun::SetRunParameters(bool retain, bool deleteAfterRestore, WallTime batchTime) {
    retain_ = retain ? 1 : 0;
    deleteAfterRestore_ = deleteAfterRestore ? 1 : 0;
    batchTime_ = batchTime;
}

std::optional<int> ParseParallelJobs(std::string_view text) {
    int jobs = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (jobs < 1 || jobs > kMaxListedCameras) return std::nullopt;
    return jobs;
}

void BatchRun::SetParallelJobs(int jobs) {
    parallelJobs_ = static_cast<std::size_t>(std::clamp(jobs, 1, kMaxListedCameras));
}

void BatchRun::StartScheduler() {
    owner_.StartTimer(kSchedulerTimer, static_cast<int>(timing_.schedulerTick.count()));
}

bool BatchRun::OnTimer(int id) {
    if (id == kSchedulerTimer) {
        SchedulerTick();
        return true;
    }
    int row = -1;
    if (id >= kJobTickTimer && id < kJobTickTimer + kMaxListedCameras) row = id - kJobTickTimer;
    if (id >= kReconfigureTimer && id < kReconfigureTimer + kMaxListedCameras) row = id - kReconfigureTimer;
    if (row < 0) return false;
    UpgradeJob* job = FindJob(row);
    // A job that has left the queue has no timers any more.
    if (!job) return false;
    job->OnJobTimer(id);
    return true;
}

UpgradeJob* BatchRun::FindJob(int row) {
    for (Entry& entry : queue_) {
        if (entry.row == row) return entry.job.get();
    }
    return nullptr;
}

BatchRun::Backup BatchRun::BackupOf(int row) const {
    for (const Entry& entry : queue_) {
        if (entry.row != row) continue;
        // A save still under way has no configuration to show yet. Once the
        // job is stopped, a save that ended whole has (a failed or stopped
        // one was removed), even if the stop came before the upload began.
        if (entry.job->Stage() < kSavingConfig) return Backup{};
        if (entry.job->Stage() == kSavingConfig && entry.job->IsWorking()) return Backup{};
        return Backup{entry.job->BackupPath(), entry.job->IsRestored(), entry.job->NotSeenAfterRestore(),
                      entry.job->LocalSaveFailure()};
    }
    const ProgressItem& item = *rows_.at(row);
    return Backup{item.configPath, item.configRestored, item.notSeenAfterRestore, item.saveFailure};
}

void BatchRun::SetCancel() {
    cancel_ = true;
    // A camera that drips its configuration must not hold the batch.
    for (Entry& entry : queue_) entry.job->AbortSave();
}

void BatchRun::StopJobs() {
    for (Entry& entry : queue_) entry.job->Stop();
}

bool BatchRun::IsStarting(int row) const {
    return std::any_of(queue_.begin(), queue_.end(),
                       [row](const Entry& e) { return e.row == row && e.step != StartStep::None; });
}

// ---- the scheduler -----------------------------------------------------------------

void BatchRun::SchedulerTick() {
    if (inTick_) return;
    inTick_ = true;
    TickState tick;
    std::size_t place = 0;
    // The first jobs of the queue run; those behind them wait. A job starts
    // only behind jobs that have all started, so the transfer check of the
    // ones ahead covers every running job.
    while (place < parallelJobs_ && place < queue_.size()) {
        // A job that leaves the queue makes room for the next, which is then
        // the second one handled in this tick.
        if (!HandleEntry(place, tick)) ++place;
        DropUnstartedOnCancel();
    }
    for (std::size_t later = parallelJobs_; later < queue_.size(); ++later) {
        SetStatus(queue_[later].row, queue_[later].job->Stage());
    }
    if (queue_.empty()) {
        owner_.StopTimer(kSchedulerTimer);
        cancel_ = false;
    }
    inTick_ = false;
}

bool BatchRun::HandleEntry(std::size_t place, TickState& tick) {
    Entry& entry = queue_[place];
    // A camera found back from reconfiguring ends its job in this tick.
    entry.job->ReadReconfigurePoll();
    const int stage = entry.job->Stage();
    if (cancel_ || stage != kStandby) {
        // Abort drops a start that has not been made yet.
        entry.step = StartStep::None;
        if (IsFinalStage(stage)) {
            FinishEntry(entry);
            queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(place));
            return true;
        }
        if (IsTransferring(stage)) tick.transferring = true;
        SetStatus(entry.row, stage);
        return false;
    }
    if (entry.step != StartStep::None) {
        ContinueStart(entry, tick);
        tick.started = true;
        return false;
    }
    if (!tick.started && !tick.transferring && !AnyStarting()) {
        BeginStart(entry);
        tick.started = true;
    }
    SetStatus(entry.row, kStandby);
    return false;
}

// The administrator check is skipped for a camera in its emergency state.
void BatchRun::BeginStart(Entry& entry) {
    rows_[entry.row]->started = WallNow();
    CameraClient& client = entry.job->Client();
    if (client.IsEmergency()) {
        client.StartInquiry("inq=system");
        entry.step = StartStep::DocType;
    } else {
        client.StartInquiry("inq=user");
        entry.step = StartStep::Administrator;
    }
}

void BatchRun::ContinueStart(Entry& entry, const TickState& tick) {
    CameraClient& client = entry.job->Client();
    if (!client.IsInquiryDone()) return;
    if (entry.step == StartStep::Administrator) {
        if (!client.CheckAdministrator(client.InquiryReply())) {
            // The check has set a final stage; the next tick removes the job.
            entry.step = StartStep::None;
            return;
        }
        client.StartInquiry("inq=system");
        entry.step = StartStep::DocType;
        return;
    }
    // Only a job ahead of this one could still be saving or uploading; the
    // start waits for it with the camera's answer in hand.
    if (tick.transferring) return;
    ProgressItem& row = *rows_[entry.row];
    row.slot = package_.SelectVariant(ToNarrow(ReadDocType(client.InquiryReply())));
    entry.job->SetFirmware(package_.Image(row.slot), ToWide(package_.CarriedVersion()));
    entry.step = StartStep::None;
    entry.job->StartJob();
    SetStatus(entry.row, entry.job->Stage());
}

void BatchRun::FinishEntry(const Entry& entry) {
    ProgressItem& row = *rows_[entry.row];
    const int stage = entry.job->Stage();
    row.stage = stage;
    if (stage == kCompleted) row.version = WithoutVerPrefix(entry.job->Client().VersionNow());
    // Only these outcomes follow an answer the camera gave after its reboot;
    // before that the client's version-now is still the one read at the start.
    if (stage == kCompleted || stage == kError2 || stage == kError7) {
        row.versionAfter = entry.job->Client().VersionNow();
    }
    row.configPath = entry.job->BackupPath();
    row.configRestored = entry.job->IsRestored();
    row.notSeenAfterRestore = entry.job->NotSeenAfterRestore();
    row.saveFailure = entry.job->LocalSaveFailure();
    row.ended = WallNow();
    row.progress = kProgressComplete;
    row.result = stage;
    RowChanged(entry.row);
}

// Once every job left in the queue is still unstarted, an abort drops them
// all; their rows keep progress 0 and result 0, so the log has no line for them.
void BatchRun::DropUnstartedOnCancel() {
    if (!cancel_ || queue_.empty()) return;
    const bool anyStarted =
        std::any_of(queue_.begin(), queue_.end(), [](const Entry& e) { return e.job->Stage() != kStandby; });
    if (anyStarted) return;
    for (const Entry& entry : queue_) rows_[entry.row]->result = 0;
    queue_.clear();
}

bool BatchRun::AnyStarting() const {
    return std::any_of(queue_.begin(), queue_.end(), [](const Entry& e) { return e.step != StartStep::None; });
}

void BatchRun::SetStatus(int row, int stage) {
    // Every stage has a text of its own.
    int& shown = rows_[row]->stage;
    if (shown == stage) return;
    shown = stage;
    RowChanged(row);
}

void BatchRun::RowChanged(int row) {
    if (observer_) observer_->RowChanged(row);
}

// ---- the upgrade log -----------------------------------------------------------------

std::u16string BatchRun::ResultLine(int row) const {
    const ProgressItem& item = *rows_.at(row);
    return qrv::ResultLine(item.model, item.address.Text(), item.dhcp != 0, item.progress.load(), item.result);
}

std::u16string BatchRun::UpgradeLog() const {
    std::u16string log;
    for (int row = 0; row < RowCount(); ++row) log += ResultLine(row);
    return log;
}

}  // namespace qrv
