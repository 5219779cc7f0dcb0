// The three list models over rows made here, without a simulator or a
// network: each one under QAbstractItemModelTester (Fatal: a broken promise
// to a view ends the test), while rows are added, removed, changed and
// sorted. What a view would be told (which rows came, went or changed) and
// what it would read (row counts, cell texts, check states, colours) is
// asserted.

#include <QAbstractItemModelTester>
#include <QColor>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "batch/AddCameraList.h"
#include "batch/BatchRun.h"
#include "batch/GridRefresh.h"
#include "batch/TargetGrid.h"
#include "discovery/DiscoveryTable.h"
#include "engine/FirmwarePackage.h"
#include "platform/HeadlessOwner.h"
#include "ui/AddCameraListModel.h"
#include "ui/CameraGridModel.h"
#include "ui/ProgressListModel.h"

namespace qrv::test {
namespace {

const ModelList kModels = {"QRV-K7", "QRV-K7N", "QRV-K7P"};

// What a view attached to the model is told, one line per signal.
class ModelLog {
public:
    explicit ModelLog(QAbstractItemModel& model) : model_(model) {
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, &context_,
                         [this](const QModelIndex&, int first, int last) { Note("inserted", first, last); });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved, &context_,
                         [this](const QModelIndex&, int first, int last) { Note("removed", first, last); });
        QObject::connect(&model, &QAbstractItemModel::dataChanged, &context_,
                         [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                             const bool wholeRows =
                                 topLeft.column() == 0 && bottomRight.column() == model_.columnCount() - 1;
                             Note(wholeRows ? "changed" : "cells changed", topLeft.row(), bottomRight.row());
                         });
        QObject::connect(&model, &QAbstractItemModel::modelReset, &context_, [this] { events_.push_back("reset"); });
        QObject::connect(&model, &QAbstractItemModel::layoutChanged, &context_,
                         [this] { events_.push_back("layout"); });
    }

    // The lines since the last call.
    std::vector<std::string> Take() { return std::exchange(events_, {}); }

private:
    void Note(const char* what, int first, int last) {
        events_.push_back(std::string(what) + ' ' + std::to_string(first) + '-' + std::to_string(last));
    }

    QAbstractItemModel& model_;
    QObject context_;
    std::vector<std::string> events_;
};

using Lines = std::vector<std::string>;

std::string Text(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.index(row, column).data(role).toString().toStdString();
}

// One column of every row, top to bottom.
Lines Column(const QAbstractItemModel& model, int column) {
    Lines texts;
    for (int row = 0; row < model.rowCount(); ++row) texts.push_back(Text(model, row, column));
    return texts;
}

Qt::CheckState CheckState(const QAbstractItemModel& model, int row) {
    return static_cast<Qt::CheckState>(model.index(row, 0).data(Qt::CheckStateRole).toInt());
}

// ---- the target grid ---------------------------------------------------------------------

struct GridCamera {
    const char16_t* mac;
    const char16_t* address;
    const char16_t* model;
    const char16_t* serial;
    AddressBytes ip;
    int port = 80;
};

const GridCamera kCameras[] = {
    {u"00:80:45:00:00:03", u"10.0.0.7", u"QRV-K7N", u"1000003", {10, 0, 0, 7}},
    {u"00:80:45:00:00:01", u"DHCP", u"QRV-K7", u"1000001", {10, 0, 0, 5}},
    {u"00:80:45:00:00:02", u"10.0.0.6:8080", u"QRV-K7P", u"1000002", {10, 0, 0, 6}, 8080},
};

class GridModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        model_ = std::make_unique<CameraGridModel>(grid_);
        tester_ = std::make_unique<QAbstractItemModelTester>(model_.get(),
                                                             QAbstractItemModelTester::FailureReportingMode::Fatal);
        log_ = std::make_unique<ModelLog>(*model_);
    }
    bool Add(const GridCamera& camera, int position = -1) {
        return grid_.AddRow(position < 0 ? grid_.RowCount() : position, camera.mac, camera.address, camera.model,
                            camera.serial, u"1.20", camera.ip, camera.port, -1);
    }
    void AddAll() {
        for (const GridCamera& camera : kCameras) Add(camera);
        log_->Take();
    }

    TargetGrid grid_;
    std::unique_ptr<CameraGridModel> model_;
    std::unique_ptr<QAbstractItemModelTester> tester_;
    std::unique_ptr<ModelLog> log_;
};

