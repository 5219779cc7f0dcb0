#pragma once
// Where a command prints and reads: the process's standard streams in the
// program, string streams in the in-process tests. Every write is one whole
// piece under a lock, since message boxes are printed from worker threads too.

#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace qrv::cli {

class CliIo {
public:
    // `terminal`: `in` is a terminal a person answers on (the confirmation
    // question, the password prompt); without one nothing is asked.
    CliIo(std::ostream& out, std::ostream& err, std::istream& in, bool terminal);

    // One line (a line end is added), flushed at once so that a watcher sees
    // the progress as it happens.
    void Out(std::string_view line);
    void Err(std::string_view line);
    // Text as it is, without a line end added.
    void OutText(std::string_view text);
    void ErrText(std::string_view text);

    std::istream& In() { return in_; }
    bool HasTerminal() const { return terminal_; }
    // A hidden line from the terminal (the password prompt); nothing without one.
    std::optional<std::string> ReadHidden(const std::string& prompt);

    // `--report -`: the report alone goes to standard output and everything
    // else the command prints from now on to the error stream. In the program
    // the report takes over the standard output itself (binary, as a file);
    // in tests the report goes to `out`.
    void MoveOutputToErr() { moved_ = true; }
    bool WriteToStandardOutput(std::string_view bytes);

    // The program sets how the report takes over its standard output.
    std::function<OutputFile()> takeStandardOutput;
    // The program sets how the password is read from its terminal.
    std::function<std::optional<std::string>(const std::string&)> readHiddenLine;

private:
    std::ostream& Printed();

    std::ostream& out_;
    std::ostream& err_;
    std::istream& in_;
    const bool terminal_;
    bool moved_ = false;
    OutputFile standardOutput_;
    bool tookStandardOutput_ = false;
    std::mutex mutex_;
};

}  // namespace qrv::cli
