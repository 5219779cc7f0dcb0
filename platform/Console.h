#pragma once
// The terminal the command line runs in.

namespace qrv {

// True when standard input is a terminal a person can answer from.
bool StdinIsTerminal();

}  // namespace qrv
