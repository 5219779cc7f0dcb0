// The camera list rules that need no camera: detected rows from the table,
// the grid's duplicate rule, the duplicate-address message, the add-cameras
// rows (addresses, conflict marks, deleting and renumbering), the progress
// rows made from the grid, an abort before anything started, and the texts
// of the status column and the upgrade log.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "batch/AddCameraList.h"
#include "batch/BatchRun.h"
#include "batch/DuplicateAddressCheck.h"
#include "batch/GridRefresh.h"
#include "batch/ListTexts.h"
#include "engine/JobStage.h"
#include "platform/HeadlessOwner.h"

namespace qrv {
namespace {

const ModelList kModels = {"QRV-K7", "QRV-K7N", "QRV-K7P"};

DiscoveredCamera Detected(const char* mac, AddressBytes ip, int port = 80, bool dhcp = false,
                          const char* serial = "1000001") {
    DiscoveredCamera camera;
    std::strcpy(camera.mac.data(), mac);
    std::strcpy(camera.model.data(), "QRV-K7");
    std::strcpy(camera.serial.data(), serial);
    std::strcpy(camera.version.data(), "1.20");
    camera.ip = ip;
    camera.port = port;
    camera.dhcp = dhcp ? 1 : 0;
    return camera;
}

void AddGridRow(TargetGrid& grid, AddressBytes ip, const std::u16string& mac, const std::u16string& serial = u"") {
    grid.AddRow(grid.RowCount(), mac, FormatAddress(ip, 80), u"QRV-K7", serial, u"1.20", ip, 80, -1);
}

struct CountingObserver : AddCameraObserver {
    int begins = 0;
    int ends = 0;
    int refreshes = 0;
    void BeginUpdate() override { ++begins; }
    void EndUpdate() override { ++ends; }
    void RefreshButtons() override { ++refreshes; }
};

// ---- detected rows -----------------------------------------------------------------

TEST(DetectedRows, ThreeCamerasGiveThreeRowsInSlotOrderAndASecondRefreshAddsNothing) {
    DiscoveryTable table(kModels);
    table.Store(Detected("00:80:45:00:00:01", {10, 0, 0, 5}));
    table.Store(Detected("00:80:45:00:00:02", {10, 0, 0, 7}, 8080, false, "1000002"));
    table.Store(Detected("00:80:45:00:00:03", {10, 0, 0, 9}, 80, true, "1000003"));
    TargetGrid grid;
    CountingObserver observer;

    const GridRefresh first = RefreshGridFromTable(grid, table, &observer);
    EXPECT_EQ(first.added, 3);
    EXPECT_EQ(first.counter, u"3/256");
    EXPECT_FALSE(first.targetsHaveCredentials) << "targets without credentials keep Next disabled";
    EXPECT_EQ(observer.begins, 1);
    EXPECT_EQ(observer.ends, 1);
    ASSERT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(grid.Row(0).mac, u"00:80:45:00:00:01");
    EXPECT_EQ(grid.Row(0).addressText, u"10.0.0.5");
    EXPECT_EQ(grid.Row(1).addressText, u"10.0.0.7:8080");
    EXPECT_EQ(grid.Row(2).addressText, u"DHCP");
    EXPECT_EQ((grid.Row(2).ip), (AddressBytes{10, 0, 0, 9})) << "the real address stays with a DHCP row";
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(grid.Row(row).id, row);
        EXPECT_EQ(grid.Row(row).tag, -1);
        EXPECT_EQ(grid.Row(row).target, 1);
        EXPECT_EQ(grid.Row(row).model, u"QRV-K7");
        EXPECT_EQ(grid.Row(row).version, u"1.20");
    }

