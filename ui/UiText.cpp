#include "ui/UiText.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFocusEvent>
#include <QWidget>

#include "platform/OwnerPort.h"
#include "resources/MessageTable.h"

namespace qrv {

QString ToQString(std::u16string_view text) {
    QString result = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

std::u16string ToU16(const QString& text) { return text.toStdU16String(); }

std::u16string MessageU16(int number, OwnerPort* owner) { return ProgramMessages().Text(number, owner); }

BoxAnswer Ask(OwnerPort& owner, const std::u16string& text, int captionNumber, BoxIcon icon, BoxButtons buttons) {
    MessageBox box;
    box.text = text;
    box.caption = MessageU16(captionNumber, &owner);
    box.icon = icon;
    box.buttons = buttons;
    return owner.ShowMessageBox(box);
}

QString Message(int number, OwnerPort* owner) { return ToQString(MessageU16(number, owner)); }

void ChainTabOrder(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

namespace {

// Hands a focus that Tab brought to an unchecked option on to the checked one.
class CheckedOptionFocus : public QObject {
public:
    explicit CheckedOptionFocus(QButtonGroup* group) : QObject(group), group_(group) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::FocusIn) return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason) return false;
        QAbstractButton* checked = group_->checkedButton();
        if (checked && checked != watched && checked->isEnabled() && checked->isVisible()) {
            checked->setFocus(reason);
        }
        return false;
    }

private:
    QButtonGroup* group_;
};

}  // namespace

void TabToCheckedOption(QButtonGroup* group) {
    auto* filter = new CheckedOptionFocus(group);
    for (QAbstractButton* button : group->buttons()) button->installEventFilter(filter);
}

// "&&" stands for one '&' in a label; a lone '&' only marks the mnemonic.
void NameForReader(QWidget* control, const QString& labelText) {
    QString name;
    for (qsizetype i = 0; i < labelText.size(); ++i) {
        // The character after an '&' is kept, the '&' itself not.
        if (labelText[i] == QLatin1Char('&') && i + 1 < labelText.size()) ++i;
        name += labelText[i];
    }
    control->setAccessibleName(name);
}

}  // namespace qrv
