#include "resources/MessageTable.h"

namespace qrv {

namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr int kLookupFailureCaption = 123;
constexpr int kLookupFailureText = 124;

// UTF-16LE code units from `bytes[from..]` up to the first NUL; a stray odd
// byte at the end is ignored, and an item without a NUL ends with its bytes.
std::u16string DecodeUtf16Le(ResourceBytes bytes, std::size_t from) {
    std::u16string text;
    for (std::size_t at = from; at + 1 < bytes.size(); at += 2) {
        const auto unit = static_cast<char16_t>(std::to_integer<unsigned>(bytes[at]) |
                                                (std::to_integer<unsigned>(bytes[at + 1]) << 8));
        if (unit == u'\0') break;
        text.push_back(unit);
    }
    return text;
}

bool StartsWithByteOrderMark(ResourceBytes bytes) {
    return bytes.size() >= 2 && std::to_integer<unsigned>(bytes[0]) == (kByteOrderMark & 0xFF) &&
           std::to_integer<unsigned>(bytes[1]) == (kByteOrderMark >> 8);
}

}  // namespace

MessageTable::MessageTable(const ResourcePack& pack) : pack_(pack) {}

std::optional<std::u16string> MessageTable::Lookup(int number, OwnerPort* owner) const {
    const auto item = pack_.Find(ResourceType::Bin, number);
    if (!item) {
        if (owner != nullptr) {
            MessageBox box;
            box.text = LoadString(kLookupFailureText, pack_).value_or(u"Not found the upgrade file. ");
            box.caption = LoadString(kLookupFailureCaption, pack_).value_or(u"Error");
            owner->ShowMessageBox(box);
        }
        return std::nullopt;
    }
    // Every stored text starts with the mark; an item without one keeps its
    // first character rather than losing it.
    return DecodeUtf16Le(*item, StartsWithByteOrderMark(*item) ? 2 : 0);
}

std::u16string MessageTable::Text(int number, OwnerPort* owner) const {
    return Lookup(number, owner).value_or(std::u16string());
}

std::optional<std::u16string> LoadString(int number, const ResourcePack& pack) {
    const auto item = pack.Find(ResourceType::String, number);
    if (!item) return std::nullopt;
    return DecodeUtf16Le(*item, 0);
}

}  // namespace qrv
