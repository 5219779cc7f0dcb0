#pragma once
// One camera's saved configuration: downloaded to a .cfg file before the
// upload, posted back after the camera has rebooted with the new firmware, then
// deleted or kept as a backup. The file lives in
//   <root>/VEXA/QRV FirmwareUpgrade/Configurations/<yymmddHHMM>/<model>.<serial>.cfg
// where the root is $ProgramFiles when set, else $XDG_DATA_HOME (default
// ~/.local/share). Folders are 0700, the file 0600.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Timing.h"
#include "platform/Clock.h"
#include "platform/Files.h"

namespace qrv {

class CameraClient;

// A configuration larger than this is not a configuration: the download fails.
inline constexpr std::size_t kMaxConfigurationBytes = 64u * 1024u * 1024u;
// Paths with this many separators or more are refused.
inline constexpr int kMaxPathSeparators = 20;

// The folder under which saved configurations live; empty when neither
// ProgramFiles, XDG_DATA_HOME nor HOME is set.
std::string ConfigurationRoot();
// <root>/VEXA/QRV FirmwareUpgrade with the system's separators; empty
// without a root.
std::string ProgramFolder();
// Camera text made safe for a file name: only letters, digits, '.', '_' and
// '-' stay (anything else becomes '_'); it neither starts nor ends with '.'
// and holds no "..".
std::string SanitizeFileNamePart(std::string_view text);
// Creates every missing folder of `path` (up to its last separator) from the third
// separator on. Fails for 20 or more separators or a folder that cannot be made.
bool EnsureFolders(const std::string& path);

// Finds "<HTML>" in a stream of pieces, also where it straddles two pieces:
// a camera that answers with a web page has not sent its configuration.
class HtmlMarkFinder {
public:
    static constexpr std::string_view kMark = "<HTML>";
    // True once the mark has been seen in the pieces fed so far.
    bool Feed(std::string_view piece);

private:
    std::string carry_;  // the last bytes seen, one fewer than the mark
    bool found_ = false;
};

// Whether an answer starts as a web page: after leading white space,
// "<html" or "<!doctype html" in any case. Fed piece by piece.
class WebPageStart {
public:
    bool Feed(std::string_view piece);

private:
    std::string head_;  // the first bytes after the white space, lower case
    bool decided_ = false;
    bool found_ = false;
};

// The checks on a camera's configuration answer, piece by piece as it
// arrives: a web page (the mark anywhere, also across pieces, or a page's
// start in any case) or more than `limit` bytes is no configuration. The
// first refusal ends the download.
class ConfigAnswerCheck {
public:
    enum class Verdict { Accept, WebPage, TooLarge };
    explicit ConfigAnswerCheck(std::size_t limit) : limit_(limit) {}
    Verdict Feed(std::string_view piece);
    // The bytes accepted so far.
    std::size_t Size() const { return size_; }

private:
    HtmlMarkFinder html_;
    WebPageStart page_;
    std::size_t limit_;
    std::size_t size_ = 0;
};

// Why a finished download is no whole configuration, or nothing when it is
// one: the status must be exactly 200, the body not empty and as long as
// the camera announced.
std::optional<std::string> RefuseConfigAnswer(long status, std::size_t size, std::optional<std::uint64_t> declared);

// A file name a saved configuration may be posted from: not one still being
// written (".part").
bool IsUnfinishedSave(std::string_view path);

// What the name of a saved configuration tells: "<model>.<serial>.cfg" or
// "<model>.<serial>-N.cfg" as the program names them.
struct SavedFileName {
    std::string model;   // lower case, as written
    std::string serial;  // without the "-N" that kept two saves apart
};
// Nothing for a name of another form. The serial is matched against
// `cameraSerial` to strip a "-N": a serial may itself hold '-'.
std::optional<SavedFileName> ReadSavedFileName(std::string_view path);
// Whether the serial part of a saved file's name belongs to the camera serial
// (made safe for file names as the program makes it): equal, or equal with a
// "-N" appended.
bool SavedSerialMatches(std::string_view fileSerial, std::u16string_view cameraSerial);

class ConfigBackupStore {
public:
    // `cameraPath`: "/system/" + first model name in lower case + ".cfg".
    ConfigBackupStore(std::string address, std::string cameraPath, const std::string& credentials, WallTime stamp,
                      std::string_view modelName, std::u16string_view serial, bool deleteAfterRestore,
                      Timing timing = Timing::Production());
    virtual ~ConfigBackupStore() = default;

