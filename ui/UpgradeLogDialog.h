#pragma once
// The "Upgrade log" dialog shown once at the end of a batch: the result line
// of every camera that took part, in a read-only box drawn black on white,
// shown from its first line with nothing selected.

#include <QDialog>
#include <QPlainTextEdit>

namespace qrv {

class BatchRun;

// A read-only, multi-line box in black on white instead of the grey of
// read-only boxes.
class WhiteEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit WhiteEdit(QWidget* parent = nullptr);
};

class UpgradeLogDialog : public QDialog {
    Q_OBJECT
public:
    UpgradeLogDialog(const BatchRun& list, QWidget* parent = nullptr);
    WhiteEdit* LogBox() const { return log_; }

private:
    WhiteEdit* log_;
};

}  // namespace qrv
