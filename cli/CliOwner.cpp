#include "cli/CliOwner.h"

#include <istream>
#include <string>

#include "platform/Text.h"

namespace qrv::cli {

std::string TerminalText(const std::u16string& text) { return TerminalSafe(text, true); }

BoxAnswer CliOwner::ShowMessageBox(const MessageBox& box) {
    const BoxAnswer recorded = HeadlessOwner::ShowMessageBox(box);
    // One box and its answer at a time.
    std::lock_guard lock(askMutex_);
    io_.Err(TerminalText(box.caption) + ": " + TerminalText(box.text));
    if (box.buttons == BoxButtons::Ok) return recorded;
    const bool yes = assumeYes_ || AskTerminal();
    if (box.buttons == BoxButtons::YesNo) return yes ? BoxAnswer::Yes : BoxAnswer::No;
    return yes ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

bool CliOwner::AskTerminal() {
    if (!io_.HasTerminal()) return false;
    io_.ErrText("[y/N] ");
    std::string line;
    if (!std::getline(io_.In(), line)) return false;
    return line == "y" || line == "Y" || line == "yes" || line == "Yes";
}

}  // namespace qrv::cli
