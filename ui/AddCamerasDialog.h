#pragma once
// "Add other cameras": cameras the broadcast does not reach, typed in row by
// row (Entry terminals), loaded from a text file or pasted from the
// clipboard. Every address is asked at once what it is; OK appends the rows
// that turned out to be usable cameras to the camera list page's grid.

#include <QDialog>

#include <functional>
#include <vector>

#include "engine/CameraAddress.h"
#include "engine/FirmwarePackage.h"
#include "engine/Timing.h"

class QLabel;
class QPushButton;

namespace qrv {

class AddCameraListCtrl;
class CameraGridCtrl;
class CameraListImporter;
class OwnerPort;

// Asks for the file that Load from CSV reads; an empty text when the user
// cancels. The real one is the file-open dialog; tests install their own.
using ListFileChooser = std::function<QString(QWidget* parent)>;
// An empty chooser brings back the file-open dialog.
void SetListFileChooser(ListFileChooser chooser);
QString ChooseListFile(QWidget* parent);

class AddCamerasDialog : public QDialog {
    Q_OBJECT
public:
    // `alreadyTargeted`: the rows of the grid when the dialog opens; the
    // dialog holds at most 256 minus that many.
    AddCamerasDialog(OwnerPort& boxes, const ModelList& models, int alreadyTargeted, Timing timing,
                     QWidget* parent = nullptr);
    ~AddCamerasDialog() override;

    // The page's grid: its addresses are conflicts here, and OK appends to it.
    void SetTargetGrid(CameraGridCtrl* grid);

    AddCameraListCtrl& EntryList() const { return *list_; }
    int Capacity() const { return capacity_; }
    QString CounterText() const;

    // ---- what the Entry terminals dialog drives -----------------------------------
    int AppendRow();
    void SetSelectedAddress(const AddressBytes& ip, int port);
    void AdvanceRow();
    CameraAddress GetSelectedAddress() const;
    void SelectPreviousRow();
    bool RowHasAddress(int row) const;
    int RowCount() const;
    void DeleteSelectedRow();
    void RefreshButtons();
    void EnableOk(bool enable);

    // ---- the buttons ----------------------------------------------------------------
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnLoad();
    void OnPaste();
    // Appends imported entries after the rows there are, up to the capacity.
    void AddEntries(const std::vector<CameraAddress>& entries);

    void accept() override;
    void reject() override;

signals:
    // The Entry terminals dialog is about to run (tests drive it from here).
    void EntryDialogOpening(QDialog* dialog);

private:
    void RefreshCounter();
    void AddImported(const CameraListImporter& importer);
    void RunEntryDialog(int position);
    void AfterEntryDialog();

    OwnerPort& boxes_;
    const int capacity_;
    CameraGridCtrl* grid_ = nullptr;
    AddCameraListCtrl* list_;
    QLabel* counter_;
    QPushButton* ok_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* delete_;
    QPushButton* load_;
    QPushButton* paste_;
};

}  // namespace qrv