    const GridRefresh second = RefreshGridFromTable(grid, table);
    EXPECT_EQ(second.added, 0);
    EXPECT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(second.counter, u"3/256");
}

TEST(DetectedRows, ARefreshAppendsOnlyTheSlotsAfterTheRowsAlreadyShown) {
    DiscoveryTable table(kModels);
    table.Store(Detected("00:80:45:00:00:01", {10, 0, 0, 5}));
    TargetGrid grid;
    RefreshGridFromTable(grid, table);
    grid.SetCredentials(0, u"admin", u"pw");
    table.Store(Detected("00:80:45:00:00:02", {10, 0, 0, 6}, 80, false, "1000002"));
    // The first camera answers again with a new address: its row stays as shown.
    table.Store(Detected("00:80:45:00:00:01", {10, 0, 0, 50}));

    const GridRefresh refresh = RefreshGridFromTable(grid, table);
    EXPECT_EQ(refresh.added, 1);
    ASSERT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.Row(0).addressText, u"10.0.0.5");
    EXPECT_EQ(grid.Row(0).name, u"admin");
    EXPECT_EQ(grid.Row(1).addressText, u"10.0.0.6");
    EXPECT_FALSE(refresh.targetsHaveCredentials) << "the new target has no credentials yet";
}

TEST(DetectedRows, AnEmptyTableGivesNoRowsAndTheCounterZero) {
    DiscoveryTable table(kModels);
    TargetGrid grid;
    const GridRefresh refresh = RefreshGridFromTable(grid, table);
    EXPECT_EQ(refresh.added, 0);
    EXPECT_EQ(refresh.counter, u"0/256");
    EXPECT_FALSE(refresh.targetsHaveCredentials);
}

// ---- the grid's own rules --------------------------------------------------------------

TEST(TargetGridRows, DuplicatesAreFoundByMacThenBySerial) {
    TargetGrid grid;
    AddGridRow(grid, {10, 0, 0, 1}, u"00:80:45:00:00:01", u"1000001");
    EXPECT_FALSE(grid.AddRow(1, u"00:80:45:00:00:01", u"10.0.0.2", u"QRV-K7", u"other", u"1.20", {10, 0, 0, 2}, 80, 0))
        << "same MAC";
    EXPECT_FALSE(grid.AddRow(1, u"", u"10.0.0.3", u"QRV-K7", u"1000001", u"1.20", {10, 0, 0, 3}, 80, 0))
        << "no MAC, same serial";
    EXPECT_TRUE(grid.AddRow(1, u"00:80:45:00:00:02", u"10.0.0.4", u"QRV-K7", u"1000001", u"1.20", {10, 0, 0, 4}, 80,
                            0))
        << "a MAC of its own wins over the serial";
    EXPECT_FALSE(grid.AddRow(2, u"", u"10.0.0.5", u"QRV-K7", u"", u"", {10, 0, 0, 5}, 80, 0))
        << "neither key: only an empty grid takes it";
    TargetGrid empty;
    EXPECT_TRUE(empty.AddRow(0, u"", u"10.0.0.5", u"QRV-K7", u"", u"", {10, 0, 0, 5}, 80, 7));
    EXPECT_EQ(empty.Row(0).tag, 7);
    EXPECT_EQ(grid.RowCount(), 2);
}

TEST(TargetGridRows, NextNeedsATargetAndCredentialsOnEveryTarget) {
    TargetGrid grid;
    AddGridRow(grid, {10, 0, 0, 1}, u"m1");
    AddGridRow(grid, {10, 0, 0, 2}, u"m2");
    EXPECT_FALSE(grid.TargetsHaveCredentials());
    grid.SetCredentials(0, u"admin", u"pw");
    EXPECT_FALSE(grid.TargetsHaveCredentials());
    grid.SetTarget(1, false);
    EXPECT_TRUE(grid.TargetsHaveCredentials()) << "rows that are not targets need nothing";
    grid.SetCredentials(0, u"admin", u"");
    EXPECT_FALSE(grid.TargetsHaveCredentials()) << "an empty password";
    grid.SetTarget(0, false);
    EXPECT_FALSE(grid.TargetsHaveCredentials()) << "no target at all";
}

