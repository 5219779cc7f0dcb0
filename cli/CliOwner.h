#pragma once
// The command line's owner: timers and job messages run on the main thread
// inside RunUntil; every message box is printed on the error stream as
// "Caption: text"; questions are answered by --yes or by a y/N prompt on the
// terminal (no terminal and no --yes: the answer is no).

#include "cli/CliIo.h"
#include "platform/HeadlessOwner.h"

namespace qrv::cli {

class CliOwner : public HeadlessOwner {
public:
    CliOwner(CliIo& io, bool assumeYes) : io_(io), assumeYes_(assumeYes) {}

    BoxAnswer ShowMessageBox(const MessageBox& box) override;

private:
    bool AskTerminal();

    CliIo& io_;
    const bool assumeYes_;
    std::mutex askMutex_;
};

// A wide text for the terminal: UTF-8 with CR LF as plain line ends.
std::string TerminalText(const std::u16string& text);

}  // namespace qrv::cli
