#include "resources/tools/PackSource.h"

#include <cctype>
#include <charconv>

#include "platform/Text.h"

namespace qrv::pack {

namespace {

class LineReader {
public:
    explicit LineReader(std::string_view line) : line_(line) {}

    void SkipBlanks() {
        while (pos_ < line_.size() && (line_[pos_] == ' ' || line_[pos_] == '\t')) ++pos_;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ >= line_.size();
    }
    std::optional<int> Number() {
        SkipBlanks();
        int value = 0;
        const auto [end, ec] = std::from_chars(line_.data() + pos_, line_.data() + line_.size(), value);
        if (ec != std::errc() || value < 0) return std::nullopt;
        pos_ = static_cast<std::size_t>(end - line_.data());
        return value;
    }
    std::string Word() {
        SkipBlanks();
        std::string word;
        while (pos_ < line_.size() && !std::isspace(static_cast<unsigned char>(line_[pos_]))) word += line_[pos_++];
        return word;
    }
    // A quoted text with its escapes resolved; an error text when malformed.
    bool QuotedText(std::string& text, std::string& error) {
        SkipBlanks();
        if (pos_ >= line_.size() || line_[pos_] != '"') return Fail(error, "expected a text in double quotes");
        for (++pos_; pos_ < line_.size(); ++pos_) {
            const char c = line_[pos_];
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c != '\\') {
                text += c;
                continue;
            }
            if (++pos_ >= line_.size()) break;
            switch (line_[pos_]) {
                case 'r': text += '\r'; break;
                case 'n': text += '\n'; break;
                case 't': text += '\t'; break;
                case '"': text += '"'; break;
                case '\\': text += '\\'; break;
                default: return Fail(error, std::string("unknown escape \\") + line_[pos_]);
            }
        }
        return Fail(error, "text not closed by a double quote");
    }

private:
    static bool Fail(std::string& error, std::string message) {
        error = std::move(message);
        return false;
    }

    std::string_view line_;
    std::size_t pos_ = 0;
};

std::optional<std::byte> HexByte(const std::string& word) {
    unsigned value = 0;
    if (word.size() != 2) return std::nullopt;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + 2, value, 16);
    if (ec != std::errc() || end != word.data() + 2) return std::nullopt;
    return static_cast<std::byte>(value);
}

// Parses one non-empty, non-comment line; returns an error text or "".
std::string ParseLine(std::string_view line, SourceItem& item) {
    LineReader reader(line);
    const auto number = reader.Number();
    if (!number || *number > 0xFFFF) return "expected an item number from 0 to 65535";
    item.number = *number;
    std::string error;
    if (!reader.QuotedText(item.text, error)) return error;
    if (reader.AtEnd()) return "";
    if (reader.Word() != "tail") return "only \"tail\" may follow the text";
    while (!reader.AtEnd()) {
        const auto byte = HexByte(reader.Word());
        if (!byte) return "tail bytes are two hex digits each";
        item.tail.push_back(*byte);
    }
    return item.tail.empty() ? "\"tail\" needs at least one byte" : "";
}

void AppendUtf16Le(std::vector<std::byte>& out, char16_t unit) {
    out.push_back(static_cast<std::byte>(unit & 0xFF));
    out.push_back(static_cast<std::byte>(unit >> 8));
}

std::vector<std::byte> EncodeWide(const SourceItem& item, bool withMark) {
    std::vector<std::byte> out;
    if (withMark) AppendUtf16Le(out, 0xFEFF);
    for (char16_t unit : FromUtf8(item.text)) AppendUtf16Le(out, unit);
    AppendUtf16Le(out, 0);
    out.insert(out.end(), item.tail.begin(), item.tail.end());
    return out;
}

}  // namespace

ParseResult ParseSource(std::string_view source) {
    ParseResult result;
    int lineNumber = 0;
    while (!source.empty()) {
        const auto end = source.find('\n');
        std::string_view line = source.substr(0, end);
        source = end == std::string_view::npos ? std::string_view() : source.substr(end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;

        SourceItem item;
        item.line = lineNumber;
        if (const auto error = ParseLine(line, item); !error.empty()) {
            result.error = "line " + std::to_string(lineNumber) + ": " + error;
            result.items.clear();
            return result;
        }
        for (const auto& earlier : result.items) {
            if (earlier.number == item.number) {
                result.error = "line " + std::to_string(lineNumber) + ": item " + std::to_string(item.number) +
                               " already given on line " + std::to_string(earlier.line);
                result.items.clear();
                return result;
            }
        }
        result.items.push_back(std::move(item));
    }
    return result;
}

std::vector<std::byte> EncodeMessage(const SourceItem& item) { return EncodeWide(item, true); }

std::vector<std::byte> EncodeString(const SourceItem& item) { return EncodeWide(item, false); }

std::vector<std::byte> EncodeData(const SourceItem& item) {
    std::vector<std::byte> out;
    for (char c : item.text) out.push_back(static_cast<std::byte>(c));
    out.push_back(std::byte{0});
    out.insert(out.end(), item.tail.begin(), item.tail.end());
    return out;
}

}  // namespace qrv::pack