TEST(TargetGridRows, UpgradeTargetCarriesTheRowAndTellsDhcp) {
    TargetGrid grid;
    grid.AddRow(0, u"m1", u"DHCP", u"QRV-K7N", u"1000009", u"1.10", {10, 0, 0, 7}, 1080, -1);
    grid.SetCredentials(0, u"root", u"secret");
    bool target = false;
    const UpgradeTarget up = grid.GetUpgradeTarget(0, target);
    EXPECT_TRUE(target);
    EXPECT_TRUE(up.dhcp);
    EXPECT_EQ(up.name, u"root");
    EXPECT_EQ(up.password, u"secret");
    EXPECT_EQ(up.model, u"QRV-K7N");
    EXPECT_EQ(up.serial, u"1000009");
    EXPECT_EQ(up.version, u"1.10");
    EXPECT_EQ((up.ip), (AddressBytes{10, 0, 0, 7}));
    EXPECT_EQ(up.port, 1080);
    EXPECT_EQ((grid.GetAddressBytes(0)), (AddressBytes{10, 0, 0, 7}));
}

// ---- duplicate addresses -------------------------------------------------------------

TEST(DuplicateAddresses, TwoRowsWithOneAddressGiveOneLineAndTheStopBox) {
    TargetGrid grid;
    AddGridRow(grid, {10, 0, 0, 5}, u"m1");
    AddGridRow(grid, {10, 0, 0, 5}, u"m2");
    AddGridRow(grid, {10, 0, 0, 6}, u"m3");
    const std::u16string expected =
        u"There is more than one camera with the same IP address as below.\r\n#10.0.0.5\r\n"
        u"Please assign different addresses to avoid any conflict.";
    EXPECT_EQ(DuplicateAddressMessage(grid), expected);

    HeadlessOwner owner;
    EXPECT_FALSE(CheckDuplicateAddresses(grid, false, &owner));
    ASSERT_EQ(owner.Boxes().size(), 1u);
    EXPECT_EQ(owner.Boxes()[0].text, expected);
    EXPECT_EQ(owner.Boxes()[0].caption, u"Error");
    EXPECT_EQ(owner.Boxes()[0].icon, BoxIcon::Stop);

    EXPECT_TRUE(CheckDuplicateAddresses(grid, true, &owner)) << "relaxed addressing skips the check";
    EXPECT_EQ(owner.Boxes().size(), 1u);
}

TEST(DuplicateAddresses, EveryPairIsALineAndPortsDoNotSeparateAddresses) {
    TargetGrid grid;
    AddGridRow(grid, {10, 0, 0, 5}, u"m1");
    grid.AddRow(1, u"m2", u"10.0.0.5:8080", u"QRV-K7", u"", u"", {10, 0, 0, 5}, 8080, -1);
    grid.AddRow(2, u"m3", u"DHCP", u"QRV-K7", u"", u"", {10, 0, 0, 5}, 80, -1);
    const std::optional<std::u16string> message = DuplicateAddressMessage(grid);
    ASSERT_TRUE(message);
    const std::u16string line = u"#10.0.0.5\r\n";
    std::size_t lines = 0;
    for (std::size_t at = message->find(line); at != std::u16string::npos; at = message->find(line, at + 1)) ++lines;
    EXPECT_EQ(lines, 3u);

    TargetGrid unique;
    AddGridRow(unique, {10, 0, 0, 5}, u"m1");
    AddGridRow(unique, {10, 0, 0, 6}, u"m2");
    EXPECT_FALSE(DuplicateAddressMessage(unique));
    EXPECT_TRUE(CheckDuplicateAddresses(unique, false, nullptr));
}

// ---- add-cameras rows (no inquiry runs: the owner's timer is never driven) -------------

struct AddRows : ::testing::Test {
    HeadlessOwner owner;
    TargetGrid grid;
    AddCameraList list{owner, kModels};
    CountingObserver observer;

    void SetUp() override { list.SetObserver(&observer); }
    int Add(AddressBytes ip, int port = 80) {
        const int row = list.AppendRow();
        list.SetAddress(row, ip, port, true);
        return row;
    }
    std::vector<int> Conflicts() const {
        std::vector<int> marks;
        for (int row = 0; row < list.RowCount(); ++row) marks.push_back(static_cast<int>(list.Row(row).conflict));
        return marks;
    }
};

