#pragma once
// Where the command line's --report goes: a file (JSON or CSV by its
// extension), or "-" for JSON on standard output, in which case everything
// else the command prints moves to standard error so that the report stays
// readable by a script.

#include <string>

#include "platform/Files.h"
#include "report/BatchReport.h"
#include "report/ReportFiles.h"

namespace qrv::cli {

class ReportOutput {
public:
    ReportOutput() = default;
    // Takes over standard output at once for "-"; nothing for an empty path.
    explicit ReportOutput(std::string path);

    bool IsWanted() const { return !path_.empty(); }
    // Writes the report; on failure says why on stderr and returns false.
    bool Write(const BatchReport& report);

private:
    std::string path_;
    OutputFile standardOutput_;
};

}  // namespace qrv::cli
