#include "batch/CameraListImporter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "engine/EngineMessages.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace qrv {

namespace {

constexpr int kMsgMixedSeparators = 305;  // "Invalid format."
constexpr int kMsgInvalidCharacter = 306;  // "Invalid format."
constexpr int kMsgInvalidLine = 307;       // "Invalid address or port number.\r\n%s"

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the line starting at `at`: its CR or LF, or the end of the text.
std::size_t LineEnd(std::string_view text, std::size_t at) {
    const std::size_t end = text.find_first_of("\r\n", at);
    return end == std::string_view::npos ? text.size() : end;
}

// Past the line end at `end`: CR LF, a lone CR and LF each end one line.
std::size_t NextLine(std::string_view text, std::size_t end) {
    if (end >= text.size()) return text.size();
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') return end + 2;
    return end + 1;
}

// The port text after the address: at most five characters after the
// separator (a run of tabs counts as one tab separator, as spreadsheets paste
// empty columns). Nothing when something other than the separator follows.
std::optional<std::string_view> PortField(std::string_view rest, char separator) {
    if (rest.empty()) return rest;
    if (rest[0] != separator) return std::nullopt;
    rest.remove_prefix(1);
    if (separator == '\t') {
        rest.remove_prefix(std::min(rest.find_first_not_of('\t'), rest.size()));
        rest = rest.substr(0, rest.find('\t'));
    }
    return rest.substr(0, 5);
}

// One camera line (already cut to its first 256 characters): four
// dot-separated decimal numbers of at most 255, then perhaps the port.
std::optional<CameraAddress> ReadLine(std::string_view line, char separator) {
    CameraAddress address;
    std::size_t at = 0;
    for (std::size_t i = 0; i < address.ip.size(); ++i) {
        if (i > 0) {
            if (at >= line.size() || line[at] != '.') return std::nullopt;
            ++at;
        }
        const std::size_t start = at;
        unsigned value = 0;
        // Leading zeros are decimal; the value stops growing once it is too big.
        for (; at < line.size() && IsDigit(line[at]); ++at) value = std::min(value * 10 + (line[at] - '0'), 256u);
        if (at == start || value > 255) return std::nullopt;
        address.ip[i] = static_cast<std::uint8_t>(value);
    }
    const std::optional<std::string_view> portText = PortField(line.substr(at), separator);
    if (!portText) return std::nullopt;
    int port = 0;
    for (const char c : *portText) {
        if (!IsDigit(c)) break;
        port = port * 10 + (c - '0');
    }
    if (port == 0) {
        if (!portText->empty()) return std::nullopt;
        port = kDefaultHttpPort;
    }
    if (!IsValidPort(port)) return std::nullopt;
    address.port = port;
    return address;
}

}  // namespace

bool CameraListImporter::LoadFromFile(const std::string& path) {
    std::string error;
    return LoadFromFile(path, error);
}

bool CameraListImporter::LoadFromFile(const std::string& path, std::string& error) {
    error.clear();
    const std::optional<std::string> text = ReadListFile(path, error);
    return text && LoadFromBytes(*text);
}

bool CameraListImporter::LoadFromBytes(std::string_view text) {
    errorText_.clear();
    text = text.substr(0, text.find('\0'));
    char separator = ',';
    return CheckCharacters(text, separator) && ReadEntries(text, separator);
}

std::optional<CameraAddress> CameraListImporter::EntryAt(int index) const {
    if (index < 0 || index >= count_) return std::nullopt;
    return entries_[static_cast<std::size_t>(index)];
}

// Every character of the lines that ReadEntries will read (the first 256
// non-empty ones) is checked here, and their separators counted.
bool CameraListImporter::CheckCharacters(std::string_view text, char& separator) {
    int tabs = 0, colons = 0, commas = 0;
    int lines = 0;
    for (std::size_t at = 0; at < text.size() && lines < kMaxEntries;) {
        const std::size_t end = LineEnd(text, at);
        for (std::size_t i = at; i < end; ++i) {
            const char c = text[i];
            if (c == '\t') {
                ++tabs;
            } else if (c == ':') {
                ++colons;
            } else if (c == ',') {
                ++commas;
            } else if (!IsDigit(c) && c != '.') {
                ShowBox(owner_, MessageText(kMsgInvalidCharacter, owner_), kMsgInformation, BoxIcon::Information);
                return false;
            }
        }
        if (end > at) ++lines;
        at = NextLine(text, end);
    }
    if ((tabs > 0) + (colons > 0) + (commas > 0) >= 2) {
        ShowBox(owner_, MessageText(kMsgMixedSeparators, owner_), kMsgInformation, BoxIcon::Information);
        return false;
    }
    separator = tabs > 0 ? '\t' : colons > 0 ? ':' : ',';
    return true;
}

bool CameraListImporter::ReadEntries(std::string_view text, char separator) {
    std::array<CameraAddress, kMaxEntries> entries{};
    int count = 0;
    for (std::size_t at = 0; at < text.size() && count < kMaxEntries;) {
        const std::size_t end = LineEnd(text, at);
        if (end > at) {
            const std::string_view line = text.substr(at, end - at);
            const std::optional<CameraAddress> entry = ReadLine(line.substr(0, kMaxLineLength), separator);
            if (!entry) {
                // Numbered among the non-empty lines, as the user counts cameras.
                char number[16];
                std::snprintf(number, sizeof number, "Line%03d:>", count + 1);
                errorText_ = number + std::string(line);
                std::u16string message = MessageText(kMsgInvalidLine, owner_);
                const std::size_t slot = message.find(u"%s");
                if (slot != std::u16string::npos) message.replace(slot, 2, ToWide(errorText_));
                ShowBox(owner_, message, kMsgInformation, BoxIcon::Question);
                return false;
            }
            entries[static_cast<std::size_t>(count++)] = *entry;
        }
        at = NextLine(text, end);
    }
    entries_ = entries;
    count_ = count;
    return true;
}

}  // namespace qrv
