#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/CommandRun.h"

extern char** environ;

namespace qrv::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::filesystem::path& scratch, const std::string& name)
    : out_(scratch / (name + ".out")), err_(scratch / (name + ".err")) {
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    started_ = std::chrono::steady_clock::now();
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_GT(pid_, 0) << "cannot start " << program;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::string ChildProcess::Output() const { return ReadWholeFile(out_); }
std::string ChildProcess::Errors() const { return ReadWholeFile(err_); }

void ChildProcess::Kill(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
}

ChildProcess::Ending ChildProcess::Wait(std::chrono::milliseconds limit) {
    Ending ending;
    if (pid_ <= 0) return ending;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = ::wait4(pid_, &status, WNOHANG, &ending.usage);
        if (done == pid_) break;
        if (done < 0) return ending;
        if (std::chrono::steady_clock::now() >= deadline) {
            ending.overran = true;
            ::kill(pid_, SIGKILL);
            ::wait4(pid_, &status, 0, &ending.usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    ending.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_);
    if (WIFEXITED(status)) ending.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) ending.signal = WTERMSIG(status);
    return ending;
}

}  // namespace qrv::test
