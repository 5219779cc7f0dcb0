#pragma once
// Reads the human-editable sources of the embedded texts (messages.txt,
// strings.txt, package.txt) and turns them into the stored item bytes.
//
// One item per line: its number, the text in double quotes (UTF-8 with the
// escapes \r \n \t \" \\), then optionally "tail" and hex bytes that are
// stored after the terminator. Blank lines and lines starting with # are
// skipped.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv::pack {

struct SourceItem {
    int number = 0;
    std::string text;               // UTF-8, escapes resolved
    std::vector<std::byte> tail;    // stored after the terminator
    int line = 0;                   // for messages about the item
};

struct ParseResult {
    std::vector<SourceItem> items;
    std::string error;  // "line N: ..." when the source does not parse
};

ParseResult ParseSource(std::string_view source);

// Byte-order mark, UTF-16LE text, NUL, tail: a message table item.
std::vector<std::byte> EncodeMessage(const SourceItem& item);
// UTF-16LE text, NUL, tail: a plain string table item.
std::vector<std::byte> EncodeString(const SourceItem& item);
// The text's bytes as they are (8-bit), a zero byte, tail: a data item.
std::vector<std::byte> EncodeData(const SourceItem& item);

}  // namespace qrv::pack
