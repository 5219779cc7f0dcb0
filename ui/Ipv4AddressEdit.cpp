#include "ui/Ipv4AddressEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <utility>

namespace qrv {

Ipv4AddressEdit::Ipv4AddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    auto* validator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    const int digitWidth = fontMetrics().horizontalAdvance(QStringLiteral("000")) + 10;
    for (int i = 0; i < 4; ++i) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("field%1").arg(i));
        field->setFrame(false);
        field->setValidator(validator);
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(digitWidth);
        field->installEventFilter(this);
        // One tab stop for the whole control, as for any single field.
        if (i > 0) field->setFocusPolicy(Qt::ClickFocus);
        connect(field, &QLineEdit::textEdited, this, [this, i] { OnEdited(i); });
        fields_[static_cast<std::size_t>(i)] = field;
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot);
        }
        layout->addWidget(field);
    }
    layout->addStretch(1);
    setFocusProxy(fields_[0]);
    setFocusPolicy(Qt::StrongFocus);
}

bool Ipv4AddressEdit::IsBlank() const {
    for (QLineEdit* field : fields_) {
        if (!field->text().isEmpty()) return false;
    }
    return true;
}

Ipv4AddressEdit::Bytes Ipv4AddressEdit::Address() const {
    Bytes bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(std::min(fields_[i]->text().toInt(), 255));
    }
    return bytes;
}

void Ipv4AddressEdit::SetAddress(const Bytes& address) {
    std::array<QString, 4> texts;
    for (std::size_t i = 0; i < 4; ++i) texts[i] = QString::number(address[i]);
    SetTexts(texts);
}

void Ipv4AddressEdit::Clear() { SetTexts({}); }

// setText drops the selection; the field holding the focus keeps its text
// selected, so a dialog that focuses first and fills in after still lets
// typing replace it.
void Ipv4AddressEdit::SetTexts(const std::array<QString, 4>& texts) {
    afterAutoMove_ = false;
    for (std::size_t i = 0; i < 4; ++i) {
        fields_[i]->setText(texts[i]);
        if (fields_[i]->hasFocus()) fields_[i]->selectAll();
    }
}

int Ipv4AddressEdit::IndexOf(QObject* field) const {
    for (int i = 0; i < 4; ++i) {
        if (fields_[static_cast<std::size_t>(i)] == field) return i;
    }
    return -1;
}

void Ipv4AddressEdit::FocusField(int index, bool selectAll) {
    if (index < 0 || index > 3) return;
    QLineEdit* field = fields_[static_cast<std::size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        field->selectAll();
    } else {
        field->setCursorPosition(static_cast<int>(field->text().size()));
    }
}

void Ipv4AddressEdit::OnEdited(int index) {
    QLineEdit* field = fields_[static_cast<std::size_t>(index)];
    if (field->text().toInt() > 255) field->setText(QStringLiteral("255"));
    if (index < 3 && field->text().size() == 3 && field->cursorPosition() == 3) {
        FocusField(index + 1, true);
        afterAutoMove_ = true;
    }
}

// A clipboard text of up to four dot-separated numbers fills the fields from
// the first; anything else is left to the field (whose validator takes digits).
bool Ipv4AddressEdit::PasteDotted() {
    const QString text = QGuiApplication::clipboard()->text().trimmed();
    if (!text.contains(u'.')) return false;
    const QStringList parts = text.split(u'.');
    if (parts.size() > 4) return false;
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,3}$"));
    std::array<QString, 4> texts;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString part = parts[i].trimmed();
        if (!part.isEmpty() && !number.match(part).hasMatch()) return false;
        texts[static_cast<std::size_t>(i)] = part.toInt() > 255 ? QStringLiteral("255") : part;
    }
    SetTexts(texts);
    FocusField(static_cast<int>(parts.size()) - 1, false);
    return true;
}

bool Ipv4AddressEdit::HandleKey(int index, const QKeyEvent& key) {
    const bool afterAutoMove = std::exchange(afterAutoMove_, false);
    if (key.matches(QKeySequence::Paste)) return PasteDotted();
    QLineEdit* field = fields_[static_cast<std::size_t>(index)];
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();
    const bool plain = (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (key.key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
        if (!afterAutoMove && !field->text().isEmpty()) FocusField(index + 1, true);
        return true;  // never typed into a field
    case Qt::Key_Backspace:
        if (!plain || !atStart || index == 0) return false;
        FocusField(index - 1, false);
        return true;
    case Qt::Key_Left:
        if (!plain || !atStart || index == 0) return false;
        FocusField(index - 1, true);
        return true;
    case Qt::Key_Right:
        if (!plain || !atEnd || index == 3) return false;
        FocusField(index + 1, true);
        return true;
    case Qt::Key_Home:
        if (!plain) return false;
        FocusField(0, false);
        fields_[0]->setCursorPosition(0);
        return true;
    case Qt::Key_End:
        if (!plain) return false;
        FocusField(3, false);
        return true;
    default: return false;
    }
}

bool Ipv4AddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = IndexOf(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress && HandleKey(index, *static_cast<QKeyEvent*>(event))) {
        return true;
    }
    if (index >= 0 && event->type() == QEvent::FocusOut) afterAutoMove_ = false;
    if (index >= 0 && event->type() == QEvent::FocusIn) {
        // A click places the cursor itself; a closing popup (the field's own
        // menu) hands the focus back where it was.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::MouseFocusReason && reason != Qt::PopupFocusReason) {
            fields_[static_cast<std::size_t>(index)]->selectAll();
        }
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace qrv
