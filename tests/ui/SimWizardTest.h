#pragma once
// The wizard against simulated cameras, with its saved configurations and
// reports below a throwaway ProgramFiles folder of the test's own.

#include <QDir>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include "tests/support/SimProcess.h"
#include "tests/ui/WizardHarness.h"

namespace qrv::test {

class SimWizardTest : public WizardTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(configRoot_.isValid());
        qputenv("ProgramFiles", QDir::toNativeSeparators(configRoot_.path()).toLocal8Bit());
    }
    void TearDown() override {
        WizardTest::TearDown();
        sim_.reset();
        qunsetenv("ProgramFiles");
    }

    void StartCameras(const std::string& fleet) { sim_ = std::make_unique<SimProcess>(fleet, kTimeScale); }

    QTemporaryDir configRoot_;
    std::unique_ptr<SimProcess> sim_;
};

}  // namespace qrv::test