TEST_F(GridModelTest, AddedRowsComeOneByOneWithTheirTextsAndTicks) {
    EXPECT_EQ(model_->rowCount(), 0);
    EXPECT_EQ(model_->columnCount(), 7);
    for (const GridCamera& camera : kCameras) ASSERT_TRUE(Add(camera));
    EXPECT_EQ(log_->Take(), (Lines{"inserted 0-0", "inserted 1-1", "inserted 2-2"}));
    ASSERT_EQ(model_->rowCount(), 3);
    EXPECT_EQ(Column(*model_, 1), (Lines{"00:80:45:00:00:03", "00:80:45:00:00:01", "00:80:45:00:00:02"}));
    EXPECT_EQ(Column(*model_, 2), (Lines{"10.0.0.7", "DHCP", "10.0.0.6:8080"}));
    EXPECT_EQ(Column(*model_, 3), (Lines{"QRV-K7N", "QRV-K7", "QRV-K7P"}));
    EXPECT_EQ(Column(*model_, 5), (Lines{"1.20", "1.20", "1.20"}));
    EXPECT_EQ(Column(*model_, 0), (Lines{"", "", ""})) << "the check box column has no text";
    for (int row = 0; row < 3; ++row) EXPECT_EQ(CheckState(*model_, row), Qt::Checked) << row;
    EXPECT_EQ(Text(*model_, 1, 2, Qt::ToolTipRole), "10.0.0.5") << "a DHCP row tells its real address";
    EXPECT_EQ(Text(*model_, 0, 2, Qt::ToolTipRole), "");
    EXPECT_EQ(Text(*model_, 2, 1, CameraGridModel::kWebPageRole), "http://10.0.0.6:8080/");
    EXPECT_EQ(model_->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("MAC address"));
    EXPECT_EQ(model_->headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Name"));

    EXPECT_FALSE(Add(kCameras[1])) << "the same MAC again";
    EXPECT_EQ(log_->Take(), Lines{});
    EXPECT_EQ(model_->rowCount(), 3);

    // A row placed at the top moves the others down.
    ASSERT_TRUE(Add({u"00:80:45:00:00:09", u"10.0.0.9", u"QRV-K7", u"1000009", {10, 0, 0, 9}}, 0));
    EXPECT_EQ(log_->Take(), Lines{"inserted 0-0"});
    EXPECT_EQ(Column(*model_, 2), (Lines{"10.0.0.9", "10.0.0.7", "DHCP", "10.0.0.6:8080"}));
}

TEST_F(GridModelTest, DetectedCamerasFromTheTableArriveAsInsertedRows) {
    DiscoveryTable table(kModels);
    for (int i = 1; i <= 3; ++i) {
        DiscoveredCamera camera;
        const std::string mac = "00:80:45:00:00:0" + std::to_string(i);
        std::strcpy(camera.mac.data(), mac.c_str());
        std::strcpy(camera.model.data(), "QRV-K7");
        std::strcpy(camera.serial.data(), ("100000" + std::to_string(i)).c_str());
        std::strcpy(camera.version.data(), "1.20");
        camera.ip = {10, 0, 0, static_cast<std::uint8_t>(4 + i)};
        camera.port = 80;
        table.Store(camera);
    }
    const GridRefresh refresh = RefreshGridFromTable(grid_, table);
    EXPECT_EQ(refresh.added, 3);
    EXPECT_EQ(log_->Take(), (Lines{"inserted 0-0", "inserted 1-1", "inserted 2-2"}));
    EXPECT_EQ(Column(*model_, 2), (Lines{"10.0.0.5", "10.0.0.6", "10.0.0.7"}));
    RefreshGridFromTable(grid_, table);
    EXPECT_EQ(log_->Take(), Lines{}) << "a second refresh adds nothing";
}

TEST_F(GridModelTest, ARowChangeRepaintsThatRowOnly) {
    AddAll();
    grid_.SetCredentials(1, u"admin", u"");
    EXPECT_EQ(log_->Take(), Lines{"changed 1-1"});
    EXPECT_EQ(Text(*model_, 1, 6), "admin");
    EXPECT_EQ(model_->index(1, 6).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0))
        << "a name without its password is red";
    grid_.SetCredentials(1, u"admin", u"secret");
    EXPECT_EQ(log_->Take(), Lines{"changed 1-1"});
    EXPECT_FALSE(model_->index(1, 6).data(Qt::ForegroundRole).isValid());

    grid_.SetCheckResult(2, CheckResult::Failed);
    grid_.SetMac(2, u"00:80:45:00:00:22");
    EXPECT_EQ(log_->Take(), (Lines{"changed 2-2", "changed 2-2"}));
    EXPECT_EQ(model_->index(2, 0).data(CameraGridModel::kCheckResultRole).toInt(),
              static_cast<int>(CheckResult::Failed));
    EXPECT_EQ(Text(*model_, 2, 1), "00:80:45:00:00:22");

    grid_.SetTarget(0, false);
    EXPECT_EQ(log_->Take(), Lines{"changed 0-0"});
    EXPECT_EQ(CheckState(*model_, 0), Qt::Unchecked);
}

