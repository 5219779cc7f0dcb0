#include "platform/Process.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

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

}  // namespace qrv
