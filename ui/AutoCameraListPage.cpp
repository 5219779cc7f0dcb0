#include "ui/AutoCameraListPage.h"

#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "batch/DuplicateAddressCheck.h"
#include "ui/AddCamerasDialog.h"
#include "batch/GridRefresh.h"
#include "ui/CameraGridModel.h"
#include "ui/CameraGridView.h"
#include "ui/LoginDialogs.h"
#include "ui/QtOwnerPort.h"
#include "ui/UiText.h"
#include "ui/UpgradeWizardDialog.h"

namespace qrv {

namespace {

constexpr int kSlideSteps = 10;
constexpr int kStripGap = 6;

QPushButton* PageButton(const QString& text, const char* objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    // Enter runs the focused button; elsewhere the wizard's Next, the default.
    button->setAutoDefault(true);
    return button;
}

}  // namespace

AutoCameraListPage::AutoCameraListPage(UpgradeWizardDialog& wizard, QWidget* parent)
    : AutoListPageBase(wizard.Port(), parent),
      wizard_(wizard),
      model_(std::make_unique<CameraGridModel>(targets_)),
      port_(std::make_unique<QtOwnerPort>(this, [this](int id) { checks_->OnTimer(id); })),
      checks_(std::make_unique<LoginChecks>(*port_, targets_, wizard.Models(), wizard.Times())),
      grid_(new CameraGridView(*model_, this)),
      counter_(new QLabel(this)),
      selectAll_(PageButton(QStringLiteral("&Select all"), "selectAll", this)),
      access_(PageButton(QStringLiteral("&Access setting..."), "accessSetting", this)),
      strip_(new QWidget(this)) {
    checks_->SetObserver(this);
    grid_->setObjectName(QStringLiteral("grid"));
    counter_->setObjectName(QStringLiteral("detectedCounter"));
    addOther_ = PageButton(QStringLiteral("Add &other cameras..."), "addOther", strip_);
    testingButton_ = PageButton(QStringLiteral("&Testing..."), "testing", strip_);
    toggle_ = PageButton(QStringLiteral("&<<"), "toggleExtra", this);
    toggle_->setFixedWidth(toggle_->fontMetrics().horizontalAdvance(QStringLiteral(">>")) + 28);
    addOther_->hide();
    testingButton_->hide();

    auto* title = new QLabel(QStringLiteral("&Target camera(s):"), this);
    title->setBuddy(grid_);
    NameForReader(grid_, title->text());
    MakeHeading(title, 0);

    // The strip is as wide as both buttons side by side; they slide in from
    // its right edge and the strip cuts off what is still outside.
    const int addWidth = addOther_->sizeHint().width();
    const int testWidth = testingButton_->sizeHint().width();
    const int height = std::max(addOther_->sizeHint().height(), testingButton_->sizeHint().height());
    strip_->setFixedSize(addWidth + kStripGap + testWidth, height);
    LayoutStrip(0);

    auto* detected = new QLabel(QStringLiteral("Detected camera(s):"), this);
    auto* heading = new QHBoxLayout;
    heading->addWidget(title);
    heading->addStretch(1);
    heading->addWidget(detected);
    heading->addWidget(counter_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(selectAll_);
    buttons->addWidget(access_);
    buttons->addStretch(1);
    buttons->addWidget(strip_);
    buttons->addWidget(toggle_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(heading);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);

    connect(selectAll_, &QPushButton::clicked, this, &AutoCameraListPage::OnSelectAll);
    connect(access_, &QPushButton::clicked, this, &AutoCameraListPage::OnAccessSetting);
    connect(toggle_, &QPushButton::clicked, this, &AutoCameraListPage::OnToggleExtraButtons);
    connect(testingButton_, &QPushButton::clicked, this, &AutoCameraListPage::OnTesting);
    connect(addOther_, &QPushButton::clicked, this, &AutoCameraListPage::OnAddOtherCameras);
    connect(grid_, &CameraGridView::TargetsChanged, this, [this] {
        if (isVisible() && !locked_) SetNextByCredentials();
    });
    connect(grid_, &CameraGridView::SelectionTouched, this, [this](bool anySelected) {
        if (!busy_ && !locked_) EnableAccessAndTesting(anySelected);
    });

    pageTimer_.setInterval(static_cast<int>(wizard.Times().listPageTick.count()));
    connect(&pageTimer_, &QTimer::timeout, this, &AutoCameraListPage::OnPageTimer);
    slide_.setInterval(static_cast<int>(wizard.Times().slideStep.count()));
    connect(&slide_, &QTimer::timeout, this, &AutoCameraListPage::OnSlideStep);
}

AutoCameraListPage::~AutoCameraListPage() {
    pageTimer_.stop();
    // Pending checks stop and join their workers before the rows go.
    checks_.reset();
}

void AutoCameraListPage::SetDiscovery(const DiscoveryTable& table, bool relaxedAddressing) {
    table_ = &table;
    relaxed_ = relaxedAddressing;
}

void AutoCameraListPage::RefreshGrid() {
    if (!table_) return;
    const GridRefresh refresh = RefreshGridFromTable(targets_, *table_);
    counter_->setText(ToQString(refresh.counter));
    if (isVisible()) wizard_.SetNextMode(refresh.targetsHaveCredentials);
}

bool AutoCameraListPage::DuplicatesPass() { return CheckDuplicateAddresses(targets_, relaxed_, &Owner()); }

// Two cameras share an address: nothing goes on until that is mended.
void AutoCameraListPage::Lock() {
    wizard_.SetButtonMode(UpgradeWizardDialog::ButtonMode::Locked);
    selectAll_->setEnabled(false);
    access_->setEnabled(false);
    toggle_->setEnabled(false);
    locked_ = true;
}

void AutoCameraListPage::SetNextByCredentials() { wizard_.SetNextMode(targets_.TargetsHaveCredentials()); }

void AutoCameraListPage::EnableAccessAndTesting(bool enable) {
    access_->setEnabled(enable && !locked_);
    testingButton_->setEnabled(enable);
}

// Leaving the page (Back, Next) stops its timer: the wait for discovery and
// the lock act on this page's buttons only while it is shown.
void AutoCameraListPage::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) pageTimer_.stop();
    AutoListPageBase::hideEvent(event);
}