TEST_F(AddRows, ANewRowTakesTheNextNumberAndTheAddressLastEntered) {
    EXPECT_EQ((list.LastAddress()), (AddressBytes{192, 168, 0, 100}));
    EXPECT_EQ(list.LastPort(), 80);
    const int first = list.AppendRow();
    EXPECT_EQ(list.Row(first).number, 1);
    EXPECT_FALSE(list.Row(first).queued);
    list.SetAddress(first, {10, 1, 2, 3}, 8080, true);
    const AddCameraItem& row = list.Row(first);
    EXPECT_EQ(row.address.Text(), u"10.1.2.3:8080");
    EXPECT_EQ(row.inquiry, AddCameraItem::Inquiry::Queued);
    EXPECT_TRUE(row.queued);
    EXPECT_EQ(list.PendingCount(), 1);
    EXPECT_TRUE(owner.IsTimerRunning(AddCameraList::kTimerId));
    EXPECT_EQ(owner.RunningTimers().at(AddCameraList::kTimerId), 500);

    const int second = list.AppendRow();
    EXPECT_EQ(list.Row(second).number, 2);
    EXPECT_EQ(list.Row(second).address, (CameraAddress{{10, 1, 2, 3}, 8080}));
    EXPECT_EQ(Conflicts(), (std::vector<int>{0, 0})) << "a row without an address conflicts with nothing";
    EXPECT_FALSE(list.AllRowsAcceptable());
}

TEST_F(AddRows, SavingTheSameAddressAgainDoesNotAskTheCameraAgain) {
    const int row = Add({10, 0, 0, 5});
    EXPECT_EQ(list.PendingCount(), 1);
    list.SetAddress(row, {10, 0, 0, 5}, 80, true);
    EXPECT_EQ(list.PendingCount(), 1);
    list.SetAddress(row, {10, 0, 0, 5}, 1024, true);
    EXPECT_EQ(list.PendingCount(), 1) << "the old inquiry is dropped, the new one queued";
    EXPECT_EQ(list.Row(row).address.Text(), u"10.0.0.5:1024");
    list.SetAddress(row, {10, 0, 0, 6}, 80, false);
    EXPECT_EQ(list.PendingCount(), 0) << "an address that is not to be asked leaves no inquiry behind";
    EXPECT_FALSE(list.Row(row).queued);
}

TEST_F(AddRows, ConflictMarksTwoInTheListIsOneAlreadyInTheGridIsTwo) {
    AddGridRow(grid, {10, 0, 0, 9}, u"m1");
    list.SetTargetGrid(&grid);
    Add({10, 0, 0, 5});
    Add({10, 0, 0, 5}, 8080);  // the port does not make it another camera
    Add({10, 0, 0, 6});
    EXPECT_EQ(Conflicts(), (std::vector<int>{1, 1, 0}));
    Add({10, 0, 0, 9});
    EXPECT_EQ(Conflicts(), (std::vector<int>{1, 1, 0, 2}));
    Add({10, 0, 0, 9});
    EXPECT_EQ(Conflicts(), (std::vector<int>{1, 1, 0, 2, 2})) << "2 wins over 1";
    list.SetAddress(1, {10, 0, 0, 7}, 80, true);
    EXPECT_EQ(Conflicts(), (std::vector<int>{0, 0, 0, 2, 2}));
    EXPECT_FALSE(list.AllRowsAcceptable());
}

TEST_F(AddRows, DeletingRenumbersTheRowsAfterItAndKeepsTheSelectionInPlace) {
    for (std::uint8_t i = 1; i <= 4; ++i) Add({10, 0, 0, i});
    list.SelectRow(1);
    list.DeleteRow(1);
    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.Row(0).number, 1);
    EXPECT_EQ(list.Row(1).number, 2);
    EXPECT_EQ(list.Row(1).address.Text(), u"10.0.0.3");
    EXPECT_EQ(list.Row(2).number, 3);
    EXPECT_EQ(list.FindRow(4), -1);
    EXPECT_EQ(list.SelectedRow(), 1) << "the row now at the deleted position";
    EXPECT_EQ(list.PendingCount(), 3) << "the deleted row's inquiry is gone";
    EXPECT_EQ(observer.refreshes, 1);

    list.SelectRow(2);
    list.DeleteRow(2);
    EXPECT_EQ(list.SelectedRow(), 1) << "past the end: the new last row";
    list.DeleteRow(0);
    list.DeleteRow(0);
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(observer.refreshes, 3) << "no refresh once the list is empty";
    EXPECT_EQ(list.PendingCount(), 0);
}

