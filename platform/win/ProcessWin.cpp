#include "platform/Process.h"

#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<int> interrupts{0};

// Windows has no SIGINT or SIGTERM for a console program: Ctrl+C, Ctrl+Break
// and the console being closed, logged off or shut down arrive here, on a
// thread of the system's.
BOOL WINAPI CountInterrupt(DWORD event) {
    interrupts.fetch_add(1);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends as soon as this returns: give the program the few
        // seconds the system allows to write its report and end by itself.
        ::Sleep(4000);
    }
    return TRUE;
}

}  // namespace

namespace qrv {

void WriteToStdout(std::string_view text) {
    std::fflush(stdout);
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const unsigned piece = left > 65536 ? 65536u : static_cast<unsigned>(left);
        const int written = ::_write(1, data, piece);
        if (written <= 0) return;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void EndProcess(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

void CatchInterrupts() { ::SetConsoleCtrlHandler(&CountInterrupt, TRUE); }

int InterruptCount() { return interrupts.load(); }

}  // namespace qrv