    // Saves the camera's configuration to the local file. The bytes go to
    // "<name>.part" (created new, 0600), are synced, and only a whole
    // configuration is renamed to its name. Fails when the folders cannot be
    // made, the camera does not deliver in time (configSaveLimit in all),
    // answers with anything but 200, an empty body, a short one or a web page,
    // or sends more than 64 MiB; then, and when stopped, the ".part" is removed
    // and no file of the name is left.
    bool Download(std::stop_token stop = {});
    // Removes what a failed or stopped download may have left. Never touches
    // a whole saved configuration.
    void DiscardFailedDownload();
    // The saved bytes; nothing unless exactly Size() bytes could be read.
    std::optional<std::vector<std::uint8_t>> ReadBack();
    // Deletes the local file when the delete flag is set. Called once the
    // camera has answered after applying the restored configuration: until
    // then the file may be the only copy of its settings.
    void RemoveIfWanted();
    // Saves to exactly `path` instead of the Configurations folder; Download
    // then refuses to overwrite a file that already has that name.
    void SetExactPath(std::string path);
    // Takes an earlier saved file as what RunRestore posts. Refuses a path
    // that is not a regular file, an empty file and one over the size limit.
    bool UseSavedFile(const std::string& path);

    // The restore sequence after the camera came back with the new version:
    // pause, read back, up to the configured number of RestoreConfiguration
    // tries with pauses between failures; on success the restored flag is set
    // (the file stays until RemoveIfWanted). Returns whether a try succeeded.
    // A stop request ends it early (as not restored).
    bool RunRestore(CameraClient& client, std::stop_token stop = {});
    // RunRestore without the first pause: for a camera that is already up.
    bool RunRestoreTries(CameraClient& client, std::stop_token stop = {});

    // Lowers the size limit below 64 MiB (tests, against a camera's small file).
    void SetSizeLimit(std::size_t bytes) { sizeLimit_ = bytes; }

    bool IsRestored() const { return restored_.load(); }
    std::size_t Size() const { return size_; }
    // Where the configuration is (or will be) saved. When another camera's
    // file already has the name, Download picks "<model>.<serial>-2.cfg" and
    // so on, so that no saved configuration is ever overwritten.
    std::string LocalPath() const;
    const std::string& Url() const { return url_; }
    std::string ErrorText() const;
    // Whether the last failure was this computer's (no folder, a folder or
    // file it may not make or write), not the camera's: the error text then
    // names the path, which the user must be shown.
    bool FailedOnThisComputer() const { return failedHere_.load(); }

private:
    void SetError(std::string text);
    void SetLocalError(std::string text);
    void SetLocalPath(std::string path);
    std::string NumberedPath(int n) const;
    OutputFile CreatePartFile();
    bool MoveIntoPlace();

    std::atomic<bool> restored_{false};
    std::atomic<bool> failedHere_{false};
    const bool deleteAfterRestore_;
    std::size_t size_ = 0;
    std::size_t sizeLimit_ = kMaxConfigurationBytes;
    mutable std::mutex mutex_;  // guards error_ and localPath_, read by other threads
    std::string error_;
    const std::string address_;
    const std::string cameraPath_;
    const std::string url_;
    std::string basePath_;  // "<folder>/<model>.<serial>.cfg"
    bool exactPath_ = false;
    std::string localPath_;
    std::string partPath_;  // the ".part" the last Download wrote to
    const std::string header_;
    const Timing timing_;
};

}  // namespace qrv
