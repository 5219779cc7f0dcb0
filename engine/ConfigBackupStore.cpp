#include "engine/ConfigBackupStore.h"

#include <algorithm>
#include <cctype>

#include "engine/CameraClient.h"
#include "platform/Files.h"
#include "platform/HttpClient.h"
#include "platform/Text.h"

namespace qrv {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string BuildLocalPath(WallTime stamp, std::string_view modelName, std::u16string_view serial) {
    const std::string folder = ProgramFolder();
    if (folder.empty()) return {};
    return JoinPath(JoinPath(JoinPath(folder, "Configurations"), FormatLocalTime(stamp, "%y%m%d%H%M")),
                    SanitizeFileNamePart(Lower(modelName)) + "." + SanitizeFileNamePart(ToNarrow(serial)) + ".cfg");
}

}  // namespace

bool HtmlMarkFinder::Feed(std::string_view piece) {
    if (found_) return true;
    std::string joined = carry_;
    joined.append(piece.substr(0, kMark.size() - 1));
    found_ = joined.find(kMark) != std::string::npos || piece.find(kMark) != std::string_view::npos;
    if (found_) return true;
    carry_ += piece;
    if (carry_.size() > kMark.size() - 1) carry_.erase(0, carry_.size() - (kMark.size() - 1));
    return false;
}

bool WebPageStart::Feed(std::string_view piece) {
    static constexpr std::string_view kStarts[] = {"<html", "<!doctype html"};
    constexpr std::size_t kLongest = 14;
    for (const char c : piece) {
        if (decided_) break;
        if (head_.empty() && std::isspace(static_cast<unsigned char>(c))) continue;
        head_ += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        bool couldStill = false;
        for (const std::string_view start : kStarts) {
            const std::size_t n = std::min(head_.size(), start.size());
            if (head_.compare(0, n, start.substr(0, n)) != 0) continue;
            if (head_.size() >= start.size()) found_ = true;
            couldStill = true;
        }
        decided_ = found_ || !couldStill || head_.size() >= kLongest;
    }
    return found_;
}

ConfigAnswerCheck::Verdict ConfigAnswerCheck::Feed(std::string_view piece) {
    if (html_.Feed(piece) | page_.Feed(piece)) return Verdict::WebPage;
    if (piece.size() > limit_ - std::min(size_, limit_)) return Verdict::TooLarge;
    size_ += piece.size();
    return Verdict::Accept;
}

std::optional<std::string> RefuseConfigAnswer(long status, std::size_t size, std::optional<std::uint64_t> declared) {
    if (status != 200) {
        return "The camera answered with HTTP status " + std::to_string(status) + " instead of its configuration.";
    }
    if (declared && *declared != size) {
        return "The camera sent " + std::to_string(size) + " of the " + std::to_string(*declared) +
               " bytes it announced.";
    }
    if (size == 0) return std::string("The camera sent an empty configuration.");
    return std::nullopt;
}

namespace {
constexpr std::string_view kPartSuffix = ".part";
constexpr std::string_view kCfgSuffix = ".cfg";
// Names tried for one serial in one folder before a save gives up.
constexpr int kMaxNames = 100;

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) return false;
    return Lower(text.substr(text.size() - tail.size())) == tail;
}

std::string_view BaseName(std::string_view path) {
    std::size_t at = path.size();
    while (at > 0 && !IsPathSeparator(path[at - 1])) --at;
    return path.substr(at);
}
}  // namespace

bool IsUnfinishedSave(std::string_view path) { return EndsWithNoCase(path, kPartSuffix); }

std::optional<SavedFileName> ReadSavedFileName(std::string_view path) {
    const std::string_view name = BaseName(path);
    if (!EndsWithNoCase(name, kCfgSuffix)) return std::nullopt;
    const std::string_view stem = name.substr(0, name.size() - kCfgSuffix.size());
    // The model holds no '.' the program writes; the serial may.
    const std::size_t dot = stem.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 >= stem.size()) return std::nullopt;
    return SavedFileName{Lower(stem.substr(0, dot)), std::string(stem.substr(dot + 1))};
}

