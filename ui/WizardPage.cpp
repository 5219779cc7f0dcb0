#include "ui/WizardPage.h"

namespace qrv {

void WizardPage::MakeHeading(QWidget* widget, int pointDelta) {
    QFont font = widget->font();
    font.setBold(true);
    if (font.pointSize() > 0) font.setPointSize(font.pointSize() + pointDelta);
    widget->setFont(font);
}

}  // namespace qrv
