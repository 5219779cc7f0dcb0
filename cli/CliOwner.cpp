#include "cli/CliOwner.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/Console.h"
#include "platform/Text.h"

namespace qrv::cli {

std::string TerminalText(const std::u16string& text) { return TerminalSafe(text, true); }

BoxAnswer CliOwner::ShowMessageBox(const MessageBox& box) {
    const BoxAnswer recorded = HeadlessOwner::ShowMessageBox(box);
    std::lock_guard lock(printMutex_);
    std::fprintf(stderr, "%s: %s\n", TerminalText(box.caption).c_str(), TerminalText(box.text).c_str());
    std::fflush(stderr);
    if (box.buttons == BoxButtons::Ok) return recorded;
    const bool yes = assumeYes_ || AskTerminal();
    if (box.buttons == BoxButtons::YesNo) return yes ? BoxAnswer::Yes : BoxAnswer::No;
    return yes ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

bool CliOwner::AskTerminal() {
    if (!StdinIsTerminal()) return false;
    std::fprintf(stderr, "[y/N] ");
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) return false;
    return line == "y" || line == "Y" || line == "yes" || line == "Yes";
}

}  // namespace qrv::cli
