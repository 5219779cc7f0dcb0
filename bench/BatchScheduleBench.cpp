// Reads the simulator's event log of one batch run and prints how long the
// batch took against the schedule the cameras' own durations allow, and the
// largest waits with the Timing period behind each. Used by bench/batch_schedule.
//
//   qrv-bench-batch-schedule EVENTS --jobs J --time-scale S [--cli-seconds T]

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/Timing.h"
#include "tests/support/BatchReplay.h"
#include "tests/support/SimEvent.h"
#include "tests/support/SimSchedule.h"

namespace {

using qrv::Timing;
using namespace qrv::test;

struct Options {
    std::string events;
    int jobs = 2;
    double scale = 1;
    double cliSeconds = -1;
};

std::optional<double> ReadNumber(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool ReadOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool value = i + 1 < argc;
        if (arg == "--jobs" && value) {
            const auto jobs = ReadNumber(argv[++i]);
            if (!jobs || *jobs != static_cast<int>(*jobs)) return false;
            o.jobs = static_cast<int>(*jobs);
        } else if (arg == "--time-scale" && value) {
            const auto scale = qrv::ParseTimeScale(argv[++i]);
            if (!scale) return false;
            o.scale = *scale;
        } else if (arg == "--cli-seconds" && value) {
            const auto seconds = ReadNumber(argv[++i]);
            if (!seconds) return false;
            o.cliSeconds = *seconds;
        } else if (o.events.empty() && arg.rfind("--", 0) != 0) {
            o.events = arg;
        } else {
            return false;
        }
    }
    return !o.events.empty() && o.jobs >= 1;
}

// The periods a gap can be blamed on, as this run scaled them and as they
// are in production (milliseconds).
std::map<std::string, std::pair<long long, long long>> Periods(double scale) {
    const Timing p = Timing::Production();
    const Timing s = p.Scaled(scale);
    return {
        {"schedulerTick", {s.schedulerTick.count(), p.schedulerTick.count()}},
        {"emptyReplyPause", {s.emptyReplyPause.count(), p.emptyReplyPause.count()}},
        {"restorePause", {s.restorePause.count(), p.restorePause.count()}},
        {"afterRestorePause", {s.afterRestorePause.count(), p.afterRestorePause.count()}},
        {"reconfigurePoll", {s.reconfigurePoll.count(), p.reconfigurePoll.count()}},
    };
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void PrintDurations(const std::vector<CameraCycle>& cycles) {
    struct Step {
        const char* name;
        double CameraCycle::*field;
    };
    const Step steps[] = {{"check", &CameraCycle::check},     {"save", &CameraCycle::save},
                          {"upload", &CameraCycle::upload},   {"writing", &CameraCycle::writing},
                          {"reboot", &CameraCycle::reboot},   {"restore", &CameraCycle::restore},
                          {"reconfiguring", &CameraCycle::reconfigure}};
    std::printf("  median per camera (ms):");
    for (const Step& step : steps) {
        std::vector<double> values;
        for (const CameraCycle& c : cycles) values.push_back(c.*step.field);
        std::printf(" %s %.0f", step.name, Median(values) * 1000);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ReadOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: qrv-bench-batch-schedule EVENTS --jobs J --time-scale S [--cli-seconds T]\n");
        return 2;
    }
    std::ifstream in(o.events);
    std::vector<SimEvent> events;
    for (std::string line; std::getline(in, line);) {
        if (auto e = ParseSimEvent(line)) events.push_back(std::move(*e));
    }
    const SimSchedule schedule = ScheduleOf(events);
    std::vector<CameraCycle> cycles = CyclesOf(events);
    if (schedule.jobs.empty() || cycles.empty()) {
        std::fprintf(stderr, "qrv-bench-batch-schedule: no job in %s\n", o.events.c_str());
        return 1;
    }
    const std::size_t all = cycles.size();
    std::erase_if(cycles, [](const CameraCycle& c) { return !c.whole; });

    double first = schedule.jobs.front().begin;
    double last = 0;
    for (const TimeSpan& job : schedule.jobs) {
        first = std::min(first, job.begin);
        last = std::max(last, job.end);
    }
    const double wall = last - first;
    const double ideal = IdealMakespan(cycles, o.jobs);
    const double bound = TransferBound(cycles);

    std::printf("%zu cameras, %d jobs at once, time scale %g: %zu whole cycles in the log\n", schedule.jobs.size(),
                o.jobs, o.scale, cycles.size());
    if (cycles.size() != all) std::printf("  (%zu cameras did not finish a whole cycle; left out of the replay)\n",
                                          all - cycles.size());
    std::printf("  wall, first request to last job's end: %8.2f s", wall);
    if (o.cliSeconds >= 0) std::printf("   (the CLI's whole run: %.2f s)", o.cliSeconds);
    std::printf("\n");
    std::printf("  ideal, replayed with zero overhead:    %8.2f s   wall / ideal %.2f%s\n", ideal, wall / ideal,
                o.jobs == 2 ? " (goal <= 1.05)" : "");
    if (o.jobs > 2) {
        std::printf("  transfer-bound (transfers back to back, one camera's rest): %.2f s   wall / that %.2f%s\n",
                    bound, wall / bound, o.jobs >= 32 ? " (goal <= 1.10)" : "");
    }
    // What the batch lost per camera to the program's waits, on average.
    std::printf("  overhead per camera, (wall - ideal) x jobs / cameras: %.0f ms\n",
                (wall - ideal) * o.jobs / static_cast<double>(cycles.size()) * 1000);
    PrintDurations(cycles);

    const auto periods = Periods(o.scale);
    const auto scaled = [&](const std::string& name) { return periods.at(name).first / 1000.0; };
    const std::vector<ScheduleGap> gaps =
        GapsOf(cycles, o.jobs, WaitPeriods{scaled("afterRestorePause"), scaled("reconfigurePoll")});
    std::printf("  largest gaps:\n");
    for (std::size_t i = 0; i < std::min<std::size_t>(3, gaps.size()); ++i) {
        const ScheduleGap& g = gaps[i];
        const auto& [here, production] = periods.at(g.cause);
        std::printf("    %6.0f ms at %8.3f s  %-15s %s; cause %s (%lld ms here, %lld ms in production)\n",
                    g.Length() * 1000, g.begin - first, g.camera.c_str(), g.what.c_str(), g.cause.c_str(), here,
                    production);
    }
    struct Sum {
        int count = 0;
        double total = 0;
        double largest = 0;
    };
    std::map<std::string, Sum> byCause;
    for (const ScheduleGap& g : gaps) {
        Sum& s = byCause[g.cause + ": " + g.what];
        ++s.count;
        s.total += g.Length();
        s.largest = std::max(s.largest, g.Length());
    }
    std::printf("  all gaps by cause (count, total, largest):\n");
    for (const auto& [cause, s] : byCause) {
        std::printf("    %4d %9.2f s %7.0f ms  %s\n", s.count, s.total, s.largest * 1000, cause.c_str());
    }
    return 0;
}
