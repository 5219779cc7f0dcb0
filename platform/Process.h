#pragma once
// Standard output and the end of the process, for the few failures after which
// the program cannot go on.

#include <string_view>

namespace qrv {

// Writes `text` to standard output unbuffered, after anything already buffered.
void WriteToStdout(std::string_view text);
// Ends the process at once with `status`: no destructors run and no other
// thread is waited for. Standard output is flushed first.
[[noreturn]] void EndProcess(int status);

// From now on Ctrl+C (SIGINT) and SIGTERM no longer end the process: they are
// counted, and the program asks InterruptCount whether to stop.
void CatchInterrupts();
// How many interrupts arrived since CatchInterrupts.
int InterruptCount();

}  // namespace qrv