TEST_F(AddRows, DeletingARowClearsTheConflictItCaused) {
    Add({10, 0, 0, 5});
    Add({10, 0, 0, 5});
    EXPECT_EQ(Conflicts(), (std::vector<int>{1, 1}));
    list.DeleteRow(1);
    EXPECT_EQ(Conflicts(), (std::vector<int>{0}));
}

TEST_F(AddRows, RowsThatNeverGotAnAddressAreRemovedAndTheRestRenumbered) {
    list.AppendRow();
    Add({10, 0, 0, 5});
    list.AppendRow();
    Add({10, 0, 0, 6});
    list.RemoveUnqueuedRows();
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.Row(0).number, 1);
    EXPECT_EQ(list.Row(0).address.Text(), u"10.0.0.5");
    EXPECT_EQ(list.Row(1).number, 2);
    EXPECT_EQ(list.ModelText(2), u"Queued...");
    EXPECT_EQ(list.ModelText(3), u"");
}

TEST_F(AddRows, SelectionStepsStayInsideTheList) {
    for (std::uint8_t i = 1; i <= 3; ++i) Add({10, 0, 0, i});
    list.SelectRow(0);
    list.SelectPreviousRow();
    EXPECT_EQ(list.SelectedRow(), 0);
    list.SelectNextRow();
    list.SelectNextRow();
    list.SelectNextRow();
    EXPECT_EQ(list.SelectedRow(), 2);
    list.SelectRow(0);
    list.SelectLastRow();
    EXPECT_EQ(list.SelectedRow(), 2);
}

TEST_F(AddRows, AnEmptyListIsAcceptableAndTransfersNothing) {
    EXPECT_TRUE(list.AllRowsAcceptable());
    EXPECT_EQ(list.TransferAcceptableRows(grid), 0);
    EXPECT_EQ(grid.RowCount(), 0);
}

TEST_F(AddRows, DestroyingTheListStopsItsTimer) {
    {
        AddCameraList other(owner, kModels);
        other.SetAddress(other.AppendRow(), {10, 0, 0, 5}, 80, true);
        EXPECT_TRUE(owner.IsTimerRunning(AddCameraList::kTimerId));
    }
    EXPECT_FALSE(owner.IsTimerRunning(AddCameraList::kTimerId));
}

// ---- progress rows (no job starts: the batch is aborted first) -----------------------

const FirmwarePackage& Package() {
    static const FirmwarePackage package = [] {
        FirmwarePackage p;
        p.LoadAll();
        return p;
    }();
    return package;
}

TEST(ProgressRows, EveryTargetOfTheGridBecomesARowWithItsJob) {
    TargetGrid grid;
    grid.AddRow(0, u"m1", u"10.0.0.5", u"QRV-K7", u"1000001", u"1.20", {10, 0, 0, 5}, 80, -1);
    grid.AddRow(1, u"m2", u"10.0.0.6", u"QRV-K7", u"1000002", u"1.20", {10, 0, 0, 6}, 80, -1);
    grid.AddRow(2, u"m3", u"DHCP", u"QRV-K7P", u"1000003", u"1.10", {10, 0, 0, 7}, 8080, -1);
    grid.SetTarget(1, false);
    grid.SetCredentials(2, u"admin", u"pw");
    HeadlessOwner owner;
    BatchRun list(owner, Package());
    EXPECT_EQ(list.AddTargets(grid), 2);
    ASSERT_EQ(list.RowCount(), 2);
    const ProgressItem& dhcp = list.Row(1);
    EXPECT_EQ(dhcp.index, 1);
    EXPECT_EQ(dhcp.address, (CameraAddress{{10, 0, 0, 7}, 8080})) << "the real address, not DHCP";
    EXPECT_EQ(dhcp.model, u"QRV-K7P");
    EXPECT_EQ(dhcp.version, u"1.10");
    EXPECT_EQ(dhcp.name, u"admin");
    // The password lives in the job only (below), not in the row the list keeps for the whole batch.
    EXPECT_EQ(dhcp.stage, kStandby);
    EXPECT_EQ(dhcp.dhcp, 1);
    EXPECT_EQ(dhcp.versionBefore, u"1.10");
    EXPECT_EQ(list.QueuedCount(), 2);

    UpgradeJob* job = list.FindJob(1);
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->Client().Address(), "10.0.0.7:8080");
    EXPECT_EQ(job->Client().Credentials(), "YWRtaW46cHc=");  // admin:pw
    EXPECT_EQ(job->Client().Slot(), 1);
    EXPECT_EQ(job->Client().Serial(), u"1000003");
    EXPECT_TRUE(job->Client().IsAutomatic()) << "refusals become stage codes, never boxes";
    EXPECT_EQ(list.FindJob(2), nullptr);

    list.Clear();
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(list.QueuedCount(), 0);
}

