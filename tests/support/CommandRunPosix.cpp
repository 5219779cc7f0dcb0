#include "tests/support/CommandRun.h"

#include <sys/wait.h>

#include <cstdlib>

namespace qrv::test {

CommandRun RunCommand(const std::string& program, const std::string& args, const std::filesystem::path& scratch,
                      const std::filesystem::path& input) {
    const std::filesystem::path out = scratch / "out.txt";
    const std::filesystem::path err = scratch / "err.txt";
    const std::string in = input.empty() ? std::string("/dev/null") : input.string();
    const std::string command =
        "'" + program + "' " + args + " <'" + in + "' >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    CommandRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadWholeFile(out);
    run.err = ReadWholeFile(err);
    return run;
}

std::string ShellPath(const std::filesystem::path& path) { return path.string(); }

}  // namespace qrv::test
