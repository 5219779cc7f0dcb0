#pragma once
// "Add other cameras": cameras the broadcast does not reach, typed in row by
// row (Entry terminals), loaded from a text file or pasted from the
// clipboard. Every address is asked at once what it is; OK appends the rows
// that turned out to be usable cameras to the camera list page's grid.

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

#include "engine/CameraAddress.h"
#include "engine/FirmwarePackage.h"
#include "engine/Timing.h"

class QLabel;
class QPushButton;

namespace qrv {

class AddCameraList;
class AddCameraListModel;
class AddCameraListView;
class CameraListImporter;
class OwnerPort;
class QtOwnerPort;
class TargetGrid;

// Asks for the file that Load from CSV reads; an empty text when the user
// cancels. The real one is the file-open dialog; tests install their own.
using ListFileChooser = std::function<QString(QWidget* parent)>;
// An empty chooser brings back the file-open dialog.
void SetListFileChooser(ListFileChooser chooser);
QString ChooseListFile(QWidget* parent);
// The file types the list file dialog offers; the last one shows every file,
// those without an extension too.
QStringList ListFileFilters();

// Owns its entry list (on a port of its own, whose timer drives the
// inquiries); the entry view shows the rows through their model.
class AddCamerasDialog : public QDialog {
    Q_OBJECT
public:
    // `alreadyTargeted`: the rows of the grid when the dialog opens; the
    // dialog holds at most 256 minus that many. Its boxes are its own.
    AddCamerasDialog(const ModelList& models, int alreadyTargeted, Timing timing,
                     QWidget* parent = nullptr);
    ~AddCamerasDialog() override;

    // The page's grid: its addresses are conflicts here, and OK appends to it.
    void SetTargetGrid(TargetGrid* grid);

    AddCameraList& Entries() const { return *entries_; }
    AddCameraListView& EntryView() const { return *list_; }
    // The list's one selected row, shown by the view.
    void SelectRow(int row);
    int SelectedRow() const;
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
    void SortByColumn(int column);

    const int capacity_;
    TargetGrid* grid_ = nullptr;
    std::unique_ptr<QtOwnerPort> port_;
    std::unique_ptr<AddCameraList> entries_;  // after the port: its inquiries stop first
    std::unique_ptr<AddCameraListModel> model_;
    AddCameraListView* list_;
    QLabel* counter_;
    QPushButton* ok_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* delete_;
    QPushButton* load_;
    QPushButton* paste_;
};

}  // namespace qrv