TEST(ProgressRows, TheRunParametersReachEveryJob) {
    HeadlessOwner owner;
    BatchRun list(owner, Package());
    list.AddRow(UpgradeTarget{u"admin", u"pw", u"QRV-K7", u"1.20", u"1", {10, 0, 0, 5}, 80, false});
    const WallTime stamp = WallNow();
    list.SetRunParameters(true, false, stamp);
    const CameraClient& client = list.FindJob(0)->Client();
    EXPECT_EQ(client.RetainFlag()->load(), 1);
    EXPECT_EQ(client.DeleteFlag()->load(), 0);
    EXPECT_EQ(*client.BatchTime(), stamp);
    list.SetRunParameters(false, true, stamp);
    EXPECT_EQ(client.RetainFlag()->load(), 0);
    EXPECT_EQ(client.DeleteFlag()->load(), 1);
}

TEST(ProgressRows, AnAbortBeforeAnyStartEmptiesTheQueueAtTheNextTick) {
    HeadlessOwner owner;
    BatchRun list(owner, Package());
    for (std::uint8_t i = 5; i <= 7; ++i) {
        list.AddRow(UpgradeTarget{u"admin", u"pw", u"QRV-K7", u"1.20", u"1", {10, 0, 0, i}, 80, false});
    }
    list.StartScheduler();
    EXPECT_EQ(owner.RunningTimers().at(BatchRun::kSchedulerTimer), 33);
    list.SetCancel();
    EXPECT_TRUE(list.OnTimer(BatchRun::kSchedulerTimer));
    EXPECT_EQ(list.QueuedCount(), 0);
    EXPECT_FALSE(owner.IsTimerRunning(BatchRun::kSchedulerTimer));
    EXPECT_FALSE(list.CancelRequested()) << "the flag is cleared with the empty queue";
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(list.Row(row).result, 0);
        EXPECT_EQ(list.Row(row).progress.load(), 0);
        EXPECT_EQ(list.Row(row).stage, kStandby);
    }
    EXPECT_EQ(list.UpgradeLog(), u"") << "no line for a camera that was never upgraded";
    EXPECT_FALSE(list.OnTimer(kJobTickTimer + 0)) << "a tick of a job that left the queue is ignored";
}

TEST(ProgressRows, TheListTakesAtMost256Cameras) {
    HeadlessOwner owner;
    BatchRun list(owner, Package());
    for (int i = 0; i < kMaxListedCameras; ++i) {
        ASSERT_EQ(list.AddRow(UpgradeTarget{u"a", u"b", u"QRV-K7", u"1.20", u"", {10, 0, 1, 1}, 80, false}), i);
    }
    EXPECT_EQ(list.AddRow(UpgradeTarget{u"a", u"b", u"QRV-K7", u"1.20", u"", {10, 0, 1, 1}, 80, false}), -1);
    EXPECT_EQ(list.FindJob(255)->Client().Slot(), 255);
}

// ---- texts ---------------------------------------------------------------------------------

