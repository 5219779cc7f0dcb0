#pragma once
// Every duration and count that the program's behaviour depends on, in one
// value. Production() holds the real figures; Scaled(s) multiplies every
// duration by s (counts stay) so that the simulator, the tests and the demo can
// run a whole upgrade with reboot and restore in seconds. Nothing is scaled
// unless a --time-scale option asks for it.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string_view>

namespace qrv {

struct Timing {
    using ms = std::chrono::milliseconds;

    // Camera inquiries.
    ms inquiryTimeout{20000};        // every inquiry outside the reboot wait
    ms rebootInquiryTimeout{60000};  // inquiries of WaitForCamera
    ms uploadReceiveTimeout{60000};  // each receive of an upload or restore
    ms configReceiveTimeout{60000};  // each receive of a configuration download
    ms configSaveLimit{120000};      // a whole configuration download, however steady
    ms transferLimitBase{60000};     // a whole upload or restore: this plus its size at 8 kB/s
    ms transferPer8kB{1000};

    // Upgrade job.
    ms jobTick{1000};                // timer 0x8100 + slot
    int tickLimit = 600;             // ticks of jobTick before giving up
    ms pauseBeforeWait{5000};        // after the upload, before WaitForCamera
    ms modelMismatchPause{500};      // WaitForCamera: reply with another model
    ms emptyReplyPause{500};         // WaitForCamera: no reply (camera still down)
    ms restorePause{10000};          // camera back -> first restore try
    int restoreTries = 4;
    ms restoreRetryPause{5000};
    ms afterRestorePause{120000};    // automatic mode: restore -> Reconfiguring poll
    ms reconfigurePoll{10000};       // timer 0x8300 + slot
    ms reconfigureLimit{300000};     // automatic mode: give up polling, count as done
    ms neverBackLimit{30 * 60 * 1000};  // automatic mode: camera never back after upload

    // Manual mode (the wizard).
    ms manualRestoreSettle{5000};    // after the restore, before the final poll
    ms manualPoll{1000};             // timer 0x8016
    ms manualPollLimit{150000};

    // Discovery and the automatic lists.
    ms discoveryTick{5000};          // request, again after one tick, stop after two
    ms discoveryStopPoll{10};        // waiting for the receive thread to end
    ms discoveryReceiveTimeout{5};   // each receive; only sets how often the stop flag is seen (not scaled)
    ms schedulerTick{33};            // job queue of the progress list
    ms addInquiryTick{500};          // add-cameras list inquiries
    ms addInquiryLimit{21000};
    ms loginCheckTick{500};          // target grid login checks (timer 0x8010)
    ms loginCheckLimit{21000};       // a login check without an answer fails after this
    ms listPageTick{500};            // camera list page: waiting for discovery to end
    ms counterTick{500};             // progress page counter (timer 0x8014)
    ms confirmDelay{100};            // progress page: Upgrade -> confirmation box (timer 0x8015)
    ms slideStep{10};                // the extra buttons slide out in 10 such steps

    // The longest an upload or restore of `bytes` may take, answer included.
    ms TransferLimit(std::size_t bytes) const {
        return transferLimitBase + ms(static_cast<long long>(transferPer8kB.count() * (bytes / 8000.0)));
    }

    static Timing Production() { return Timing{}; }
    // Every duration times `scale` (at least 1 ms each); counts unchanged.
    Timing Scaled(double scale) const;
};

// Reads a --time-scale value: a positive number (e.g. "0.01").
std::optional<double> ParseTimeScale(std::string_view text);

}  // namespace qrv
