#pragma once
// An IPv4 address control: four fields of up to three digits separated by
// dots. A field above 255 becomes 255; typing a dot or the third digit moves
// on to the next field. The control is blank when no field holds a digit, and
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

    std::array<QLineEdit*, 4> fields_{};
};

}  // namespace qrv
