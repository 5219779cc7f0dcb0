#pragma once
// The terminal the command line runs in.

#include <optional>
#include <string>

namespace qrv {

// True when standard input is a terminal a person can answer from.
bool StdinIsTerminal();

// Prints `prompt` on standard error and reads one line from the terminal on
// standard input with echo switched off (restored afterwards, also when the
// read fails). Nothing when standard input is no terminal or at end of input.
std::optional<std::string> ReadHiddenLine(const std::string& prompt);

}  // namespace qrv
