// The owner port as the window program gives it to engine code: timers by
// number, the job message and message boxes, called from worker threads and
// served on the GUI thread. Also the wizard's command line.

#include <QApplication>
#include <QTest>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/WizardCommandLine.h"
#include "ui/QtOwnerPort.h"

namespace qrv::test {
namespace {

// A window that keeps the job messages it receives.
class JobWindow : public QWidget {
public:
    std::vector<std::pair<int, int>> messages;
    std::vector<bool> onGuiThread;

protected:
    bool event(QEvent* event) override {
        if (event->type() == JobMessageEvent::Type()) {
            auto* message = static_cast<JobMessageEvent*>(event);
            messages.emplace_back(message->WParam(), message->LParam());
            onGuiThread.push_back(QThread::currentThread() == qApp->thread());
            return true;
        }
        return QWidget::event(event);
    }
};

class QtOwnerPortTest : public ::testing::Test {
protected:
    void TearDown() override { SetBoxPresenter({}); }

    JobWindow window_;
    std::vector<int> ticks_;
    std::atomic<bool> ticksOnGui_{true};
    QtOwnerPort port_{&window_, [this](int id) {
                          ticks_.push_back(id);
                          if (QThread::currentThread() != qApp->thread()) ticksOnGui_ = false;
                      }};
};

TEST_F(QtOwnerPortTest, TimersStartedAndStoppedFromAWorkerTickOnTheGuiThread) {
    std::thread([this] {
        port_.StartTimer(0x8100, 5);
        port_.StartTimer(0x8016, 5);
    }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::count(ticks_.begin(), ticks_.end(), 0x8100) >= 3 &&
               std::count(ticks_.begin(), ticks_.end(), 0x8016) >= 3;
    }, 5000));
    EXPECT_TRUE(ticksOnGui_.load());
    EXPECT_TRUE(port_.IsTimerRunning(0x8100));

    std::thread([this] { port_.StopTimer(0x8100); }).join();
    QTest::qWait(20);
    ticks_.clear();
    QTest::qWait(30);
    EXPECT_EQ(std::count(ticks_.begin(), ticks_.end(), 0x8100), 0);
    EXPECT_GT(std::count(ticks_.begin(), ticks_.end(), 0x8016), 0);
    EXPECT_FALSE(port_.IsTimerRunning(0x8100));
    port_.StopTimer(0x8016);
    port_.StopTimer(0x9999);  // never started: nothing happens
    EXPECT_FALSE(port_.IsTimerRunning(0x8016));
}

TEST_F(QtOwnerPortTest, JobMessagesArriveInOrderOnTheGuiThread) {
    std::thread([this] {
        port_.PostJobMessage(1, 6);
        port_.PostJobMessage(1, 3);
        port_.PostJobMessage(2, 1);
    }).join();
    EXPECT_TRUE(window_.messages.empty());  // posted, never sent
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_.messages.size() == 3; }, 5000));
    EXPECT_EQ(window_.messages, (std::vector<std::pair<int, int>>{{1, 6}, {1, 3}, {2, 1}}));
    EXPECT_EQ(window_.onGuiThread, (std::vector<bool>{true, true, true}));
}

TEST_F(QtOwnerPortTest, WorkerBoxIsShownOnTheGuiThreadAndItsAnswerReturned) {
    std::vector<MessageBox> shown;
    bool presentedOnGui = false;
    QWidget* parentSeen = nullptr;
    SetBoxPresenter([&](QWidget* parent, const MessageBox& box) {
        shown.push_back(box);
        presentedOnGui = QThread::currentThread() == qApp->thread();
        parentSeen = parent;
        return BoxAnswer::Cancel;
    });
    MessageBox box;
    box.text = u"Proceed to the firmware upgrade?";
    box.caption = u"Information";
    box.icon = BoxIcon::Question;
    box.buttons = BoxButtons::OkCancel;
    std::atomic<bool> answered{false};
    BoxAnswer answer = BoxAnswer::Ok;
    std::thread worker([&] {
        answer = port_.ShowMessageBox(box);
        answered = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered.load(); }, 5000));
    worker.join();
    EXPECT_EQ(answer, BoxAnswer::Cancel);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], box);
    EXPECT_TRUE(presentedOnGui);
    EXPECT_EQ(parentSeen, &window_);
}