bool SavedSerialMatches(std::string_view fileSerial, std::u16string_view cameraSerial) {
    const std::string serial = SanitizeFileNamePart(ToNarrow(cameraSerial));
    if (fileSerial == serial) return true;
    if (fileSerial.size() < serial.size() + 2 || fileSerial.substr(0, serial.size()) != serial) return false;
    const std::string_view rest = fileSerial.substr(serial.size());
    return rest[0] == '-' && std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string ConfigurationRoot() {
    std::string root;
    if (auto programFiles = EnvironmentValue("ProgramFiles"); programFiles && !programFiles->empty()) {
        root = *programFiles;
    } else if (auto dataHome = EnvironmentValue("XDG_DATA_HOME"); dataHome && !dataHome->empty()) {
        root = *dataHome;
    } else if (auto home = EnvironmentValue("HOME"); home && !home->empty()) {
        root = *home + "/.local/share";
    }
    while (root.size() > 1 && IsPathSeparator(root.back())) root.pop_back();
    return root;
}

std::string ProgramFolder() {
    const std::string root = ConfigurationRoot();
    return root.empty() ? std::string() : JoinPath(JoinPath(root, "VEXA"), "QRV FirmwareUpgrade");
}

std::string SanitizeFileNamePart(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const bool keep = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
        // A part is joined to others with '.', so it neither starts with one
        // nor holds two in a row: no ".." can come of it.
        const bool badDot = c == '.' && (out.empty() || out.back() == '.');
        out += keep && !badDot ? c : '_';
    }
    if (!out.empty() && out.back() == '.') out.back() = '_';
    return out;
}

bool EnsureFolders(const std::string& path) {
    std::vector<size_t> separators;
    for (size_t at = 0; at < path.size(); ++at) {
        if (!IsPathSeparator(path[at])) continue;
        separators.push_back(at);
        if (static_cast<int>(separators.size()) >= kMaxPathSeparators) return false;
    }
    // The first two levels (the file system root or drive, and the folder below
    // it) are never made.
    for (size_t i = 2; i < separators.size(); ++i) {
        const std::string folder = path.substr(0, separators[i]);
        if (!EnsureFolder(folder)) return false;
    }
    return true;
}

ConfigBackupStore::ConfigBackupStore(std::string address, std::string cameraPath, const std::string& credentials,
                                     WallTime stamp, std::string_view modelName, std::u16string_view serial,
                                     bool deleteAfterRestore, Timing timing)
    : deleteAfterRestore_(deleteAfterRestore),
      address_(std::move(address)),
      cameraPath_(std::move(cameraPath)),
      url_("HTTP://" + address_ + cameraPath_),
      basePath_(BuildLocalPath(stamp, modelName, serial)),
      localPath_(basePath_),
      header_("Authorization: Basic " + credentials),
      timing_(timing) {}

std::string ConfigBackupStore::LocalPath() const {
    std::lock_guard lock(mutex_);
    return localPath_;
}

void ConfigBackupStore::SetLocalPath(std::string path) {
    std::lock_guard lock(mutex_);
    localPath_ = std::move(path);
}

// "<model>.<serial>.cfg" for n = 1, then "<model>.<serial>-n.cfg".
std::string ConfigBackupStore::NumberedPath(int n) const {
    const std::string stem = basePath_.substr(0, basePath_.size() - kCfgSuffix.size());
    return n == 1 ? stem + std::string(kCfgSuffix) : stem + "-" + std::to_string(n) + std::string(kCfgSuffix);
}

