#pragma once
// Reads a site's camera list, plain 8-bit text from a file or the clipboard,
// into at most 256 camera addresses, or refuses it with a message box.
//
// One camera a line: "a.b.c.d", optionally followed by a separator and a port
// ("a.b.c.d:1080", "a.b.c.d,1080", "a.b.c.d<TAB>1080"). Lines end with LF, CR
// LF or a lone CR; empty lines are skipped; the text ends at its first NUL.
// One separator kind per text. The port field is cut to five characters and
// read up to its first non-digit; a separator with nothing after it means 80.
// Only the first 256 characters of a line and the first 256 cameras count.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "engine/CameraAddress.h"
#include "platform/OwnerPort.h"

namespace qrv {

class CameraListImporter {
public:
    static constexpr int kMaxEntries = 256;
    static constexpr std::size_t kMaxLineLength = 256;

    explicit CameraListImporter(OwnerPort& owner) : owner_(owner) {}

    // False, without a message, when the file cannot be read; otherwise as
    // LoadFromBytes.
    bool LoadFromFile(const std::string& path);
    // The same; `error` tells why a file was not read: it is no regular file,
    // is larger than 1 MiB, or cannot be opened (ReadListFile's sentence).
    bool LoadFromFile(const std::string& path, std::string& error);
    // Reads `text` (the clipboard's 8-bit text, or a whole file). On a refusal
    // its box is shown, false returned and the entries of the previous
    // successful load are kept.
    bool LoadFromBytes(std::string_view text);

    // Entry `index` of the last successful load; nothing past its end.
    std::optional<CameraAddress> EntryAt(int index) const;
    int EntryCount() const { return count_; }
    // "LineNNN:>text" of the line that failed the last load (empty otherwise).
    const std::string& ErrorText() const { return errorText_; }

private:
    bool CheckCharacters(std::string_view text, char& separator);
    bool ReadEntries(std::string_view text, char separator);

    OwnerPort& owner_;
    std::array<CameraAddress, kMaxEntries> entries_{};
    int count_ = 0;
    std::string errorText_;
};

}  // namespace qrv
