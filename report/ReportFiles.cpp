#include "report/ReportFiles.h"

#include "batch/BatchRun.h"
#include "batch/ListTexts.h"
#include "engine/ConfigBackupStore.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "resources/VersionBlock.h"

namespace qrv {

std::string CarriedVersionText(const FirmwarePackage& package) {
    return ToUtf8(WithoutVerPrefix(FromUtf8(package.CarriedVersion())));
}

BatchReport NewReport(const FirmwarePackage& package, WallTime batchTime) {
    BatchReport report;
    report.programVersion = std::string(ProgramVersionBlock().fileVersion);
    report.batchTime = IsoLocalTime(batchTime);
    report.carriedVersion = CarriedVersionText(package);
    return report;
}

std::string ReportsFolder() {
    const std::string folder = ProgramFolder();
    return folder.empty() ? std::string() : JoinPath(folder, "Reports");
}

void AddRecordsOfList(BatchReport& report, const BatchRun& list, SetupDataMode settings) {
    for (int row = 0; row < list.RowCount(); ++row) {
        report.records.push_back(RecordOfRow(list, row, settings, report.carriedVersion));
    }
}

bool WriteProgramReport(const BatchReport& report, WallTime batchTime, std::string& path, std::string& error) {
    const std::string folder = ReportsFolder();
    if (folder.empty()) {
        path.clear();
        error = "no folder for the reports (neither ProgramFiles, XDG_DATA_HOME nor HOME is set)";
        return false;
    }
    const std::string stem = JoinPath(folder, FormatLocalTime(batchTime, "%y%m%d%H%M%S"));
    path = stem + ".json";
    for (int n = 2; PathExists(path) && n < 1000; ++n) path = stem + "-" + std::to_string(n) + ".json";
    return WriteReport(path, report, error);
}

}  // namespace qrv
