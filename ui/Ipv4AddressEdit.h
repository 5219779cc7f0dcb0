#pragma once
// An IPv4 address control: four fields of up to three digits separated by
// dots, keyed as the desktop's own address control. A field above 255 becomes
// 255. Entering a field by keyboard (focus, the move after its third digit,
// '.', space, an arrow at its edge) selects its text, so typing replaces it;
// '.' or space moves on unless the field is empty or the third digit has just
// moved on; Backspace at a field's start goes back; a pasted dotted address
// fills all four fields. The control is blank when no field holds a digit, and
// an empty field reads as 0.

#include <QFrame>

#include <array>
#include <cstdint>

class QLineEdit;

namespace qrv {

class Ipv4AddressEdit : public QFrame {
    Q_OBJECT
public:
    explicit Ipv4AddressEdit(QWidget* parent = nullptr);

    using Bytes = std::array<std::uint8_t, 4>;

    bool IsBlank() const;
    Bytes Address() const;
    void SetAddress(const Bytes& address);
    void Clear();
    QLineEdit* Field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int IndexOf(QObject* field) const;
    void OnEdited(int index);
    void FocusField(int index, bool selectAll);
    bool HandleKey(int index, const QKeyEvent& key);
    bool PasteDotted();
    void SetTexts(const std::array<QString, 4>& texts);

    std::array<QLineEdit*, 4> fields_{};
    // The third digit has just moved the focus on: the '.' a user types out
    // of habit right after it must not move it once more.
    bool afterAutoMove_ = false;
};

}  // namespace qrv
