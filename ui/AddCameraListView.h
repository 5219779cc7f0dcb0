#pragma once
// The add-cameras dialog's entry list view: single selection, a header press
// asks for a sort, a double click opens the camera's web page. The entry list
// keeps its one selected row itself, so the view reports presses and sort
// requests to the dialog that owns the list, and shows the row it is given.

#include <QTableView>

namespace qrv {

class AddCameraListModel;

inline constexpr int kAddCameraColumnWidths[] = {30, 140, 85, 60, 90};

class AddCameraListView : public QTableView {
    Q_OBJECT
public:
    explicit AddCameraListView(AddCameraListModel& model, QWidget* parent = nullptr);

    // Shows `row` as the one selected row (none for -1 or a row not there).
    void ShowSelectedRow(int row);

signals:
    // A mouse press on row `row` (after the view has taken it).
    void RowPressed(int row);
    // A header press on `column`.
    void SortRequested(int column);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace qrv
