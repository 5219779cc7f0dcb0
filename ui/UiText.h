#pragma once
// Texts between the program's UTF-16 strings and Qt: line ends "\r\n" become
// "\n" for display, and numbered messages come from the program's table.

#include <QString>

#include <initializer_list>
#include <string>
#include <string_view>

class QButtonGroup;
class QWidget;

namespace qrv {

class OwnerPort;
enum class BoxIcon;
enum class BoxButtons;
enum class BoxAnswer;

// Captions of the wizard's boxes.
inline constexpr int kCaptionError = 139;        // "Error"
inline constexpr int kCaptionInformation = 203;  // "Information"

// UTF-16 text for a widget; every "\r\n" becomes "\n".
QString ToQString(std::u16string_view text);
// A widget's text back as UTF-16 (line ends stay "\n").
std::u16string ToU16(const QString& text);
// Message `number` of the program's table, ready for a widget (empty when
// missing, after the table's own box through `owner`).
QString Message(int number, OwnerPort* owner);
std::u16string MessageU16(int number, OwnerPort* owner);
// Shows `text` through `owner` under the caption of message `captionNumber`.
BoxAnswer Ask(OwnerPort& owner, const std::u16string& text, int captionNumber, BoxIcon icon, BoxButtons buttons);

// Tab walks `widgets` in the given order, the order they are drawn in.
void ChainTabOrder(std::initializer_list<QWidget*> widgets);
// Tab or Shift+Tab into `group` lands on its checked option, as in the
// desktop's radio groups (arrow keys still move between the options).
void TabToCheckedOption(QButtonGroup* group);
// A control's name for a screen reader: its label's text without the '&'
// that marks the mnemonic.
void NameForReader(QWidget* control, const QString& labelText);

}  // namespace qrv