TEST_F(GridModelTest, CheckBoxPressesFollowTheSelection) {
    struct Case {
        const char* what;
        int pressed;
        std::vector<int> selected;
        Lines told;
        std::vector<Qt::CheckState> after;
    };
    const Case cases[] = {
        {"one row selected: the pressed row flips", 1, {1}, {"changed 1-1"},
         {Qt::Checked, Qt::Unchecked, Qt::Checked}},
        {"a press outside the selection flips that row", 2, {0, 1}, {"changed 2-2"},
         {Qt::Checked, Qt::Checked, Qt::Unchecked}},
        {"a press inside the selection sets every selected row", 0, {0, 2}, {"changed 0-2"},
         {Qt::Unchecked, Qt::Checked, Qt::Unchecked}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int row = 0; row < grid_.RowCount(); ++row) grid_.SetTarget(row, true);
        if (grid_.RowCount() == 0) AddAll();
        log_->Take();
        model_->PressCheckBox(c.pressed, c.selected);
        EXPECT_EQ(log_->Take(), c.told);
        for (int row = 0; row < 3; ++row) EXPECT_EQ(CheckState(*model_, row), c.after[row]) << row;
    }
    // Space on a focused row inside the selection: every selected row takes its inverse.
    EXPECT_FALSE(model_->PressSpace(1, {0, 2})) << "the focused row is not selected";
    EXPECT_EQ(log_->Take(), Lines{});
    EXPECT_TRUE(model_->PressSpace(0, {0, 1, 2}));
    EXPECT_EQ(log_->Take(), Lines{"changed 0-2"});
    for (int row = 0; row < 3; ++row) EXPECT_EQ(CheckState(*model_, row), Qt::Checked) << row;
}

TEST_F(GridModelTest, HeaderPressesSortInsideAResetAndKeepTheViewsRows) {
    AddAll();
    struct Case {
        int column;
        Lines serials;  // top to bottom after the press
    };
    const Case cases[] = {
        {4, {"1000001", "1000002", "1000003"}},  // serial, ascending
        {4, {"1000003", "1000002", "1000001"}},  // the same column again: descending
        {3, {"1000001", "1000003", "1000002"}},  // model: QRV-K7, QRV-K7N, QRV-K7P
        {2, {"1000002", "1000003", "1000001"}},  // address text: "10.0.0.6:8080" < "10.0.0.7" < "DHCP"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        // The view keeps the row with serial 1000003 (selected) wherever it goes.
        const Lines before = Column(*model_, 4);
        const int kept = static_cast<int>(std::find(before.begin(), before.end(), "1000003") - before.begin());
        std::vector<int> keep{kept};
        model_->SortByColumn(c.column, keep);
        EXPECT_EQ(log_->Take(), Lines{"reset"});
        EXPECT_EQ(Column(*model_, 4), c.serials);
        EXPECT_EQ(Text(*model_, keep[0], 4), "1000003");
    }
    // The check box column with every flag alike leaves the rows alone.
    std::vector<int> keep;
    model_->SortByColumn(0, keep);
    EXPECT_EQ(Column(*model_, 4), (Lines{"1000002", "1000003", "1000001"}));
    grid_.SetTarget(2, false);
    log_->Take();
    model_->SortByColumn(1, keep);
    model_->SortByColumn(0, keep);
    EXPECT_EQ(log_->Take(), (Lines{"reset", "reset"}));
    EXPECT_EQ(CheckState(*model_, 0), Qt::Unchecked) << "ascending: the rows that are not targets first";
}

