#include "ui/UpgradeLogDialog.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "batch/BatchRun.h"
#include "ui/UiText.h"

namespace qrv {

namespace {
// The caret goes to the start once the box has laid out its text.
constexpr int kCaretDelayMs = 10;
}  // namespace

WhiteEdit::WhiteEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // Long lines wrap at the box's edge: the log reads without scrolling sideways.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QPalette colours = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, Qt::white);
        colours.setColor(group, QPalette::Text, Qt::black);
    }
    setPalette(colours);
    // The caret stays visible so the reader sees where the log starts.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

UpgradeLogDialog::UpgradeLogDialog(const BatchRun& list, QWidget* parent) : QDialog(parent), log_(new WhiteEdit(this)) {
    setWindowTitle(QStringLiteral("Upgrade log"));
    setObjectName(QStringLiteral("UpgradeLogDialog"));
    log_->setObjectName(QStringLiteral("log"));
    log_->setPlainText(ToQString(list.UpgradeLog()));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_, 1);
    layout->addLayout(buttons);
    resize(560, 340);
    QTimer::singleShot(kCaretDelayMs, this, [this] {
        QTextCursor cursor = log_->textCursor();
        cursor.movePosition(QTextCursor::Start);
        log_->setTextCursor(cursor);
        log_->ensureCursorVisible();
    });
    log_->setFocus();
}

}  // namespace qrv
