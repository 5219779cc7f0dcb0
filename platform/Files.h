#pragma once
// Files, folders and the environment. Folders are created 0700 and files 0600:
// a saved camera configuration can hold account data.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrv {

// The value of an environment variable; nothing when it is not set.
std::optional<std::string> EnvironmentValue(const std::string& name);

// The character the system writes between the folders of a path, and whether
// a character parts folders ('/' here; '\\' and '/' on Windows).
char PathSeparator();
bool IsPathSeparator(char c);
// `folder`, the system's separator and `name`.
inline std::string JoinPath(std::string folder, std::string_view name) {
    folder += PathSeparator();
    folder += name;
    return folder;
}

bool PathExists(const std::string& path);
// Creates one folder (mode 0700). False when it cannot be made.
bool MakeFolder(const std::string& path);
// The folder is there afterwards: made now (0700), or there already, also
// when another thread made it at the same moment.
// LastFileError then tells why it is not.
bool EnsureFolder(const std::string& path);
// Removes a file. False when it cannot be removed.
bool RemoveFile(const std::string& path);
// Moves a file to `to` in one step, replacing a file of that name.
bool RenameFile(const std::string& from, const std::string& to);
// Moves a file to `to` in one step unless a file of that name exists; then
// `existed` is set and nothing moves.
bool RenameFileNoReplace(const std::string& from, const std::string& to, bool& existed);
// Reads a whole file; nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path);
// A camera list is a small text file: larger than this, it is something else.
inline constexpr std::size_t kMaxListFileBytes = 1024 * 1024;
// Reads a camera list: only a regular file (a FIFO, a device or a folder is
// refused without waiting on it) of at most kMaxListFileBytes. Nothing when it
// is refused or cannot be read; `error` then holds the sentence to show:
// "'PATH' is not a regular file.", "'PATH' is larger than 1 MiB: it is not a
// camera list." or "Cannot read the camera list 'PATH': REASON.".
std::optional<std::string> ReadListFile(const std::string& path, std::string& error);
// What a path names (symbolic links followed): its type, size and the
// permission bits (0777 part of the mode).
struct FileKind {
    enum class Type { Regular, Folder, Other };
    Type type = Type::Other;
    std::uint64_t size = 0;
    unsigned permissions = 0;
    // Readable by the file's group or by others.
    bool ReadableByOthers() const { return (permissions & 044u) != 0; }
};
// Nothing when the path cannot be examined (LastFileError tells why).
std::optional<FileKind> FileKindOf(const std::string& path);

// The command a user types to make a file readable by no one else
// ("chmod 600 'FILE'"; an icacls line on Windows).
std::string MakePrivateCommand(const std::string& path);

// The platform's text for the last failed file operation of this thread.
std::string LastFileError();

// A file created (or truncated) for writing, mode 0600; closed on destruction.
// Symbolic links are not followed.
class OutputFile {
public:
    OutputFile() = default;
    explicit OutputFile(const std::string& path);
    // Creates the file only when no file of that name exists; `existed` tells
    // whether that was why it could not be made.
    static OutputFile CreateNew(const std::string& path, bool& existed);
    // From now on what the program prints to standard output goes to standard
    // error; the file returned writes to the original standard output.
    static OutputFile TakeStandardOutput();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    bool IsOpen() const { return fd_ >= 0; }
    // Writes all bytes; false on any failure.
    bool Write(std::span<const char> bytes);
    // Forces what was written to the disk; false when it could not be.
    bool Sync();
    // Closes the file; false when the last writes could not be completed.
    bool Close();

private:
    int fd_ = -1;
};

}  // namespace qrv
