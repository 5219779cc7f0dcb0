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

ConfigAnswerCheck::Verdict ConfigAnswerCheck::Feed(std::string_view piece) {
    if (html_.Feed(piece)) return Verdict::WebPage;
    if (piece.size() > limit_ - std::min(size_, limit_)) return Verdict::TooLarge;
    size_ += piece.size();
    return Verdict::Accept;
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

// Two cameras of one batch that report the same serial would otherwise write
// one file, and the first camera's settings would be lost.
OutputFile ConfigBackupStore::CreateFreshFile() {
    if (exactPath_) {
        bool existed = false;
        OutputFile file = OutputFile::CreateNew(basePath_, existed);
        if (existed) SetError(basePath_ + " already exists; a saved configuration is never overwritten.");
        return file;
    }
    constexpr int kMaxNames = 100;
    const std::string stem = basePath_.substr(0, basePath_.size() - 4);  // without ".cfg"
    for (int n = 1; n <= kMaxNames; ++n) {
        const std::string path = n == 1 ? stem + ".cfg" : stem + "-" + std::to_string(n) + ".cfg";
        bool existed = false;
        OutputFile file = OutputFile::CreateNew(path, existed);
        if (file.IsOpen() || !existed) {
            SetLocalPath(path);
            return file;
        }
    }
    return OutputFile();
}

std::string ConfigBackupStore::ErrorText() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void ConfigBackupStore::SetError(std::string text) {
    if (text.size() > 254) text.resize(254);
    std::lock_guard lock(mutex_);
    error_ = std::move(text);
}

bool ConfigBackupStore::Download(std::stop_token stop) {
    SetError({});
    size_ = 0;
    downloadFailed_ = false;
    if (LocalPath().empty()) {
        SetError("No folder for saved configurations (ProgramFiles, XDG_DATA_HOME and HOME are unset).");
        return false;
    }
    if (!EnsureFolders(LocalPath())) {
        SetError("Cannot create the folder of " + LocalPath() + ": " + LastFileError());
        return false;
    }
    const std::optional<HttpEndpoint> endpoint = SplitAddress(address_);
    if (!endpoint) {
        SetError("Invalid camera address " + address_);
        return false;
    }
    OutputFile file = CreateFreshFile();
    if (!file.IsOpen()) {
        if (ErrorText().empty()) SetError("Cannot create " + LocalPath() + ": " + LastFileError());
        return false;
    }

    ConfigAnswerCheck check(sizeLimit_);
    std::string refusal;
    DownloadRequest request;
    request.endpoint = *endpoint;
    request.path = cameraPath_;
    request.extraHeader = header_;
    request.receiveTimeout = timing_.configReceiveTimeout;
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
            refusal = "Cannot write " + LocalPath() + ": " + LastFileError();
            return false;
        }
        size_ = check.Size();
        return true;
    };
    const DownloadResult result = qrv::Download(request, stop);
    // On disk before the camera is touched: it may be the only copy of the
    // settings once the new firmware has reset them.
    const bool synced = !result.ok || !refusal.empty() || file.Sync();
    const bool closed = file.Close() && synced;
    if (!refusal.empty()) {
        SetError(refusal);
    } else if (!result.ok) {
        SetError(result.error);
    } else if (result.status >= 400) {
        SetError("The camera answered with HTTP status " + std::to_string(result.status) + ".");
    } else if (!closed) {
        SetError("Cannot write " + LocalPath() + ": " + LastFileError());
    }
    downloadFailed_ = !ErrorText().empty();
    return !downloadFailed_;
}

void ConfigBackupStore::DiscardFailedDownload() {
    if (!downloadFailed_) return;
    RemoveFile(LocalPath());
    downloadFailed_ = false;
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
            RemoveIfWanted();
            break;
        }
        if (!SleepFor(timing_.restoreRetryPause, stop)) break;
    }
    client.SetUploadData({});
    return restored_.load();
}

}  // namespace qrv
