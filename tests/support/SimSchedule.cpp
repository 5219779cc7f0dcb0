#include "tests/support/SimSchedule.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <utility>

namespace qrv::test {

namespace {

constexpr const char* kUploadPath = "/command/versionup.cgi";
constexpr const char* kConfigPath = "/system/";

bool IsTransfer(const SimEvent& request) {
    if (request.method == "POST" && request.path == kUploadPath) return true;
    return request.method == "GET" && request.path.rfind(kConfigPath, 0) == 0 &&
           request.path.size() > 4 && request.path.compare(request.path.size() - 4, 4, ".cfg") == 0;
}

}  // namespace

SimSchedule ScheduleOf(const std::vector<SimEvent>& events) {
    SimSchedule schedule;
    std::map<std::string, TimeSpan> jobs;
    std::map<std::uint64_t, double> connected;        // connection -> when it was accepted
    std::map<std::uint64_t, TimeSpan> openTransfers;  // exchange -> transfer under way
    for (const SimEvent& e : events) {
        if (e.kind == "connect") connected[e.connection] = e.time;
        // A job begins with the administrator check before its start; the
        // inquiries before the batch (what the camera is, whether the account
        // works) belong to no job.
        if (e.kind == "verdict" && e.what == "inquiry" && e.Field("inq") == "user" && !e.camera.empty()) {
            jobs.try_emplace(e.camera, TimeSpan{e.camera, e.time, e.time});
        }
        if (e.kind == "request" && !e.camera.empty()) {
            const auto job = jobs.find(e.camera);
            if (job == jobs.end()) continue;
            // An upload is on the wire from the moment its connection opened
            // until its request event, written once the whole body has
            // arrived (the camera then writes before it answers). A saved
            // configuration is on the wire from its request to its answer.
            if (IsTransfer(e) && e.method == "POST") {
                const auto open = connected.find(e.connection);
                const double begin = open != connected.end() ? open->second : e.time;
                schedule.transfers.push_back(TimeSpan{e.camera, begin, e.time});
                job->second.begin = std::min(job->second.begin, begin);
            } else if (IsTransfer(e)) {
                openTransfers[e.exchange] = TimeSpan{e.camera, e.time, e.time};
            }
        }
        if (e.kind == "response" && !e.camera.empty()) {
            const auto job = jobs.find(e.camera);
            if (job != jobs.end()) job->second.end = std::max(job->second.end, e.time);
            const auto transfer = openTransfers.find(e.exchange);
            if (transfer != openTransfers.end()) {
                transfer->second.end = e.time;
                schedule.transfers.push_back(transfer->second);
                openTransfers.erase(transfer);
            }
        }
    }
    for (auto& [camera, job] : jobs) schedule.jobs.push_back(job);
    return schedule;
}

int MostAtOnce(const std::vector<TimeSpan>& spans, double lag) {
    // Ends sort before begins at the same moment.
    std::vector<std::pair<double, int>> edges;
    for (const TimeSpan& span : spans) {
        edges.emplace_back(span.begin, 1);
        // A short span keeps at least its first half: it still counts.
        edges.emplace_back(span.end - std::min(lag, (span.end - span.begin) / 2), -1);
    }
    std::sort(edges.begin(), edges.end());
    int open = 0;
    int most = 0;
    for (const auto& [time, step] : edges) {
        open += step;
        most = std::max(most, open);
    }
    return most;
}

std::string DescribeSpans(const std::vector<TimeSpan>& spans) {
    std::ostringstream out;
    out.precision(3);
    for (const TimeSpan& span : spans) out << span.camera << ' ' << std::fixed << span.begin << '-' << span.end << '\n';
    return out.str();
}

}  // namespace qrv::test
