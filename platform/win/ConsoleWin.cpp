#include "platform/Console.h"

#include <windows.h>

#include <cstdio>

#include "platform/win/WideText.h"

namespace qrv {
namespace {

HANDLE InputHandle() { return ::GetStdHandle(STD_INPUT_HANDLE); }

}  // namespace

bool StdinIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(InputHandle(), &mode) != 0;
}

std::optional<std::string> ReadHiddenLine(const std::string& prompt) {
    const HANDLE input = InputHandle();
    DWORD saved = 0;
    if (!::GetConsoleMode(input, &saved)) return std::nullopt;
    // Echo goes off before the prompt shows, as on a terminal; line input
    // stays on (echo may only be off with it) and Ctrl+C keeps working.
    ::SetConsoleMode(input, (saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    std::fprintf(stderr, "%s", prompt.c_str());
    std::fflush(stderr);
    // The console hands over UTF-16 (any key the user can type); read it
    // piece by piece until the line end.
    std::wstring line;
    bool ended = false;
    for (;;) {
        wchar_t piece[256];
        DWORD got = 0;
        if (!::ReadConsoleW(input, piece, 256, &got, nullptr) || got == 0) break;
        line.append(piece, got);
        if (const size_t end = line.find(L'\n'); end != std::wstring::npos) {
            line.resize(end);
            ended = true;
            break;
        }
    }
    ::SetConsoleMode(input, saved);
    // The line end the user typed was not echoed either.
    std::fprintf(stderr, "\n");
    if (!ended && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    return win::Narrow(line);
}

}  // namespace qrv
