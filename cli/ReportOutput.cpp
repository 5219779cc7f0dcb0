#include "cli/ReportOutput.h"

#include "platform/Files.h"

namespace qrv::cli {

ReportOutput::ReportOutput(CliIo& io, std::string path) : io_(io), path_(std::move(path)) {
    if (path_ == "-") io_.MoveOutputToErr();
}

bool ReportOutput::Write(const BatchReport& report) {
    if (path_.empty()) return true;
    if (path_ == "-") {
        if (io_.WriteToStandardOutput(ReportJson(report))) return true;
        io_.Err("Cannot write the report to standard output: " + LastFileError() + ".");
        return false;
    }
    std::string error;
    if (WriteReport(path_, report, error)) return true;
    io_.Err("Cannot write the report '" + path_ + "': " + error + ".");
    return false;
}

}  // namespace qrv::cli
