#pragma once
// The entry list of the "Add other cameras" dialog, without any window: rows
// typed in, pasted or loaded from a file, each camera asked over HTTP
// (inq=system) whether it is a suitable camera, at most two at a time, on the
// owner's 500 ms inquiry timer. A row may join the target grid only when its
// camera answered as a supported model with an allowed serial and its address
// is neither twice in this list nor already in the grid.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "batch/ListObserver.h"
#include "batch/TargetGrid.h"
#include "engine/CameraAddress.h"
#include "engine/CameraClient.h"
#include "engine/Timing.h"

namespace qrv {

struct AddCameraItem {
    enum class Verdict { Unknown = 0, Suitable = 1, Unsuitable = 2 };
    enum class Conflict { None = 0, InList = 1, InGrid = 2 };
    // Where the camera's inquiry stands; the model column names it until the
    // camera has told its model.
    enum class Inquiry { None, Queued, Searching, NoResponse, NotACamera, Identified };

    int number = 0;            // 1-based; shown as "%03d"
    CameraAddress address;     // the last address entered until one is given
    bool addressGiven = false; // the address column shows the address
    Inquiry inquiry = Inquiry::None;
    std::u16string model;      // as the camera named it (Identified)
    std::u16string serial;
    std::u16string version;
    bool queued = false;       // the row has an address and its camera is (to be) asked
    Verdict verdict = Verdict::Unknown;
    Conflict conflict = Conflict::None;
};

enum class AddCameraColumn { Number = 0, Address, Model, Serial, Version, Count };

// What a column shows for the row: the model column shows the model or where
// the inquiry stands.
std::u16string AddCameraColumnText(const AddCameraItem& item, AddCameraColumn column);

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
    // The model column's text (model or status), version and serial of the
    // row with this number; empty for an unknown number.
    std::u16string ModelText(int number) const;
    std::u16string Version(int number) const;
    std::u16string Serial(int number) const;

    // ---- selection (one row at most) ------------------------------------------
    void SelectRow(int row);
    int SelectedRow() const;  // first selected row, or -1
    void SelectNextRow();
    void SelectPreviousRow();
    void SelectLastRow();

    // ---- sorting ----------------------------------------------------------------
    // A press on the header of `column`: the same column again flips the
    // direction, another one sorts ascending. Column 0 puts the highest row
    // number first when ascending; columns 1..4 compare their texts code unit
    // by code unit. The selected row stays selected. Returns whether the rows
    // were reordered (other columns only change the remembered direction).
    bool SortByColumn(int column);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }

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
    int selected_ = -1;  // the one selected row, or -1
    AddressBytes lastIp_{192, 168, 0, 100};
    int lastPort_ = kDefaultHttpPort;
    bool inTick_ = false;
    int sortColumn_ = -1;
    bool ascending_ = true;
};

}  // namespace qrv