TEST(ListTexts, TheStatusColumnNamesEveryStage) {
    const std::u16string expected[] = {u"Standby",     u"Prepare",       u"Saving config file", u"Uploading",
                                       u"Overwriting", u"Searching",     u"Rebooting",          u"Loading config file",
                                       u"Reconfiguring", u"Completed",   u"Error1",             u"Error2",
                                       u"Error3",      u"Error4",        u"Error5",             u"Error6",
                                       u"Error7"};
    for (int stage = 0; stage <= kError7; ++stage) EXPECT_EQ(ListStageText(stage), expected[stage]) << stage;
    EXPECT_EQ(ListStageText(-1), u"");
    EXPECT_EQ(ListStageText(17), u"");
}

TEST(ListTexts, EachProgressColumnShowsItsRowsValue) {
    ProgressItem item;
    item.index = 6;
    item.address = {{10, 0, 0, 7}, 8080};
    item.model = u"QRV-K7P";
    item.version = u"1.10";
    item.stage = kUploading;
    const std::pair<ProgressColumn, std::u16string> cases[] = {
        {ProgressColumn::Id, u"007"},      {ProgressColumn::Address, u"10.0.0.7:8080"},
        {ProgressColumn::Model, u"QRV-K7P"}, {ProgressColumn::Version, u"1.10"},
        {ProgressColumn::Progress, u""},   {ProgressColumn::Status, u"Uploading"}};
    for (const auto& [column, text] : cases) {
        EXPECT_EQ(ProgressColumnText(item, column), text) << static_cast<int>(column);
    }
}

TEST(ListTexts, EachAddCameraColumnShowsItsRowsValueOrWhereTheInquiryStands) {
    using Inquiry = AddCameraItem::Inquiry;
    struct Case {
        bool addressGiven;
        Inquiry inquiry;
        AddCameraColumn column;
        std::u16string text;
    };
    const Case cases[] = {
        {true, Inquiry::Identified, AddCameraColumn::Number, u"012"},
        {true, Inquiry::Identified, AddCameraColumn::Address, u"10.0.0.5:8080"},
        {false, Inquiry::None, AddCameraColumn::Address, u""},
        {true, Inquiry::None, AddCameraColumn::Model, u""},
        {true, Inquiry::Queued, AddCameraColumn::Model, u"Queued..."},
        {true, Inquiry::Searching, AddCameraColumn::Model, u"Searching..."},
        {true, Inquiry::NoResponse, AddCameraColumn::Model, u"No response"},
        {true, Inquiry::NotACamera, AddCameraColumn::Model, u"Not a camera"},
        {true, Inquiry::Identified, AddCameraColumn::Model, u"QRV-K7"},
        {true, Inquiry::Identified, AddCameraColumn::Serial, u"1000001"},
        {true, Inquiry::Identified, AddCameraColumn::Version, u"1.20"},
    };
    for (const Case& c : cases) {
        AddCameraItem item;
        item.number = 12;
        item.address = {{10, 0, 0, 5}, 8080};
        item.addressGiven = c.addressGiven;
        item.inquiry = c.inquiry;
        item.model = u"QRV-K7";
        item.serial = u"1000001";
        item.version = u"1.20";
        EXPECT_EQ(AddCameraColumnText(item, c.column), c.text)
            << static_cast<int>(c.column) << " " << static_cast<int>(c.inquiry);
    }
}

TEST(ListTexts, EveryFinalStateHasItsResultLine) {
    const std::pair<int, std::u16string> outcomes[] = {
        {kCompleted, u"Completed successfully.\r\n"}, {kError1, u"Network error (missing target).\r\n"},
        {kError2, u"Upgrade sequence error.\r\n"},    {kError3, u"Login error.\r\n"},
        {kError4, u"Ftp error.\r\n"},                 {kError5, u"Insufficient memory.\r\n"},
        {kError6, u"Cannot save config.\r\n"},        {kError7, u"Cannot load config.\r\n"}};
    for (const auto& [stage, outcome] : outcomes) {
        EXPECT_EQ(ResultLine(u"QRV-K7", u"10.0.0.5", false, 6000, stage), u"QRV-K7(10.0.0.5) " + outcome);
        EXPECT_EQ(ResultLine(u"QRV-K7", u"10.0.0.5:8080", true, 6000, stage), u"QRV-K7(DHCP:10.0.0.5:8080) " + outcome);
    }
    EXPECT_EQ(ResultLine(u"QRV-K7", u"10.0.0.5", false, 0, kCompleted), u"") << "a row whose job never ran";
    EXPECT_EQ(ResultLine(u"QRV-K7", u"10.0.0.5", false, 6000, kUploading), u"")
        << "no half line without its end";
    EXPECT_EQ(WithoutVerPrefix(u"ver1.30"), u"1.30");
    EXPECT_EQ(WithoutVerPrefix(u"unknown"), u"unknown");
}

