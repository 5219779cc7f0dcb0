#pragma once
// A program the test starts at once, with standard input from /dev/null and
// its output in two files of the scratch folder; the test can signal it and
// waits for it at most a given time (POSIX only).

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace qrv::test {

class ChildProcess {
public:
    // Output goes to <scratch>/<name>.out and <name>.err.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& scratch, const std::string& name = "cli");
    ~ChildProcess();  // kills and reaps a child that is still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // What it printed so far.
    std::string Output() const;
    std::string Errors() const;
    void Kill(int signal);

    struct Ending {
        int exitCode = -1;     // -1 when a signal ended it
        int signal = 0;
        bool overran = false;  // still running at the limit: killed by the test (signal SIGKILL)
        std::chrono::milliseconds took{0};  // from the start
        rusage usage{};        // of the program alone (wait4)
    };
    // Waits for the program to end, at most `limit`.
    Ending Wait(std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    std::filesystem::path out_;
    std::filesystem::path err_;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace qrv::test
