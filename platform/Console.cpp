#include "platform/Console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace qrv {

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

std::optional<std::string> ReadHiddenLine(const std::string& prompt) {
    if (!StdinIsTerminal()) return std::nullopt;
    // Echo goes off before the prompt shows: nothing typed in answer to it
    // can be echoed or dropped by the mode change.
    termios saved{};
    const bool haveModes = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (haveModes) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::fprintf(stderr, "%s", prompt.c_str());
    std::fflush(stderr);
    // Read byte by byte from the descriptor: nothing past the line end is
    // taken from the terminal, and stdio buffers hold no copy of the secret.
    std::string line;
    bool ended = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (c == '\n') {
            ended = true;
            break;
        }
        line += c;
    }
    if (haveModes) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    if (!ended && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace qrv