void AutoCameraListPage::OnShown() {
    RefreshGrid();
    if (wizard_.IsDiscoveryRunning()) {
        pageTimer_.start();
        busy_ = true;
        for (QWidget* widget : {static_cast<QWidget*>(selectAll_), static_cast<QWidget*>(access_),
                                static_cast<QWidget*>(toggle_), static_cast<QWidget*>(grid_),
                                static_cast<QWidget*>(testingButton_)}) {
            widget->setEnabled(false);
        }
        RefreshCursor();
        return;
    }
    // Discovery may have ended while another page was shown.
    busy_ = false;
    RefreshCursor();
    grid_->setEnabled(true);
    if (!DuplicatesPass()) {
        Lock();
        return;
    }
    locked_ = false;
    grid_->setFocus();
    if (grid_->SelectedRows().empty()) grid_->SelectFirstRow();
    const bool rows = targets_.RowCount() > 0;
    selectAll_->setEnabled(rows);
    toggle_->setEnabled(true);
    grid_->setEnabled(true);
    EnableAccessAndTesting(rows);
    SetNextByCredentials();
}

// Discovery has ended: the rows are complete and the buttons come on.
void AutoCameraListPage::OnPageTimer() {
    if (!isVisible()) {
        pageTimer_.stop();
        return;
    }
    if (wizard_.IsDiscoveryRunning()) return;
    pageTimer_.stop();
    RefreshGrid();
    busy_ = false;
    const bool rows = targets_.RowCount() > 0;
    if (rows && !locked_) {
        selectAll_->setEnabled(true);
        access_->setEnabled(true);
    }
    toggle_->setEnabled(true);
    grid_->setEnabled(true);
    testingButton_->setEnabled(true);
    RefreshCursor();
    if (grid_->SelectedRows().empty()) {
        grid_->SelectFirstRow();
        grid_->setFocus();
    }
    EnableAccessAndTesting(!grid_->SelectedRows().empty());
    if (!DuplicatesPass()) Lock();
}

