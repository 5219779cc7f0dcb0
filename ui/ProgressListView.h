#pragma once
// The progress page's list view: single selection, never sorted (a header
// press only beeps). The rows are the model's; the view holds none.

#include <QTableView>

namespace qrv {

class ProgressListModel;

inline constexpr int kProgressColumnWidths[] = {30, 100, 82, 70, 120, 90};

class ProgressListView : public QTableView {
    Q_OBJECT
public:
    explicit ProgressListView(ProgressListModel& model, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace qrv
