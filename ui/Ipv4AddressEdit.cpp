#include "ui/Ipv4AddressEdit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

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
    for (std::size_t i = 0; i < 4; ++i) fields_[i]->setText(QString::number(address[i]));
}

void Ipv4AddressEdit::Clear() {
    for (QLineEdit* field : fields_) field->clear();
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
    field->setFocus();
    if (selectAll) {
        field->selectAll();
    } else {
        field->setCursorPosition(static_cast<int>(field->text().size()));
    }
}

void Ipv4AddressEdit::OnEdited(int index) {
    QLineEdit* field = fields_[static_cast<std::size_t>(index)];
    if (field->text().toInt() > 255) field->setText(QStringLiteral("255"));
    if (field->text().size() == 3 && field->cursorPosition() == 3) FocusField(index + 1, true);
}

// Dot and blank move to the next field, Backspace at the start of a field and
// the arrows at its edges move between fields, as in a single line edit.
bool Ipv4AddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = IndexOf(watched);
    if (index < 0 || event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* field = fields_[static_cast<std::size_t>(index)];
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();
    switch (key->key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
        if (!field->text().isEmpty()) FocusField(index + 1, true);
        return true;
    case Qt::Key_Backspace:
        if (atStart && index > 0) {
            FocusField(index - 1, false);
            return true;
        }
        break;
    case Qt::Key_Left:
        if (atStart && index > 0) {
            FocusField(index - 1, false);
            return true;
        }
        break;
    case Qt::Key_Right:
        if (atEnd && index < 3) {
            fields_[static_cast<std::size_t>(index + 1)]->setFocus();
            fields_[static_cast<std::size_t>(index + 1)]->setCursorPosition(0);
            return true;
        }
        break;
    default: break;
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace qrv
