#include "platform/Files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <utility>

#include "platform/win/OwnerOnlyAccess.h"
#include "platform/win/WideText.h"

// Paths are UTF-8 inside the program and wide for the system. "Mode 0700 and
// 0600" is an access list for the current user (with the system and the
// administrators) that inherits nothing; see OwnerOnlyAccess.

namespace qrv {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

bool Failed() {
    lastError = ::GetLastError();
    return false;
}

// A system handle that closes itself.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (Valid()) ::CloseHandle(handle_);
    }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }
    HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

private:
    HANDLE handle_;
};

bool IsLink(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Opens for writing without following a link, under the owner-only access
// list. -1 on failure. A file of that name is replaced, not truncated: an
// older file keeps its access list when it is overwritten in place (wine does
// not even narrow it on request), and account data must not stay readable.
int OpenForWriting(const std::string& path, DWORD disposition) {
    const std::wstring wide = win::Widen(path);
    if (disposition == CREATE_ALWAYS) {
        bool exists = false;
        bool link = false;
        {
            Handle existing(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            exists = existing.Valid();
            link = exists && IsLink(existing.Get());
        }
        if (link) {
            ::SetLastError(ERROR_CANT_ACCESS_FILE);
            return Failed(), -1;
        }
        if (exists && !::DeleteFileW(wide.c_str())) return Failed(), -1;
        disposition = CREATE_NEW;
    }
    Handle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, win::OwnerOnlyAccess::ForCurrentUser().Attributes(),
                              disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid()) return Failed(), -1;
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_WRONLY | _O_BINARY);
    if (fd < 0) return Failed(), -1;
    file.Release();
    return fd;
}

}  // namespace

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const std::wstring wideName = win::Widen(name);
    const DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed == 0) {
        // Set but empty also reports 0: tell it from "not set" by the error.
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    std::wstring value(needed, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), needed);
    value.resize(got < needed ? got : 0);
    return win::Narrow(value);
}

char PathSeparator() { return '\\'; }

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

bool PathExists(const std::string& path) {
    return ::GetFileAttributesW(win::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::string& path) {
    return ::CreateDirectoryW(win::Widen(path).c_str(), win::OwnerOnlyAccess::ForCurrentUser().Attributes()) || Failed();
}

bool EnsureFolder(const std::string& path) {
    return PathExists(path) || MakeFolder(path) || (lastError == ERROR_ALREADY_EXISTS && PathExists(path));
}

bool RemoveFile(const std::string& path) { return ::DeleteFileW(win::Widen(path).c_str()) || Failed(); }

bool RenameFile(const std::string& from, const std::string& to) {
    return ::MoveFileExW(win::Widen(from).c_str(), win::Widen(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           Failed();
}

bool RenameFileNoReplace(const std::string& from, const std::string& to, bool& existed) {
    existed = false;
    if (::MoveFileExW(win::Widen(from).c_str(), win::Widen(to).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    Failed();
    existed = lastError == ERROR_FILE_EXISTS || lastError == ERROR_ALREADY_EXISTS;
    return false;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path) {
    Handle file(::CreateFileW(win::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return Failed(), std::nullopt;
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) return Failed(), std::nullopt;
        if (got == 0) break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

std::optional<std::string> ReadListFile(const std::string& path, std::string& error) {
    auto cannotRead = [&] {
        Failed();
        error = "Cannot read the camera list '" + path + "': " + win::ErrorText(lastError) + ".";
        return std::nullopt;
    };
    auto notRegular = [&] {
        error = "'" + path + "' is not a regular file.";
        return std::nullopt;
    };
    auto tooLarge = [&] {
        error = "'" + path + "' is larger than 1 MiB: it is not a camera list.";
        return std::nullopt;
    };
    // Backup semantics let a folder open too, so that it is told as what it is.
    Handle file(::CreateFileW(win::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.Valid()) return cannotRead();
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) return notRegular();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.Get(), &info)) return cannotRead();
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return notRegular();
    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > kMaxListFileBytes) return tooLarge();
    // One byte more than allowed tells a file that grew after it was examined.
    std::string bytes(kMaxListFileBytes + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &read, nullptr)) {
            return cannotRead();
        }
        if (read == 0) break;
        got += read;
    }
    if (got > kMaxListFileBytes) return tooLarge();
    bytes.resize(got);
    return bytes;
}

std::optional<FileKind> FileKindOf(const std::string& path) {
    const std::wstring wide = win::Widen(path);
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &info)) return Failed(), std::nullopt;
    FileKind kind;
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    kind.type = folder ? FileKind::Type::Folder
                : (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) ? FileKind::Type::Other
                                                                  : FileKind::Type::Regular;
    kind.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    // The mode bits a POSIX reader would see: the owner's, and read (and
    // search) for group and others when the access list lets anyone else read.
    kind.permissions = folder ? 0700u : (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0400u : 0600u;
    if (win::OwnerOnlyAccess::ForCurrentUser().OthersMayRead(wide)) kind.permissions |= folder ? 055u : 044u;
    return kind;
}

std::string LastFileError() { return win::ErrorText(lastError); }

// No inherited entries, and full access for the current user only.
std::string MakePrivateCommand(const std::string& path) {
    return "icacls \"" + path + "\" /inheritance:r /grant:r \"%USERNAME%:F\"";
}

OutputFile::OutputFile(const std::string& path) : fd_(OpenForWriting(path, CREATE_ALWAYS)) {}

OutputFile OutputFile::CreateNew(const std::string& path, bool& existed) {
    OutputFile file;
    file.fd_ = OpenForWriting(path, CREATE_NEW);
    existed = file.fd_ < 0 && (lastError == ERROR_FILE_EXISTS || lastError == ERROR_ALREADY_EXISTS);
    return file;
}

OutputFile OutputFile::TakeStandardOutput() {
    std::fflush(stdout);
    OutputFile file;
    file.fd_ = ::_dup(1);
    if (file.fd_ >= 0) {
        ::_setmode(file.fd_, _O_BINARY);
        ::_dup2(2, 1);
    }
    return file;
}

bool OutputFile::Write(std::span<const char> bytes) {
    if (fd_ < 0) return false;
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t left = bytes.size() - done;
        const DWORD piece = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data() + done, piece, &written, nullptr) || written == 0) return Failed();
        done += written;
    }
    return true;
}

bool OutputFile::Sync() {
    if (fd_ < 0) return false;
    return ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_))) || Failed();
}

bool OutputFile::Close() {
    if (fd_ < 0) return true;
    const bool ok = ::_close(fd_) == 0;
    fd_ = -1;
    if (!ok) lastError = ERROR_WRITE_FAULT;
    return ok;
}

}  // namespace qrv
