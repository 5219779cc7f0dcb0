#pragma once
// Where the command line's --report goes: a file (JSON or CSV by its
// extension), or "-" for JSON on standard output, in which case everything
// else the command prints moves to the error stream so that the report stays
// readable by a script.

#include <string>

#include "cli/CliIo.h"
#include "report/BatchReport.h"
#include "report/ReportFiles.h"

namespace qrv::cli {

class ReportOutput {
public:
    // Moves the command's other output to the error stream at once for "-";
    // nothing for an empty path.
    ReportOutput(CliIo& io, std::string path);

    bool IsWanted() const { return !path_.empty(); }
    // Writes the report; on failure says why and returns false.
    bool Write(const BatchReport& report);

private:
    CliIo& io_;
    std::string path_;
};

}  // namespace qrv::cli
