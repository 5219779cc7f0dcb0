#include "engine/Timing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace qrv {

Timing Timing::Scaled(double scale) const {
    Timing t = *this;
    auto s = [scale](ms& d) {
        const double scaled = std::round(static_cast<double>(d.count()) * scale);
        d = ms(std::max<long long>(1, static_cast<long long>(scaled)));
    };
    for (ms* d : {&t.inquiryTimeout, &t.rebootInquiryTimeout, &t.uploadReceiveTimeout,
                  &t.configReceiveTimeout, &t.configSaveLimit, &t.transferLimitBase, &t.transferPer8kB, &t.jobTick,
                  &t.pauseBeforeWait, &t.modelMismatchPause, &t.emptyReplyPause, &t.restorePause,
                  &t.restoreRetryPause, &t.afterRestorePause, &t.reconfigurePoll,
                  &t.reconfigureLimit, &t.neverBackLimit, &t.manualRestoreSettle, &t.manualPoll,
                  &t.manualPollLimit, &t.discoveryTick, &t.discoveryStopPoll, &t.schedulerTick,
                  &t.addInquiryTick, &t.addInquiryLimit, &t.loginCheckTick, &t.loginCheckLimit,
                  &t.listPageTick, &t.counterTick, &t.confirmDelay, &t.slideStep}) {
        s(*d);
    }
    return t;
}

std::optional<double> ParseTimeScale(std::string_view text) {
    try {
        size_t used = 0;
        const double value = std::stod(std::string(text), &used);
        if (used != text.size() || !std::isfinite(value) || value <= 0.0) return std::nullopt;
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace qrv
