#pragma once
// The command line run inside the test process (qrv_cli), with its streams
// given: no process to start, the same output as the program's. For the
// tests that need no process of their own (no signal, no terminal, no exit
// of the program itself).

#include <sstream>
#include <string>
#include <vector>

#include "cli/CliIo.h"
#include "cli/CommandLine.h"
#include "tests/support/CommandRun.h"

namespace qrv::test {

// `args` as a shell splits them: words apart at spaces, '...' kept whole.
inline std::vector<std::string> ShellWords(const std::string& args) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (const char c : args) {
        if (c == '\'') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

// Runs the command line with `args` (shell words), no terminal, `input` on
// its standard input.
inline CommandRun RunInProcess(const std::string& args, const std::string& input = {}) {
    std::ostringstream out, err;
    std::istringstream in(input);
    cli::CliIo io(out, err, in, false);
    CommandRun run;
    run.exitCode = cli::RunCommandLine(ShellWords(args), io);
    run.out = out.str();
    run.err = err.str();
    return run;
}

}  // namespace qrv::test
