#pragma once
// Runs one of the program's command-line tools as a user would, with no
// terminal on stdin, and keeps what it printed.

#include <filesystem>
#include <string>

namespace qrv::test {

struct CommandRun {
    int exitCode = -1;  // -1 when the tool did not end by itself
    std::string out;
    std::string err;
};

// Runs `program` with `args` (shell words, quoted by the caller where needed);
// its output goes through files in `scratch`.
CommandRun RunCommand(const std::string& program, const std::string& args, const std::filesystem::path& scratch);

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace qrv::test
