#pragma once
// "Entry terminals": types the address and HTTP port of the Add other
// cameras dialog's rows one at a time, with PREV, NEXT, ADD and DEL. It keeps
// no list of its own: every value goes to and from the owner's rows.

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class QRadioButton;

namespace qrv {

class AddCamerasDialog;
class BitmapPushButton;
class Ipv4AddressEdit;
class OwnerPort;
class QtOwnerPort;

class EntryTerminalsDialog : public QDialog {
    Q_OBJECT
public:
    // `position`: the index of the row to start on; `capacity`: the most rows
    // the owner's list may hold. The dialog's boxes are its own.
    EntryTerminalsDialog(AddCamerasDialog& owner, int capacity, int position, QWidget* parent = nullptr);
    ~EntryTerminalsDialog() override;

    int Position() const { return position_; }
    QString CounterText() const;
    Ipv4AddressEdit* AddressEdit() const { return address_; }
    QRadioButton* Port80() const { return port80_; }
    QRadioButton* PortCustom() const { return portCustom_; }
    QLineEdit* CustomPortEdit() const { return customPort_; }
    BitmapPushButton* PrevButton() const { return prev_; }
    BitmapPushButton* NextButton() const { return next_; }
    BitmapPushButton* AddButton() const { return add_; }
    BitmapPushButton* DelButton() const { return del_; }

    void OnPrevButton();
    void OnNextButton();
    void OnAddButton();
    void OnDelButton();
    void OnOkButton();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool ValidateEntry();
    void SaveRow();
    void ShowAddress();
    void UpdateButtons();
    void ShowCurrentRow();
    bool Refuse(const std::u16string& text, QWidget* focus);

    AddCamerasDialog& owner_;
    std::unique_ptr<QtOwnerPort> port_;
    OwnerPort& boxes_;
    const int capacity_;
    int position_;
    Ipv4AddressEdit* address_;
    QRadioButton* port80_;
    QRadioButton* portCustom_;
    QLineEdit* customPort_;
    QLabel* counter_;
    BitmapPushButton* prev_;
    BitmapPushButton* next_;
    BitmapPushButton* add_;
    BitmapPushButton* del_;
};

}  // namespace qrv
