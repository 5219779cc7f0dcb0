#pragma once
// The automatic batch without any window: one row per target camera, each
// with its UpgradeJob in a queue that the owner's 33 ms scheduler timer
// drives. At most two jobs run at once, only one starts per tick, and none
// starts while a job ahead of it saves the configuration or uploads, so the
// uploads go out one at a time while earlier cameras reboot.
//
// Before a job starts, the camera's administrator account is checked
// (inq=user) and its DocType read (inq=system) to pick the firmware image.
// Those two inquiries never block the owner: each is started on one tick and
// read on a later one, and while they run the job counts as starting, so no
// other job starts meanwhile.
//
// The list is the owner of its jobs' timers: whoever drives it hands every
// timer tick to OnTimer.

#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>
#include <string>
#include <string_view>
#include <vector>

#include "batch/ListObserver.h"
#include "batch/TargetGrid.h"
#include "engine/CameraAddress.h"
#include "engine/FirmwarePackage.h"
#include "engine/JobStage.h"
#include "engine/Timing.h"
#include "engine/UpgradeJob.h"
#include "platform/Clock.h"

namespace qrv {

struct ProgressItem {
    int index = 0;            // the ID column shows "%03d" of index + 1
    CameraAddress address;    // the camera's real address, also for a DHCP row
    std::u16string model;
    std::u16string version;   // shown; the reported one after a completed job
    std::u16string name;      // the administrator account the job logs in with (its password lives in the job only)
    int stage = kStandby;     // the JobStage the status column names
    std::atomic<int> progress{0};  // 0..6000, written by the row's job
    int result = 0;                // the job's final stage once it left the queue
    int dhcp = 0;                  // the grid showed "DHCP" as the address
    int slot = 0;                  // firmware image chosen for the camera
    std::u16string versionBefore;
    // Kept for the batch report once the job has left the queue.
    std::u16string serial;
    std::u16string mac;
    std::u16string versionAfter;  // what the camera reported after its reboot; empty when it never answered then
    std::string configPath;       // the saved configuration, when the job made one
    bool configRestored = false;
    bool notSeenAfterRestore = false;  // restored, but the camera did not answer again: its .cfg kept
    std::string saveFailure;           // why the save failed on this computer (its path), else empty
    WallTime started{};           // the job's checks began; zero while it waits
    WallTime ended{};             // the job left the queue
};

// A count of parallel jobs as a command line gives it: 1..256, digits only.
std::optional<int> ParseParallelJobs(std::string_view text);

enum class ProgressColumn { Id = 0, Address, Model, Version, Progress, Status, Count };

// What a column shows for the row; nothing for the progress bar's column.
std::u16string ProgressColumnText(const ProgressItem& item, ProgressColumn column);

class BatchRun {
public:
    static constexpr int kSchedulerTimer = 0x8012;
    static constexpr int kProgressComplete = 6000;

    BatchRun(OwnerPort& owner, const FirmwarePackage& package, Timing timing = Timing::Production());
    // Stops the scheduler and every job (their workers are joined).
    ~BatchRun();
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    void SetObserver(ListObserver* observer) { observer_ = observer; }

    // All rows and queued jobs; only before a batch has started.
    void Clear();
    // A row and its job for one target; returns the row index, or -1 once the
    // list holds 256 rows.
    int AddRow(const UpgradeTarget& target);
    // A row for every target row of the grid, in grid order.
    int AddTargets(const TargetGrid& grid);
    // The batch parameters every job reads: save and restore the settings,
    // delete the saved file after a good restore, the batch's time stamp.
    void SetRunParameters(bool retain, bool deleteAfterRestore, WallTime batchTime);

    // How many jobs may run at once (1..256, default 2); at most one of them
    // saves or uploads at any moment whatever the number. Before a batch starts.
    static constexpr int kDefaultParallelJobs = 2;
    void SetParallelJobs(int jobs);
    int ParallelJobs() const { return static_cast<int>(parallelJobs_); }

    // Starts the scheduler timer (schedulerTick).
    void StartScheduler();
    // Scheduler ticks and the jobs' own timers; false for any other id or for
    // a job that has already left the queue.
    bool OnTimer(int id);
    // One tick of the scheduler.
    void SchedulerTick();

    // Abort: no further job starts; a save under way ends at once (as a
    // failed save: its camera got nothing), other started jobs run to their
    // end, then the unstarted ones are dropped.
    void SetCancel();
    // Stops every running job where it stands (an interrupted batch): what
    // each has saved is then settled before its record is taken.
    void StopJobs();
    bool CancelRequested() const { return cancel_; }

    int QueuedCount() const { return static_cast<int>(queue_.size()); }
    bool IsRunning() const { return !queue_.empty(); }
    // The queued job of a row, or null once it has left the queue.
    UpgradeJob* FindJob(int row);
    // True while the job of the row checks the camera before its start.
    bool IsStarting(int row) const;

    int RowCount() const { return static_cast<int>(rows_.size()); }
    const ProgressItem& Row(int row) const { return *rows_.at(row); }
    // A row's saved configuration and whether it was restored: asked of its
    // job while that is still queued (a batch interrupted mid-way), else as
    // the job left them in the row.
    struct Backup {
        std::string path;
        bool restored = false;
        bool notSeenAfterRestore = false;
        std::string saveFailure;  // the save failed on this computer: why, with the path
    };
    Backup BackupOf(int row) const;

    // The upgrade log's line of a row, and all lines in row order.
    std::u16string ResultLine(int row) const;
    std::u16string UpgradeLog() const;

private:
    enum class StartStep { None, Administrator, DocType };
    struct Entry {
        int row;
        std::unique_ptr<UpgradeJob> job;
        StartStep step = StartStep::None;
    };
    // What the tick has seen so far, in queue order.
    struct TickState {
        bool started = false;       // a job started, or is starting, in this tick
        bool transferring = false;  // a job handled before is in stage 2 or 3
    };

    // Returns true when the entry left the queue.
    bool HandleEntry(std::size_t place, TickState& tick);
    void BeginStart(Entry& entry);
    void ContinueStart(Entry& entry, const TickState& tick);
    void FinishEntry(const Entry& entry);
    void DropUnstartedOnCancel();
    bool AnyStarting() const;
    void SetStatus(int row, int stage);
    void RowChanged(int row);

    OwnerPort& owner_;
    const FirmwarePackage& package_;
    const Timing timing_;
    ListObserver* observer_ = nullptr;

    // Read by the jobs' workers; written only before a batch starts.
    std::atomic<int> retain_{1};
    std::atomic<int> deleteAfterRestore_{1};
    WallTime batchTime_{};

    std::vector<std::unique_ptr<ProgressItem>> rows_;
    std::deque<Entry> queue_;  // declared after the rows: jobs go first
    bool cancel_ = false;
    bool inTick_ = false;
    std::size_t parallelJobs_ = kDefaultParallelJobs;
};

}  // namespace qrv
