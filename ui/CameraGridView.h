#pragma once
// The target grid's view: owns selection and focus, toggles target flags by
// mouse and Space, sorts on a header press and opens a camera's web page on
// a double click. The rows are the model's; the view holds none.

#include <QTableView>

#include <vector>

namespace qrv {

class CameraGridModel;

// The column widths of the target grid.
inline constexpr int kGridColumnWidths[] = {17, 123, 100, 85, 50, 70, 50};
// How long the pointer rests on a DHCP row's address before its tip shows.
inline constexpr int kAddressTipDelayMs = 100;

class CameraGridView : public QTableView {
    Q_OBJECT
public:
    explicit CameraGridView(CameraGridModel& model, QWidget* parent = nullptr);

    int RowCount() const;

    // Selection (the view's): rows in list order.
    std::vector<int> SelectedRows() const;
    int FirstSelectedRow() const;
    void SelectFirstRow();
    void SelectAllRows();
    void StepSelectionUp();
    void StepSelectionDown();

    // A header press on `column`, as the header handles it.
    void SortByColumn(int column);

signals:
    // After a click on the list or a key release: whether any row is selected.
    void SelectionTouched(bool anySelected);
    void TargetsChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PressCheckBox(int row);
    void SelectOnly(int row);

    CameraGridModel& model_;
};

}  // namespace qrv
