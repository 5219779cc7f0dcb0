#include "platform/Text.h"

namespace qrv {

std::u16string ToWide(std::string_view narrow) {
    std::u16string wide;
    wide.reserve(narrow.size());
    for (char c : narrow) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

std::string ToNarrow(std::u16string_view wide) {
    std::string narrow;
    narrow.reserve(wide.size());
    for (char16_t c : wide) narrow.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return narrow;
}

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

}  // namespace

std::string ToUtf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

namespace {

// One UTF-8 sequence at `at`: its code point and length, or nothing when it
// is malformed, overlong, a surrogate or beyond U+10FFFF.
struct Decoded {
    char32_t cp;
    std::size_t length;
};
std::optional<Decoded> DecodeOne(std::string_view utf8, std::size_t at) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) return Decoded{lead, 1};
    const int extra = (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || at + extra >= utf8.size()) return std::nullopt;
    char32_t cp = lead & (0x7F >> (extra + 1));
    for (int k = 1; k <= extra; ++k) {
        const auto cont = static_cast<unsigned char>(utf8[at + k]);
        if ((cont & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (cont & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return Decoded{cp, static_cast<std::size_t>(extra) + 1};
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text) {
    if (text.empty()) return 0;
    const std::optional<Decoded> one = DecodeOne(text, 0);
    return one ? one->length : 0;
}

std::optional<std::u16string> DecodeUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::optional<Decoded> one = DecodeOne(utf8, i);
        if (!one) return std::nullopt;
        AppendUtf16(out, one->cp);
        i += one->length;
    }
    return out;
}

std::u16string FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::optional<Decoded> one = DecodeOne(utf8, i);
        AppendUtf16(out, one ? one->cp : 0xFFFD);
        i += one ? one->length : 1;
    }
    return out;
}

std::string TerminalSafe(std::u16string_view text, bool keepLineBreaks) {
    std::u16string safe;
    safe.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (keepLineBreaks && c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
        safe.push_back(control && !(keepLineBreaks && c == u'\n') ? u'?' : c);
    }
    return ToUtf8(safe);
}

void Wipe(std::string& secret) {
    // Through a volatile pointer, so the stores are not dropped as dead.
    volatile char* bytes = secret.data();
    for (std::size_t i = 0; i < secret.size(); ++i) bytes[i] = '\0';
    secret.clear();
}

}  // namespace qrv
