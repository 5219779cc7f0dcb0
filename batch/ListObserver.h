#pragma once
// What the camera lists tell the controls that show them. The window program
// implements these; the command line and the tests watch them. Every call
// comes on the owner's thread, from inside the list operation or tick.

namespace qrv {

class ListObserver {
public:
    virtual ~ListObserver() = default;
    // Around an operation that changes many rows: redrawing off, then on.
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
    // One row's texts, marks or progress changed.
    virtual void RowChanged(int /*row*/) {}
    // Rows were added, removed, renumbered or re-marked.
    virtual void RowsChanged() {}
    // Rows first..last (positions, inclusive) are about to be added or removed;
    // RowsChanged follows once they are.
    virtual void RowsInserting(int /*first*/, int /*last*/) {}
    virtual void RowsRemoving(int /*first*/, int /*last*/) {}
};

// The add-cameras dialog's side of its entry list.
class AddCameraObserver : public ListObserver {
public:
    // OK may be pressed only while no camera is still being asked.
    virtual void EnableOk(bool /*enable*/) {}
    // Re-evaluate the dialog's buttons after a row was deleted.
    virtual void RefreshButtons() {}
};

}  // namespace qrv
