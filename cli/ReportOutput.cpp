#include "cli/ReportOutput.h"

#include <cstdio>
#include <span>

namespace qrv::cli {

ReportOutput::ReportOutput(std::string path) : path_(std::move(path)) {
    if (path_ == "-") standardOutput_ = OutputFile::TakeStandardOutput();
}

bool ReportOutput::Write(const BatchReport& report) {
    if (path_.empty()) return true;
    if (path_ == "-") {
        const std::string text = ReportJson(report);
        if (standardOutput_.Write(std::span<const char>(text.data(), text.size()))) return true;
        std::fprintf(stderr, "Cannot write the report to standard output: %s.\n", LastFileError().c_str());
        return false;
    }
    std::string error;
    if (WriteReport(path_, report, error)) return true;
    std::fprintf(stderr, "Cannot write the report '%s': %s.\n", path_.c_str(), error.c_str());
    return false;
}

}  // namespace qrv::cli
