// The Windows side of RunCommand. A Linux program (a Unix path that is no
// .exe) is started through /bin/sh as a Unix process, which wine allows: the
// shell writes its exit status to a file, since wine gives no handle to wait
// on. A Windows program is started with CreateProcess, its arguments split
// as a POSIX shell splits them (single and double quotes, no escapes, since
// Windows paths hold backslashes) and quoted again as the C runtime reads a
// command line. Standard input is the given file or NUL; the output goes
// through files in the scratch folder and its line ends are read back as
// "\n", so that the tests compare the same text on both systems.

#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <vector>

#include "tests/support/CommandRun.h"
#include "tests/support/WineUnix.h"

namespace qrv::test {

namespace {

std::vector<std::string> ShellWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (const char c : text) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
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

// One argument as the C runtime splits a command line: quoted when it holds
// a blank or a quote or is empty; backslashes are doubled only before a quote.
std::wstring QuotedArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring Wide(const std::string& text) { return std::filesystem::path(text).wstring(); }

HANDLE OpenForChild(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                disposition, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a standard handle for the command");
    return handle;
}

std::string WithNewlines(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

// A Linux program run to its end; `args` are the shell's words already.
CommandRun RunUnixCommand(const std::string& program, const std::string& args, const std::filesystem::path& scratch,
                          const std::filesystem::path& input) {
    const std::filesystem::path out = scratch / "out.txt";
    const std::filesystem::path err = scratch / "err.txt";
    const std::filesystem::path status = scratch / "status.txt";
    std::filesystem::remove(status);
    const std::string in = input.empty() ? std::string("/dev/null") : UnixPath(input.string());
    // Wine hands a Unix process the Windows PATH: the shell gets the usual one.
    const std::string command = "PATH=/usr/local/bin:/usr/bin:/bin; export PATH; '" + program + "' " + args + " <'" +
                                in + "' >'" + UnixPath(out.string()) + "' 2>'" + UnixPath(err.string()) +
                                "'; echo $? >'" + UnixPath(status.string()) + "'";
    CommandRun run;
    if (command.find('"') != std::string::npos) {
        run.err = "a Linux program's command line cannot hold a double quote under wine";
        return run;
    }
    StartUnix({"/bin/sh", "-c", command}, (scratch / "shell.txt").string());
    if (WaitForFile(status, std::chrono::minutes(10))) run.exitCode = std::stoi(ReadWholeFile(status));
    run.out = ReadWholeFile(out);
    run.err = ReadWholeFile(err);
    return run;
}

}  // namespace

std::string ShellPath(const std::filesystem::path& path) { return UnixPath(path.string()); }

CommandRun RunCommand(const std::string& program, const std::string& args, const std::filesystem::path& scratch,
                      const std::filesystem::path& input) {
    const bool unixPath = !program.empty() && program.front() == '/';
    if (unixPath && std::filesystem::path(program).extension() != ".exe") {
        return RunUnixCommand(program, args, scratch, input);
    }
    // A Unix path (the build's own, as CMake names it) is the Z: drive's.
    std::filesystem::path file(program);
    if (unixPath) file = std::filesystem::path("Z:" + program);
    const std::wstring application = file.make_preferred().wstring();
    std::wstring line = QuotedArgument(application);
    for (const std::string& word : ShellWords(args)) line += L' ' + QuotedArgument(Wide(word));

    const std::filesystem::path out = scratch / "out.txt";
    const std::filesystem::path err = scratch / "err.txt";
    HANDLE in = OpenForChild(input.empty() ? L"NUL" : input.wstring(), GENERIC_READ, OPEN_EXISTING);
    HANDLE output = OpenForChild(out.wstring(), GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE error = OpenForChild(err.wstring(), GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(in);
    CloseHandle(output);
    CloseHandle(error);
    CommandRun run;
    if (!started) {
        run.err = "cannot start " + program;
        return run;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) run.exitCode = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    run.out = WithNewlines(ReadWholeFile(out));
    run.err = WithNewlines(ReadWholeFile(err));
    return run;
}

}  // namespace qrv::test
