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
// its output goes through files in `scratch`. Standard input is `input`, or
// empty when none is given. On Windows the output's CR LF line ends are read
// back as "\n".
CommandRun RunCommand(const std::string& program, const std::string& args, const std::filesystem::path& scratch,
                      const std::filesystem::path& input = {});

// A path as the Linux programs that RunCommand starts name it: the path
// itself on Linux. On Windows (under wine), where a program named by a Unix
// path that is no .exe is started as a Unix process through /bin/sh, its
// Unix name.
std::string ShellPath(const std::filesystem::path& path);

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace qrv::test
