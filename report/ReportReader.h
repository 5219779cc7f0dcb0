#pragma once
// Reads back a batch report this program wrote (BatchReport.h), so that a
// later run can take up the cameras it names. The content tells the format:
// a text whose first character (after an optional UTF-8 byte order mark and
// blanks) is '{' is JSON, any other text CSV; so a JSON report saved from
// standard output under any name reads as well. Only a report of
// kReportFormatVersion is read. Anything else, a damaged file included, is
// refused with a message that names the line and the field.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CameraAddress.h"
#include "report/BatchReport.h"

namespace qrv {

inline constexpr std::size_t kMaxReportBytes = std::size_t{4} << 20;
inline constexpr std::size_t kMaxReportRecords = 256;

// The report in `text`; nothing, with `error` set, when it is refused. A CSV
// report records no program version, batch time or carried version: they
// stay empty.
std::optional<BatchReport> ReadReport(std::string_view text, std::string& error);

// The report in the file at `path`: a regular file of at most kMaxReportBytes.
std::optional<BatchReport> ReadReportFile(const std::string& path, std::string& error);

// The cameras a retry of `report` takes up, in the report's order, each once:
// those whose record is not upgraded, except a camera that was left out
// untouched because it already ran `carriedVersion` (finished, never started,
// version_before equal to it), and except an address that another record of
// the report shows upgraded.
std::vector<CameraAddress> CamerasToRetry(const BatchReport& report, const std::string& carriedVersion);

}  // namespace qrv
