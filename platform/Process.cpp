#include "platform/Process.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

// Only a lock-free atomic may be touched from a signal handler.
std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

void CountInterrupt(int) { interrupts.fetch_add(1); }

}  // namespace

namespace qrv {

void WriteToStdout(std::string_view text) {
    std::fflush(stdout);
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void EndProcess(int status) {
    std::fflush(stdout);
    ::_exit(status);
}

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = &CountInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int InterruptCount() { return interrupts.load(); }

}  // namespace qrv
