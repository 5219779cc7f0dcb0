#include "serial_protect/PatternElement.h"

#include <algorithm>
#include <string>

namespace ns_serial_protect {

namespace {

using bad_definition = PatternElement::bad_definition;

// Characters order as signed 8-bit values whatever the platform's char is.
signed char Signed(char c) { return static_cast<signed char>(c); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void CheckDigit(char c) {
    if (!IsDigit(c)) {
        throw bad_definition("Character '" + std::string(1, c) +
                             "' is not allowed. Only \"0-9\" is supported.");
    }
}

template <typename Element>
std::unique_ptr<PatternElement> MakeBuilt(const char* begin, const char* end) {
    auto element = std::make_unique<Element>();
    element->Build(begin, end);
    return element;
}

}  // namespace

std::size_t SplitDefinition(std::string_view text, char separator,
                            std::vector<std::string_view>& pieces) {
    pieces.clear();
    std::size_t p = 0;
    while (p < text.size()) {
        if (text[p] == separator) {
            ++p;
            continue;
        }
        std::size_t next = text.find(separator, p + 1);
        if (next == std::string_view::npos) next = text.size();
        pieces.push_back(text.substr(p, next - p));
        p = next;
    }
    return pieces.size();
}

bool PEExact::Match(char c) const { return character_ && *character_ == c; }

void PEExact::Build(const char* begin, const char* end) {
    if (end - begin != 1) throw bad_definition("PEExact::Build : Length error.");
    CheckDigit(*begin);
    character_ = *begin;
}

bool PENot::Match(char c) const { return inner_ && !inner_->Match(c); }

void PENot::Build(const char* begin, const char* end) {
    // An empty range has no "^" to skip; it reads as a "^" with nothing after it.
    if (begin == end) throw bad_definition("");
    const char* cursor = begin + 1;
    // The reader refuses these before it gets here; checked again so that a
    // negation only ever holds a digit or a bracket group.
    if (cursor != end && *cursor == '?') throw bad_definition("Can not apply a '^' on a '?'.");
    if (cursor != end && *cursor == '^') throw bad_definition("Can not apply a '^' on a '^'.");
    auto inner = CreateElement(cursor, end);
    if (cursor != end) throw bad_definition("PENot::Build : Extra definitions.");
    inner_ = std::move(inner);
}

bool PEAny::Match(char) const { return true; }

void PEAny::Build(const char* begin, const char* end) {
    if (end - begin != 1) throw bad_definition("PEAny::Build : Length error.");
}

bool PEOptional::Match(char c) const {
    return std::any_of(items_.begin(), items_.end(),
                       [c](const auto& item) { return item->Match(c); });
}

void PEOptional::Build(const char* begin, const char* end) {
    if (end - begin < 3) throw bad_definition("PEOptional::Build : Length error.");
    // The first and last characters are the brackets.
    std::vector<std::string_view> texts;
    SplitDefinition(std::string_view(begin + 1, static_cast<std::size_t>(end - begin - 2)), ',',
                    texts);
    std::vector<std::unique_ptr<PatternElement>> items;
    for (std::string_view text : texts) {
        const char* first = text.data();
        const char* last = first + text.size();
        if (text.size() == 1) {
            items.push_back(MakeBuilt<PEExact>(first, last));
        } else if (text.size() == 3) {
            items.push_back(MakeBuilt<PERange>(first, last));
        } else {
            throw bad_definition("PEOptional::Build : bad content.");
        }
    }
    items_ = std::move(items);
}

bool PERange::Match(char c) const { return lower_ <= Signed(c) && Signed(c) <= upper_; }

void PERange::Build(const char* begin, const char* end) {
    if (end - begin != 3) throw bad_definition("PERange::Build : Length error.");
    if (Signed(begin[2]) < Signed(begin[0])) {
        throw bad_definition("PERange::Build : bad range definition \"" +
                             std::string(begin, end) + "\".");
    }
    lower_ = Signed(begin[0]);
    upper_ = Signed(begin[2]);
}

ElementKind NextElementKind(const char*& cursor, const char* end) {
    if (cursor == end) throw bad_definition("");
    const char* start = cursor;
    switch (*cursor++) {
        case '?':
            return ElementKind::Any;
        case '^':
            return ElementKind::Not;
        case '[': {
            const char* close = std::find(cursor, end, ']');
            if (close == end) throw bad_definition(std::string(start, end));
            cursor = close + 1;
            return ElementKind::Optional;
        }
        default:
            return ElementKind::Exact;
    }
}

std::unique_ptr<PatternElement> CreateElement(const char*& cursor, const char* end) {
    if (cursor == end) throw bad_definition("");
    const char* start = cursor;
    switch (NextElementKind(cursor, end)) {
        case ElementKind::Exact:
            return MakeBuilt<PEExact>(start, cursor);
        case ElementKind::Any:
            return MakeBuilt<PEAny>(start, cursor);
        case ElementKind::Optional:
            return MakeBuilt<PEOptional>(start, cursor);
        case ElementKind::Not:
            break;
    }
    // A negation covers the "^" and the one token after it.
    switch (NextElementKind(cursor, end)) {
        case ElementKind::Any:
            throw bad_definition("Can not apply a '^' on a '?'.");
        case ElementKind::Not:
            throw bad_definition("Can not apply a '^' on a '^'.");
        default:
            return MakeBuilt<PENot>(start, cursor);
    }
}

}  // namespace ns_serial_protect
