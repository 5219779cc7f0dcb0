#pragma once
// The two dialogs that give the target grid's rows their administrator
// credentials: "Single login" moves through the rows one at a time with PREV
// and NEXT, "Batch login" writes one name and password into every selected
// row. Neither keeps a list of its own: values go to and from the grid's rows.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace qrv {

class BitmapPushButton;
class CameraGridView;
class Ipv4AddressEdit;
class TargetGrid;

class SingleLoginDialog : public QDialog {
    Q_OBJECT
public:
    // `view` shows `grid`'s rows and holds the selection the dialog follows.
    SingleLoginDialog(CameraGridView& view, TargetGrid& grid, QWidget* parent = nullptr);

    int CurrentRow() const { return row_; }
    BitmapPushButton* PrevButton() const { return prev_; }
    BitmapPushButton* NextButton() const { return next_; }
    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* PasswordEdit() const { return password_; }
    Ipv4AddressEdit* AddressDisplay() const { return address_; }

    void OnPrevButton();
    void OnNextButton();
    void OnOkButton();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SaveFields();
    void ShowRow(int row);

    CameraGridView& view_;
    TargetGrid& grid_;
    int row_ = 0;
    Ipv4AddressEdit* address_;
    BitmapPushButton* prev_;
    BitmapPushButton* next_;
    QLineEdit* name_;
    QLineEdit* password_;
};

class BatchLoginDialog : public QDialog {
    Q_OBJECT
public:
    BatchLoginDialog(CameraGridView& view, TargetGrid& grid, QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* PasswordEdit() const { return password_; }

    void accept() override;

private:
    // The boxes start with the name and password that every selected row
    // shares, or empty.
    void PrefillCommon();

    CameraGridView& view_;
    TargetGrid& grid_;
    QLineEdit* name_;
    QLineEdit* password_;
};

}  // namespace qrv