// Two cameras of one batch that report the same serial would otherwise write
// one file, and the first camera's settings would be lost. The name chosen is
// one that neither a saved configuration nor a save under way holds.
OutputFile ConfigBackupStore::CreatePartFile() {
    if (exactPath_) {
        bool existed = PathExists(basePath_);
        OutputFile file;
        if (!existed) file = OutputFile::CreateNew(basePath_ + std::string(kPartSuffix), existed);
        if (existed) SetError(basePath_ + " already exists; a saved configuration is never overwritten.");
        if (file.IsOpen()) partPath_ = basePath_ + std::string(kPartSuffix);
        return file;
    }
    for (int n = 1; n <= kMaxNames; ++n) {
        const std::string path = NumberedPath(n);
        if (PathExists(path)) continue;
        bool existed = false;
        OutputFile file = OutputFile::CreateNew(path + std::string(kPartSuffix), existed);
        if (file.IsOpen() || !existed) {
            SetLocalPath(path);
            if (file.IsOpen()) partPath_ = path + std::string(kPartSuffix);
            return file;
        }
    }
    return OutputFile();
}

// The whole configuration takes its name; a file that took the name in the
// meantime is never replaced: the next free name is used instead.
bool ConfigBackupStore::MoveIntoPlace() {
    std::string path = LocalPath();
    for (int n = 1; n <= kMaxNames; ++n) {
        bool existed = false;
        if (RenameFileNoReplace(partPath_, path, existed)) {
            SetLocalPath(path);
            partPath_.clear();
            return true;
        }
        if (!existed) {
            SetLocalError("Cannot rename " + partPath_ + " to " + path + ": " + LastFileError());
            return false;
        }
        if (exactPath_) {
            SetError(path + " already exists; a saved configuration is never overwritten.");
            return false;
        }
        path = NumberedPath(n + 1);
    }
    SetError("No free name for " + basePath_);
    return false;
}

std::string ConfigBackupStore::ErrorText() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void ConfigBackupStore::SetError(std::string text) {
    if (text.size() > 254) text.resize(254);
    failedHere_.store(false);
    std::lock_guard lock(mutex_);
    error_ = std::move(text);
}

void ConfigBackupStore::SetLocalError(std::string text) {
    SetError(std::move(text));
    failedHere_.store(true);
}

bool ConfigBackupStore::Download(std::stop_token stop) {
    SetError({});
    size_ = 0;
    partPath_.clear();
    if (LocalPath().empty()) {
        SetLocalError("No folder for saved configurations (ProgramFiles, XDG_DATA_HOME and HOME are unset).");
        return false;
    }
    if (!EnsureFolders(LocalPath())) {
        SetLocalError("Cannot create the folder of " + LocalPath() + ": " + LastFileError());
        return false;
    }
    const std::optional<HttpEndpoint> endpoint = SplitAddress(address_);
    if (!endpoint) {
        SetError("Invalid camera address " + address_);
        return false;
    }
    OutputFile file = CreatePartFile();
    if (!file.IsOpen()) {
        if (ErrorText().empty()) SetLocalError("Cannot create " + LocalPath() + ".part: " + LastFileError());
        return false;
    }

    ConfigAnswerCheck check(sizeLimit_);
    std::string refusal;
    bool writeFailed = false;
    DownloadRequest request;
    request.endpoint = *endpoint;
    request.path = cameraPath_;
    request.extraHeader = header_;
    request.receiveTimeout = timing_.configReceiveTimeout;
    request.totalLimit = timing_.configSaveLimit;
    request.onData = [&](std::span<const char> bytes) {
        switch (check.Feed(std::string_view(bytes.data(), bytes.size()))) {
        case ConfigAnswerCheck::Verdict::WebPage:
            refusal = "The camera answered with a web page instead of its configuration.";
            return false;
        case ConfigAnswerCheck::Verdict::TooLarge:
            refusal = "The configuration is larger than " + std::to_string(sizeLimit_) + " bytes.";
            return false;
        case ConfigAnswerCheck::Verdict::Accept:
            break;
        }
        if (!file.Write(bytes)) {
            refusal = "Cannot write " + partPath_ + ": " + LastFileError();
            writeFailed = true;
            return false;
        }
        size_ = check.Size();
        return true;
    };
    const DownloadResult result = qrv::Download(request, stop);
    if (refusal.empty() && result.ok) {
        if (std::optional<std::string> why = RefuseConfigAnswer(result.status, size_, result.declaredLength)) {
            refusal = std::move(*why);
        }
    }
    // On disk before the camera is touched: it may be the only copy of the
    // settings once the new firmware has reset them.
    const bool whole = result.ok && refusal.empty();
    const bool synced = !whole || file.Sync();
    const bool closed = file.Close() && synced;
    if (writeFailed) {
        SetLocalError(refusal);
    } else if (!refusal.empty()) {
        SetError(refusal);
    } else if (!result.ok) {
        SetError(result.error);
    } else if (!closed) {
        SetLocalError("Cannot write " + partPath_ + ": " + LastFileError());
    } else {
        MoveIntoPlace();
    }
    const bool failed = !ErrorText().empty();
    if (failed) DiscardFailedDownload();
    return !failed;
}

