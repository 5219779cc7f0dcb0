#pragma once
// Where the program keeps its own batch reports, and the parts every report
// shares: the program's version, the batch's time stamp and the carried
// version. The wizard writes one JSON report per automatic batch and per
// manual upgrade to
//   <root>/VEXA/QRV FirmwareUpgrade/Reports/<yymmddHHMMSS>.json
// beside the Configurations folder (same root), folders 0700, files 0600.

#include <string>

#include "engine/FirmwarePackage.h"
#include "platform/Clock.h"
#include "report/BatchReport.h"

namespace qrv {

class BatchRun;

// A report without records.
BatchReport NewReport(const FirmwarePackage& package, WallTime batchTime);
// The carried version as the records name versions (without "ver").
std::string CarriedVersionText(const FirmwarePackage& package);

// The Reports folder; empty when no configuration root is known.
std::string ReportsFolder();

// The record of every row of `list`, in the list's order.
void AddRecordsOfList(BatchReport& report, const BatchRun& list, SetupDataMode settings);

// Writes `report` as JSON into the Reports folder, named by `batchTime`; a
// second report of the same second gets "-2", "-3", ... before ".json" so that
// no report replaces another. `path` is set to the file written (or tried).
bool WriteProgramReport(const BatchReport& report, WallTime batchTime, std::string& path, std::string& error);

}  // namespace qrv
