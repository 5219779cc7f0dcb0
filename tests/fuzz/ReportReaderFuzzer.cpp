// Any file handed to batch --retry-failed: nothing may crash, overflow or read
// past the text. A refusal says why in a short printable line. An accepted report holds at most 256
// records whose addresses, ports, stage codes and names are the program's
// own, and it survives being written again: the JSON and the CSV the program
// writes of it read back into the same report. The cameras a retry takes up
// come from its records, each once.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/JobStage.h"
#include "report/ReportReader.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool RecordsAreSound(const qrv::BatchReport& report) {
    if (report.records.size() > qrv::kMaxReportRecords) return false;
    for (const qrv::ReportRecord& r : report.records) {
        const auto address = qrv::CameraAddress::Parse(r.address);
        if (!address || address->Text8() != r.address) return false;
        if (r.port < 1 || r.port > qrv::kHighestPort || r.stage < qrv::kStandby || r.stage > qrv::kError7) return false;
        if (std::string_view(qrv::SettingsModeName(r.settings)).empty()) return false;
        if (std::string_view(qrv::ConfigOutcomeName(r.config)).empty()) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<qrv::BatchReport> report = qrv::ReadReport(text, error);
    if (!report) {
        // A message a terminal can show: short, printable, and no bytes of the file raw.
        Check(!error.empty() && error.size() < 256);
        Check(std::all_of(error.begin(), error.end(), [](char c) { return c >= 0x20 && c < 0x7F; }));
        return 0;
    }
    Check(RecordsAreSound(*report));

    const std::string json = qrv::ReportJson(*report);
    const std::optional<qrv::BatchReport> fromJson = qrv::ReadReport(json, error);
    Check(fromJson.has_value());
    Check(qrv::ReportJson(*fromJson) == json);

    const std::string csv = qrv::ReportCsv(*report);
    const std::optional<qrv::BatchReport> fromCsv = qrv::ReadReport(csv, error);
    Check(fromCsv.has_value());
    Check(qrv::ReportCsv(*fromCsv) == csv);

    const std::vector<qrv::CameraAddress> cameras = qrv::CamerasToRetry(*report, "1.30");
    Check(cameras.size() <= report->records.size());
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        Check(std::count(cameras.begin(), cameras.end(), cameras[i]) == 1);
        Check(std::any_of(report->records.begin(), report->records.end(), [&](const qrv::ReportRecord& r) {
            return !r.upgraded && r.address == qrv::CameraAddress{cameras[i].ip, qrv::kDefaultHttpPort}.Text8() &&
                   r.port == cameras[i].port;
        }));
    }
    return 0;
}
