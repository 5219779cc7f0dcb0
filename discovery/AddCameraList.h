#pragma once
// The entry list of the "Add other cameras" dialog, without any window: rows
// typed in, pasted or loaded from a file, each camera asked over HTTP
// (inq=system) whether it is a suitable camera, at most two at a time, on the
// owner's 500 ms inquiry timer. A row may join the target grid only when its
// camera answered as a supported model with an allowed serial and its address
// is neither twice in this list nor already in the grid.

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "discovery/ListObserver.h"
#include "discovery/TargetGrid.h"
#include "engine/CameraClient.h"
#include "engine/Timing.h"

namespace qrv {

struct AddCameraItem {
    int number = 0;  // 1-based; shown as "%03d"
    // [0] number text, [1] address text, [2] model or status, [3] serial,
    // [4] version; [5]..[7] spare.
    std::array<std::u16string, 8> texts;
    AddressBytes ip{};
    int port = kDefaultHttpPort;
    int selected = 0;  // selection and focus, kept across a re-sort
    int focused = 0;
    int queued = 0;   // the row has an address and its camera is (to be) asked
    int verdict = 0;  // 0 not yet known, 1 suitable camera, 2 not suitable
    int conflict = 0; // 0 none, 1 twice in this list, 2 already in the target grid
};

class AddCameraList {
public:
    static constexpr int kTimerId = 0x800A;

    static constexpr std::u16string_view kQueued = u"Queued...";
    static constexpr std::u16string_view kSearching = u"Searching...";
    static constexpr std::u16string_view kNoResponse = u"No response";
    static constexpr std::u16string_view kNotACamera = u"Not a camera";

    // `owner` runs the inquiry timer and owns the probing clients.
    AddCameraList(OwnerPort& owner, const ModelList& models, Timing timing = Timing::Production());
    // Stops the timer and every pending inquiry.
    ~AddCameraList();
    AddCameraList(const AddCameraList&) = delete;
    AddCameraList& operator=(const AddCameraList&) = delete;

    void SetObserver(AddCameraObserver* observer) { observer_ = observer; }
    // The grid whose addresses give conflict 2 (not owned; null for none).
    void SetTargetGrid(const TargetGrid* grid);

    // ---- rows ------------------------------------------------------------------
    // Appends a row with the next number and the address last entered; returns
    // its index.
    int AppendRow();
    // Stores the address; a new address (or a row not yet queued) with `queue`
    // set shows "Queued..." and puts the camera at the end of the inquiry queue.
    void SetAddress(int row, const AddressBytes& ip, int port, bool queue);
    // Removes the row and its inquiry, renumbers the rows after it and moves
    // the selection to the same position (or the new last row).
    void DeleteRow(int row);
    // Removes every row that never received an address.
    void RemoveUnqueuedRows();

    int RowCount() const { return static_cast<int>(rows_.size()); }
    const AddCameraItem& Row(int row) const { return rows_.at(row); }
    // Index of the row with this number, or -1.
    int FindRow(int number) const;
    // Text [2] (model or status), version and serial of the row with this
    // number; empty for an unknown number.
    std::u16string ModelText(int number) const;
    std::u16string Version(int number) const;
    std::u16string Serial(int number) const;

    // ---- selection (one row at most) ------------------------------------------
    void SelectRow(int row);
    int SelectedRow() const;  // first selected row, or -1
    void SelectNextRow();
    void SelectPreviousRow();
    void SelectLastRow();

    AddressBytes LastAddress() const { return lastIp_; }
    int LastPort() const { return lastPort_; }

    // ---- inquiries -------------------------------------------------------------
    // Handles the inquiry timer; false for any other timer id.
    bool OnTimer(int id);
    // One tick: EnableOk, then the first two pending inquiries are started or,
    // once answered or past the limit, closed and judged.
    void InquiryTick();
    int PendingCount() const { return static_cast<int>(pending_.size()); }

    // Every row has an address whose camera was judged suitable, with no
    // conflict and no inquiry still pending.
    bool AllRowsAcceptable() const;
    bool IsRowAcceptable(int row) const;
    // Appends every acceptable row to `grid` (empty MAC, running number as
    // tag); returns how many the grid took.
    int TransferAcceptableRows(TargetGrid& grid) const;

private:
    struct Pending {
        int number;  // the row's number; follows renumbering
        std::unique_ptr<CameraClient> client;
        bool started = false;
    };

    void DropPending(int number);
    void StartPending(Pending& pending);
    void ClosePending(const Pending& pending);
    bool IsPending(int number) const;
    void RecomputeConflicts();
    void RowChanged(int row);
    void RowsChanged();

    OwnerPort& owner_;
    const ModelList& models_;
    const Timing timing_;
    AddCameraObserver* observer_ = nullptr;
    const TargetGrid* grid_ = nullptr;
    std::vector<AddCameraItem> rows_;
    std::deque<Pending> pending_;
    AddressBytes lastIp_{192, 168, 0, 100};
    int lastPort_ = kDefaultHttpPort;
    bool inTick_ = false;
};

}  // namespace qrv
