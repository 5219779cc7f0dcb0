#pragma once
// One upgraded camera's record, with every field filled, for the report tests.
#include "report/BatchReport.h"

namespace qrv::test {

inline ReportRecord SampleRecord() {
    ReportRecord r;
    r.address = "127.0.0.2";
    r.port = 8080;
    r.mac = "08:00:23:00:05:01";
    r.model = "QRV-K7";
    r.serial = "100501";
    r.versionBefore = "1.20";
    r.versionAfter = "1.30";
    r.stage = 9;
    r.statusText = "Completed";
    r.resultLine = "QRV-K7(127.0.0.2:8080) Completed successfully.";
    r.finished = true;
    r.upgraded = true;
    r.settings = SetupDataMode::Backup;
    r.configPath = "/tmp/c/qrv-k7.100501.cfg";
    r.config = ConfigOutcome::RestoredKept;
    r.started = "2026-12-07T11:12:13+01:00";
    r.ended = "2026-12-07T11:14:00+01:00";
    return r;
}

}  // namespace qrv::test