// A screen reader reads a row as its cells' texts; the check box cell as
// whose box it is and its state.
TEST_F(GridModelTest, RowsReadAsTheirColumnsTexts) {
    AddAll();
    grid_.SetTarget(1, false);
    grid_.SetCredentials(2, u"admin", u"secret");
    struct Case {
        int row;
        Lines read;  // every column, left to right
    };
    const Case cases[] = {
        {0, {"10.0.0.7 checked", "00:80:45:00:00:03", "10.0.0.7", "QRV-K7N", "1000003", "1.20", ""}},
        {1, {"DHCP not checked", "00:80:45:00:00:01", "DHCP", "QRV-K7", "1000001", "1.20", ""}},
        {2, {"10.0.0.6:8080 checked", "00:80:45:00:00:02", "10.0.0.6:8080", "QRV-K7P", "1000002", "1.20", "admin"}},
    };
    for (const Case& c : cases) {
        Lines read;
        for (int column = 0; column < model_->columnCount(); ++column) {
            read.push_back(Text(*model_, c.row, column, Qt::AccessibleTextRole));
        }
        EXPECT_EQ(read, c.read) << c.row;
    }
}

TEST_F(GridModelTest, EmptyingTheGridRemovesEveryRowAtOnce) {
    AddAll();
    grid_.DeleteAllRows();
    EXPECT_EQ(log_->Take(), Lines{"removed 0-2"});
    EXPECT_EQ(model_->rowCount(), 0);
    grid_.DeleteAllRows();
    EXPECT_EQ(log_->Take(), Lines{}) << "nothing to remove";
    ASSERT_TRUE(Add(kCameras[0]));
    EXPECT_EQ(log_->Take(), Lines{"inserted 0-0"});
}

// ---- the add-cameras entry list ----------------------------------------------------------

class AddCameraModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        model_ = std::make_unique<AddCameraListModel>(list_);
        tester_ = std::make_unique<QAbstractItemModelTester>(model_.get(),
                                                             QAbstractItemModelTester::FailureReportingMode::Fatal);
        log_ = std::make_unique<ModelLog>(*model_);
    }
    // A typed row; its camera is queued but never asked (the owner's timer is not driven).
    int Add(AddressBytes ip, int port = 80) {
        const int row = list_.AppendRow();
        list_.SetAddress(row, ip, port, true);
        return row;
    }

    HeadlessOwner owner_;
    AddCameraList list_{owner_, kModels};
    std::unique_ptr<AddCameraListModel> model_;
    std::unique_ptr<QAbstractItemModelTester> tester_;
    std::unique_ptr<ModelLog> log_;
};