TEST_F(QtOwnerPortTest, ClosingWindowReleasesAWorkerWaitingForABox) {
    int presented = 0;
    SetBoxPresenter([&](QWidget*, const MessageBox&) {
        ++presented;
        return BoxAnswer::Yes;
    });
    MessageBox box;
    box.buttons = BoxButtons::YesNo;
    BoxAnswer answer = BoxAnswer::Yes;
    // The GUI thread does not run its loop: as when it joins the worker on close.
    std::thread worker([&] { answer = port_.ShowMessageBox(box); });
    QThread::msleep(20);
    port_.RefuseWorkerBoxes();
    worker.join();
    EXPECT_EQ(answer, BoxAnswer::No);
    QApplication::processEvents();  // the queued box is dropped, not shown late
    EXPECT_EQ(presented, 0);
    EXPECT_EQ(port_.ShowMessageBox(box), BoxAnswer::Yes);  // the GUI thread's own boxes still show
    EXPECT_EQ(presented, 1);
}

TEST(WizardCommandLineTest, ReadsTimeScaleAndFirstPageCheck) {
    std::string error;
    auto line = ParseWizardCommandLine({"--time-scale", "0.01", "--quit-after-first-page"}, error);
    ASSERT_TRUE(line) << error;
    EXPECT_TRUE(line->quitAfterFirstPage);
    EXPECT_EQ(line->timing.jobTick.count(), 10);
    EXPECT_EQ(line->timing.tickLimit, 600);
    line = ParseWizardCommandLine({"--time-scale=2"}, error);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->timing.discoveryTick.count(), 10000);
    line = ParseWizardCommandLine({"-platform", "offscreen", "--quit-after-first-page"}, error);
    ASSERT_TRUE(line) << error;  // Qt's own options are left to Qt
    EXPECT_TRUE(line->quitAfterFirstPage);
    line = ParseWizardCommandLine({}, error);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->timing.inquiryTimeout.count(), 20000);
    EXPECT_FALSE(line->quitAfterFirstPage);
    EXPECT_EQ(line->parallelJobs, 2);
    for (const auto& [given, jobs] : std::vector<std::pair<std::vector<std::string>, int>>{
             {{"--parallel", "1"}, 1}, {{"--parallel=256"}, 256}, {{"--parallel", "8", "--time-scale", "1"}, 8}}) {
        line = ParseWizardCommandLine(given, error);
        ASSERT_TRUE(line) << error;
        EXPECT_EQ(line->parallelJobs, jobs);
    }
}

TEST(WizardCommandLineTest, RefusesBadOptions) {
    // (arguments, what the message must name)
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--time-scale"}, "--time-scale"},
        {{"--time-scale", "0"}, "'0'"},
        {{"--time-scale=fast"}, "'fast'"},
        {{"--parallel", "0"}, "'0'"},
        {{"--parallel", "257"}, "'257'"},
        {{"--parallel", "-1"}, "--parallel"},
        {{"--parallel=2x"}, "'2x'"},
        {{"--parallel", ""}, "--parallel"},
        {{"--parallel", " 3"}, "' 3'"},
        {{"--parallel"}, "--parallel"},
        {{"--colour"}, "--colour"},
        {{"-platform", "offscreen", "--colour=red"}, "--colour=red"},
    };
    for (const auto& [given, named] : cases) {
        std::string error;
        EXPECT_FALSE(ParseWizardCommandLine(given, error)) << testing::PrintToString(given);
        EXPECT_NE(error.find(named), std::string::npos) << error;
    }
}

TEST(WizardCommandLineTest, HelpComesFromTheDeclarations) {
    std::string error;
    const auto line = ParseWizardCommandLine({"-platform", "offscreen", "--parallel=4", "--help"}, error);
    ASSERT_TRUE(line) << error;
    EXPECT_TRUE(line->help);
    const std::string usage = WizardUsage();
    for (const char* option : {"--time-scale", "--parallel", "--quit-after-first-page", "--help"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace qrv::test