void AutoCameraListPage::OnSelectAll() {
    grid_->SelectAllRows();
    grid_->setFocus();
    EnableAccessAndTesting(targets_.RowCount() > 0);
}

void AutoCameraListPage::OnAccessSetting() {
    const bool single = grid_->SelectedRows().size() < 2 && targets_.RowCount() != 1;
    if (single) {
        SingleLoginDialog dialog(*grid_, targets_, this);
        dialog.exec();
    } else {
        BatchLoginDialog dialog(*grid_, targets_, this);
        dialog.exec();
    }
    if (isVisible()) SetNextByCredentials();
}

void AutoCameraListPage::OnAddOtherCameras() {
    {
        AddCamerasDialog dialog(wizard_.Models(), targets_.RowCount(), wizard_.Times(), this);
        dialog.SetTargetGrid(&targets_);
        emit AddCamerasOpening(&dialog);
        dialog.exec();
    }
    // Whatever the answer, the grid is read again.
    const bool rows = targets_.RowCount() > 0;
    selectAll_->setEnabled(rows && !locked_);
    if (rows && grid_->SelectedRows().empty()) grid_->SelectFirstRow();
    EnableAccessAndTesting(rows);
    counter_->setText(ToQString(GridCounterText(targets_)));
    if (isVisible() && !locked_) SetNextByCredentials();
}

void AutoCameraListPage::OnTesting() {
    if (checks_->Start(grid_->SelectedRows()) == 0) return;
    testing_ = true;
    RefreshCursor();
}

void AutoCameraListPage::OnLoginChecksFinished() {
    testing_ = false;
    RefreshCursor();
}

// The wait cursor while discovery runs, the busy arrow while checks run.
void AutoCameraListPage::RefreshCursor() {
    if (busy_) {
        setCursor(Qt::WaitCursor);
    } else if (testing_) {
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}

// ---- the sliding strip ------------------------------------------------------------------

// Both buttons at their full places, moved right by `hiddenWidth`.
void AutoCameraListPage::LayoutStrip(int hiddenWidth) {
    const int addWidth = addOther_->sizeHint().width();
    const int testWidth = testingButton_->sizeHint().width();
    const int height = strip_->height();
    addOther_->setGeometry(hiddenWidth, 0, addWidth, height);
    testingButton_->setGeometry(hiddenWidth + addWidth + kStripGap, 0, testWidth, height);
}

void AutoCameraListPage::OnToggleExtraButtons() {
    if (slide_.isActive()) return;
    slideStep_ = 0;
    if (!expanded_) {
        LayoutStrip(strip_->width());
        addOther_->show();
        testingButton_->show();
    }
    slide_.start();
}

// One of ten steps of 10 ms; the window goes on painting and taking input.
void AutoCameraListPage::OnSlideStep() {
    ++slideStep_;
    const int width = strip_->width();
    const int shown = width * slideStep_ / kSlideSteps;
    LayoutStrip(expanded_ ? shown : width - shown);
    if (slideStep_ < kSlideSteps) return;
    slide_.stop();
    expanded_ = !expanded_;
    if (!expanded_) {
        addOther_->hide();
        testingButton_->hide();
        LayoutStrip(0);
    }
    toggle_->setText(expanded_ ? QStringLiteral("&>>") : QStringLiteral("&<<"));
}

}  // namespace qrv
