#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace qrv {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

char PathSeparator() { return '/'; }

bool IsPathSeparator(char c) { return c == '/'; }

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0700) == 0; }

bool EnsureFolder(const std::string& path) {
    return PathExists(path) || MakeFolder(path) || (errno == EEXIST && PathExists(path));
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool RenameFileNoReplace(const std::string& from, const std::string& to, bool& existed) {
    existed = false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) {
        existed = true;
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a hard link is made only when the name is free.
    if (::link(from.c_str(), to.c_str()) != 0) {
        existed = errno == EEXIST;
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    return bytes;
}

std::optional<std::string> ReadListFile(const std::string& path, std::string& error) {
    auto cannotRead = [&] {
        error = "Cannot read the camera list '" + path + "': " + std::strerror(errno) + ".";
        return std::nullopt;
    };
    // O_NONBLOCK: opening a FIFO nobody writes to returns at once, and the
    // descriptor's own type is checked before a byte is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return cannotRead();
    struct stat info {};
    const bool examined = ::fstat(fd, &info) == 0;
    std::optional<std::string> text;
    if (!examined) {
        cannotRead();
    } else if (!S_ISREG(info.st_mode)) {
        error = "'" + path + "' is not a regular file.";
    } else if (static_cast<std::uint64_t>(info.st_size) > kMaxListFileBytes) {
        error = "'" + path + "' is larger than 1 MiB: it is not a camera list.";
    } else {
        // One byte more than allowed tells a file that grew after fstat.
        std::string bytes(kMaxListFileBytes + 1, '\0');
        std::size_t got = 0;
        bool ok = true;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (!ok) {
            cannotRead();
        } else if (got > kMaxListFileBytes) {
            error = "'" + path + "' is larger than 1 MiB: it is not a camera list.";
        } else {
            bytes.resize(got);
            text = std::move(bytes);
        }
    }
    const int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return text;
}

std::optional<FileKind> FileKindOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    FileKind kind;
    kind.type = S_ISREG(info.st_mode) ? FileKind::Type::Regular
                : S_ISDIR(info.st_mode) ? FileKind::Type::Folder
                                        : FileKind::Type::Other;
    kind.size = static_cast<std::uint64_t>(info.st_size);
    kind.permissions = static_cast<unsigned>(info.st_mode) & 0777u;
    return kind;
}

std::string LastFileError() { return std::strerror(errno); }

std::string MakePrivateCommand(const std::string& path) { return "chmod 600 '" + path + "'"; }

OutputFile::OutputFile(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    // An older file keeps its mode on O_CREAT; account data must not stay readable.
    if (fd_ >= 0 && ::fchmod(fd_, 0600) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

OutputFile OutputFile::CreateNew(const std::string& path, bool& existed) {
    OutputFile file;
    file.fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    existed = file.fd_ < 0 && errno == EEXIST;
    return file;
}

OutputFile OutputFile::TakeStandardOutput() {
    std::fflush(stdout);
    OutputFile file;
    file.fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (file.fd_ >= 0) ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return file;
}

bool OutputFile::Write(std::span<const char> bytes) {
    if (fd_ < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::Sync() { return fd_ >= 0 && ::fsync(fd_) == 0; }

bool OutputFile::Close() {
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
}

}  // namespace qrv