TEST(AddCameraRows, HeaderPressesSortAndTheSelectionFollowsItsRow) {
    HeadlessOwner owner;
    AddCameraList list(owner, kModels);
    for (std::uint8_t last : {3, 1, 2}) list.SetAddress(list.AppendRow(), {10, 0, 0, last}, 80, false);
    list.SelectRow(0);  // number 1, 10.0.0.3
    auto numbers = [&list] {
        std::vector<int> order;
        for (int row = 0; row < list.RowCount(); ++row) order.push_back(list.Row(row).number);
        return order;
    };
    struct Press {
        int column;
        std::vector<int> order;
        bool ascending;
    };
    for (const Press& press : {Press{1, {2, 3, 1}, true}, Press{1, {1, 3, 2}, false}, Press{0, {3, 2, 1}, true},
                               Press{0, {1, 2, 3}, false}, Press{1, {2, 3, 1}, true}}) {
        EXPECT_TRUE(list.SortByColumn(press.column));
        EXPECT_EQ(numbers(), press.order) << press.column;
        EXPECT_EQ(list.SortAscending(), press.ascending);
        EXPECT_EQ(list.Row(list.SelectedRow()).number, 1) << "the selection stays on its row";
    }
    EXPECT_FALSE(list.SortByColumn(5));
    EXPECT_EQ(numbers(), (std::vector<int>{2, 3, 1}));
}

// A window's model must hear of every row before it comes or goes, and once
// the list holds it (or no longer does).
struct RowEvents : AddCameraObserver {
    std::vector<std::string> seen;
    const std::function<int()> count;
    explicit RowEvents(std::function<int()> rows) : count(std::move(rows)) {}
    void RowsInserting(int first, int last) override { Add("insert", first, last); }
    void RowsRemoving(int first, int last) override { Add("remove", first, last); }
    void RowsChanged() override { seen.push_back("changed rows=" + std::to_string(count())); }
    void Add(const char* what, int first, int last) {
        seen.push_back(std::string(what) + " " + std::to_string(first) + ".." + std::to_string(last) +
                       " rows=" + std::to_string(count()));
    }
};

TEST(ListObservers, HearRowsComingAndGoingAroundTheChange) {
    HeadlessOwner owner;
    BatchRun progress(owner, Package());
    RowEvents progressEvents([&progress] { return progress.RowCount(); });
    progress.SetObserver(&progressEvents);
    for (std::uint8_t last : {5, 6}) {
        progress.AddRow(UpgradeTarget{u"admin", u"pw", u"QRV-K7", u"1.20", u"1", {10, 0, 0, last}, 80, false});
    }
    progress.Clear();
    EXPECT_EQ(progressEvents.seen,
              (std::vector<std::string>{"insert 0..0 rows=0", "changed rows=1", "insert 1..1 rows=1", "changed rows=2",
                                        "remove 0..1 rows=2", "changed rows=0"}));

    AddCameraList add(owner, kModels);
    RowEvents addEvents([&add] { return add.RowCount(); });
    add.SetObserver(&addEvents);
    add.AppendRow();
    add.AppendRow();
    add.DeleteRow(0);
    EXPECT_EQ(addEvents.seen, (std::vector<std::string>{"insert 0..0 rows=0", "changed rows=1", "insert 1..1 rows=1",
                                                        "changed rows=2", "remove 0..0 rows=2", "changed rows=1"}));
}

}  // namespace
}  // namespace qrv