void ConfigBackupStore::DiscardFailedDownload() {
    if (!partPath_.empty()) RemoveFile(partPath_);
    partPath_.clear();
}

std::optional<std::vector<std::uint8_t>> ConfigBackupStore::ReadBack() {
    const std::string path = LocalPath();
    std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(path);
    if (!bytes) {
        SetError("Cannot read " + path + ": " + LastFileError());
        return std::nullopt;
    }
    if (bytes->size() < size_) {
        SetError("The saved configuration " + path + " is shorter than what was saved.");
        return std::nullopt;
    }
    bytes->resize(size_);
    return bytes;
}

void ConfigBackupStore::RemoveIfWanted() {
    if (deleteAfterRestore_) RemoveFile(LocalPath());
}

void ConfigBackupStore::SetExactPath(std::string path) {
    basePath_ = path;
    exactPath_ = true;
    SetLocalPath(std::move(path));
}

bool ConfigBackupStore::UseSavedFile(const std::string& path) {
    SetError({});
    SetLocalPath(path);
    size_ = 0;
    if (IsUnfinishedSave(path)) {
        SetError(path + " is a save that never finished: it holds no whole configuration.");
        return false;
    }
    const std::optional<FileKind> kind = FileKindOf(path);
    if (!kind) {
        SetError("Cannot read " + path + ": " + LastFileError());
        return false;
    }
    if (kind->type != FileKind::Type::Regular) {
        SetError(path + " is not a regular file.");
        return false;
    }
    if (kind->size == 0) {
        SetError(path + " is empty: it holds no configuration.");
        return false;
    }
    if (kind->size > sizeLimit_) {
        SetError(path + " is larger than " + std::to_string(sizeLimit_) + " bytes: it is not a configuration.");
        return false;
    }
    size_ = static_cast<std::size_t>(kind->size);
    return true;
}

bool ConfigBackupStore::RunRestore(CameraClient& client, std::stop_token stop) {
    if (!SleepFor(timing_.restorePause, stop)) return false;
    return RunRestoreTries(client, stop);
}

bool ConfigBackupStore::RunRestoreTries(CameraClient& client, std::stop_token stop) {
    const std::optional<std::vector<std::uint8_t>> bytes = ReadBack();
    if (!bytes) return false;
    client.SetUploadData(*bytes);
    for (int attempt = 0; attempt < timing_.restoreTries && !stop.stop_requested(); ++attempt) {
        if (client.RestoreConfiguration(stop) == 0) {
            restored_.store(true);
            break;
        }
        if (!SleepFor(timing_.restoreRetryPause, stop)) break;
    }
    client.SetUploadData({});
    return restored_.load();
}

}  // namespace qrv