TEST_F(AddCameraModelTest, AppendedRowsShowTheirNumberAddressAndInquiry) {
    EXPECT_EQ(model_->columnCount(), 5);
    const int row = list_.AppendRow();
    EXPECT_EQ(log_->Take(), (Lines{"inserted 0-0", "changed 0-0"}));
    EXPECT_EQ(Text(*model_, row, 0), "001");
    EXPECT_EQ(Text(*model_, row, 1), "") << "no address given yet";
    list_.SetAddress(row, {10, 1, 2, 3}, 8080, true);
    EXPECT_EQ(log_->Take(), Lines{"changed 0-0"});
    EXPECT_EQ(Text(*model_, row, 1), "10.1.2.3:8080");
    EXPECT_EQ(Text(*model_, row, 2), "Queued...");
    EXPECT_EQ(model_->index(row, 0).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(Text(*model_, row, 1, AddCameraListModel::kWebPageRole), "http://10.1.2.3:8080/");
    EXPECT_FALSE(model_->index(row, 0).data(AddCameraListModel::kUnsuitableRole).toBool());
    EXPECT_EQ(model_->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Serial No."));
}

TEST_F(AddCameraModelTest, ConflictsMarkTheRowsThatShareAnAddress) {
    struct Case {
        const char* what;
        std::vector<AddressBytes> typed;
        std::vector<int> conflicts;  // AddCameraItem::Conflict of each row
    };
    const Case cases[] = {
        {"different addresses", {{10, 0, 0, 1}, {10, 0, 0, 2}}, {0, 0}},
        {"one address twice in the list", {{10, 0, 0, 1}, {10, 0, 0, 2}, {10, 0, 0, 1}}, {1, 0, 1}},
        {"an address the grid holds", {{10, 0, 0, 9}, {10, 0, 0, 2}}, {2, 0}},
    };
    TargetGrid grid;
    grid.AddRow(0, u"m", u"10.0.0.9", u"QRV-K7", u"1", u"1.20", {10, 0, 0, 9}, 80, -1);
    list_.SetTargetGrid(&grid);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        while (list_.RowCount() > 0) list_.DeleteRow(0);
        for (const AddressBytes& ip : c.typed) Add(ip);
        ASSERT_EQ(model_->rowCount(), static_cast<int>(c.typed.size()));
        for (int row = 0; row < model_->rowCount(); ++row) {
            EXPECT_EQ(model_->index(row, 0).data(AddCameraListModel::kConflictRole).toInt(), c.conflicts[row]) << row;
        }
    }
}

TEST_F(AddCameraModelTest, DeletingARowRemovesItAndRenumbersTheRest) {
    for (std::uint8_t i = 1; i <= 4; ++i) Add({10, 0, 0, i});
    log_->Take();
    QObject context;
    int staleButtons = 0;
    QObject::connect(model_.get(), &AddCameraListModel::ButtonsStale, &context, [&] { ++staleButtons; });
    list_.DeleteRow(1);
    EXPECT_EQ(log_->Take(), (Lines{"removed 1-1", "changed 0-2"}));
    EXPECT_EQ(staleButtons, 1) << "the dialog looks at its buttons again";
    EXPECT_EQ(Column(*model_, 0), (Lines{"001", "002", "003"}));
    EXPECT_EQ(Column(*model_, 1), (Lines{"10.0.0.1", "10.0.0.3", "10.0.0.4"}));
    list_.DeleteRow(7);
    EXPECT_EQ(log_->Take(), Lines{}) << "no such row";

    // Rows that never got an address go when the entry dialog closes.
    list_.AppendRow();
    list_.AppendRow();
    log_->Take();
    list_.RemoveUnqueuedRows();
    EXPECT_EQ(log_->Take(), (Lines{"removed 4-4", "changed 0-3", "removed 3-3", "changed 0-2"}));
    EXPECT_EQ(model_->rowCount(), 3);
    while (list_.RowCount() > 0) list_.DeleteRow(0);
    EXPECT_EQ(model_->rowCount(), 0);
}

TEST_F(AddCameraModelTest, RowsReadAsTheirColumnsTexts) {
    Add({10, 1, 2, 3}, 8080);
    list_.AppendRow();
    for (int row = 0; row < model_->rowCount(); ++row) {
        for (int column = 0; column < model_->columnCount(); ++column) {
            EXPECT_EQ(Text(*model_, row, column, Qt::AccessibleTextRole), Text(*model_, row, column))
                << row << ',' << column;
        }
    }
    EXPECT_EQ(Text(*model_, 0, 1, Qt::AccessibleTextRole), "10.1.2.3:8080");
    EXPECT_EQ(Text(*model_, 1, 0, Qt::AccessibleTextRole), "002");
}

TEST_F(AddCameraModelTest, HeaderPressesReorderTheRowsAndEveryRowRepaints) {
    Add({10, 0, 0, 20});
    Add({10, 0, 0, 3});
    Add({10, 0, 0, 100});
    log_->Take();
    struct Case {
        int column;
        Lines addresses;
    };
    const Case cases[] = {
        {0, {"10.0.0.100", "10.0.0.3", "10.0.0.20"}},  // number: the highest first
        {0, {"10.0.0.20", "10.0.0.3", "10.0.0.100"}},  // again: the lowest first
        {1, {"10.0.0.100", "10.0.0.20", "10.0.0.3"}},  // address text, code unit by code unit
        {1, {"10.0.0.3", "10.0.0.20", "10.0.0.100"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        EXPECT_TRUE(list_.SortByColumn(c.column));
        EXPECT_EQ(log_->Take(), Lines{"changed 0-2"});
        EXPECT_EQ(Column(*model_, 1), c.addresses);
    }
}

// ---- the progress list -------------------------------------------------------------------

const FirmwarePackage& Package() {
    static const FirmwarePackage package = [] {
        FirmwarePackage p;
        p.LoadAll();
        return p;
    }();
    return package;
}

class ProgressModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        model_ = std::make_unique<ProgressListModel>(batch_);
        tester_ = std::make_unique<QAbstractItemModelTester>(model_.get(),
                                                             QAbstractItemModelTester::FailureReportingMode::Fatal);
        log_ = std::make_unique<ModelLog>(*model_);
    }

    HeadlessOwner owner_;
    BatchRun batch_{owner_, Package()};
    std::unique_ptr<ProgressListModel> model_;
    std::unique_ptr<QAbstractItemModelTester> tester_;
    std::unique_ptr<ModelLog> log_;
};

TEST_F(ProgressModelTest, EveryTargetOfTheGridBecomesARow) {
    EXPECT_EQ(model_->columnCount(), 6);
    TargetGrid grid;
    grid.AddRow(0, u"m1", u"10.0.0.5", u"QRV-K7", u"1000001", u"1.20", {10, 0, 0, 5}, 80, -1);
    grid.AddRow(1, u"m2", u"10.0.0.6", u"QRV-K7", u"1000002", u"1.20", {10, 0, 0, 6}, 80, -1);
    grid.AddRow(2, u"m3", u"DHCP", u"QRV-K7P", u"1000003", u"1.10", {10, 0, 0, 7}, 8080, -1);
    grid.SetTarget(1, false);
    EXPECT_EQ(batch_.AddTargets(grid), 2);
    EXPECT_EQ(log_->Take(), (Lines{"inserted 0-0", "inserted 1-1"}));
    ASSERT_EQ(model_->rowCount(), 2);
    EXPECT_EQ(Column(*model_, 0), (Lines{"001", "002"}));
    EXPECT_EQ(Column(*model_, 1), (Lines{"10.0.0.5", "10.0.0.7:8080"})) << "the real address of a DHCP row";
    EXPECT_EQ(Column(*model_, 2), (Lines{"QRV-K7", "QRV-K7P"}));
    EXPECT_EQ(Column(*model_, 3), (Lines{"1.20", "1.10"}));
    EXPECT_EQ(Column(*model_, 4), (Lines{"", ""})) << "the progress column draws a bar";
    EXPECT_EQ(Column(*model_, 5), (Lines{"Standby", "Standby"}));
    EXPECT_EQ(model_->index(1, 4).data(ProgressListModel::kProgressRole).toInt(), 0);
    EXPECT_EQ(model_->index(0, 0).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignHCenter | Qt::AlignVCenter));
    EXPECT_EQ(model_->headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Progress"));

    model_->RefreshProgress();
    EXPECT_EQ(log_->Take(), Lines{}) << "no progress has moved";

    batch_.Clear();
    EXPECT_EQ(log_->Take(), Lines{"removed 0-1"});
    EXPECT_EQ(model_->rowCount(), 0);
    batch_.Clear();
    EXPECT_EQ(log_->Take(), Lines{}) << "nothing to remove";
}

// The progress bar reads as the share done (nothing yet before a run); the
// other cells as their texts.
TEST_F(ProgressModelTest, RowsReadAsTheirColumnsTextsAndTheBarAsAShare) {
    struct Case {
        UpgradeTarget target;
        Lines read;
    };
    const Case cases[] = {
        {UpgradeTarget{u"a", u"b", u"QRV-K7", u"1.20", u"", {10, 0, 0, 5}, 80, false},
         {"001", "10.0.0.5", "QRV-K7", "1.20", "0%", "Standby"}},
        {UpgradeTarget{u"a", u"b", u"QRV-K7P", u"1.10", u"", {10, 0, 0, 6}, 8080, false},
         {"002", "10.0.0.6:8080", "QRV-K7P", "1.10", "0%", "Standby"}},
    };
    for (const Case& c : cases) {
        const int row = batch_.AddRow(c.target);
        ASSERT_GE(row, 0);
        Lines read;
        for (int column = 0; column < model_->columnCount(); ++column) {
            read.push_back(Text(*model_, row, column, Qt::AccessibleTextRole));
        }
        EXPECT_EQ(read, c.read) << row;
    }
}

TEST_F(ProgressModelTest, RowsAddedOneByOneUpToTheLimit) {
    for (int i = 0; i < kMaxListedCameras; ++i) {
        ASSERT_EQ(batch_.AddRow(UpgradeTarget{u"a", u"b", u"QRV-K7", u"1.20", u"", {10, 0, 1, 1}, 80, false}), i);
    }
    EXPECT_EQ(log_->Take().size(), static_cast<std::size_t>(kMaxListedCameras));
    EXPECT_EQ(batch_.AddRow(UpgradeTarget{u"a", u"b", u"QRV-K7", u"1.20", u"", {10, 0, 1, 2}, 80, false}), -1);
    EXPECT_EQ(log_->Take(), Lines{});
    EXPECT_EQ(model_->rowCount(), kMaxListedCameras);
    EXPECT_EQ(Text(*model_, kMaxListedCameras - 1, 0), "256");
}

}  // namespace
}  // namespace qrv::test
