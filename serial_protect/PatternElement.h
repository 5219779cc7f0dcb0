#pragma once
// The elements of a serial pattern: each accepts exactly one character of a
// serial. Characters compare as signed 8-bit values, so a byte above 0x7F
// sorts below "0"; comparison is exact and case-sensitive.

#include <memory>
#include <optional>
#include <cstddef>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace ns_serial_protect {

class PatternElement {
public:
    // Thrown by the element reader and by every Build; what() is the message.
    class bad_definition : public std::invalid_argument {
    public:
        using std::invalid_argument::invalid_argument;
    };

    PatternElement() = default;
    PatternElement(const PatternElement&) = delete;
    PatternElement& operator=(const PatternElement&) = delete;
    virtual ~PatternElement() = default;

    virtual bool Match(char c) const = 0;
    // Fills the element from its own token text [begin, end). On a throw the
    // element keeps what it held before.
    virtual void Build(const char* begin, const char* end) = 0;
};

// One digit "0" to "9".
class PEExact : public PatternElement {
public:
    bool Match(char c) const override;
    void Build(const char* begin, const char* end) override;

private:
    std::optional<char> character_;  // empty until built: matches nothing
};

// "^" and one digit or bracket group: any character the inner element refuses.
class PENot : public PatternElement {
public:
    bool Match(char c) const override;
    void Build(const char* begin, const char* end) override;

private:
    std::unique_ptr<PatternElement> inner_;  // a PEExact or a PEOptional once built
};

// "?": any character.
class PEAny : public PatternElement {
public:
    bool Match(char c) const override;
    void Build(const char* begin, const char* end) override;
};

// "[...]": one of the listed digits or ranges, separated by ",". An empty list
// (as in "[,]") matches nothing.
class PEOptional : public PatternElement {
public:
    bool Match(char c) const override;
    void Build(const char* begin, const char* end) override;

private:
    std::vector<std::unique_ptr<PatternElement>> items_;  // PEExact or PERange
};

// "a-b" inside a bracket group: a character from a to b, both included. The
// middle character is not examined and the bounds may be any characters.
class PERange : public PatternElement {
public:
    bool Match(char c) const override;
    void Build(const char* begin, const char* end) override;

private:
    // Until built the bounds are crossed, so nothing matches.
    signed char lower_ = 1;
    signed char upper_ = 0;
};

// Clears the pieces, then appends the non-empty pieces of the text between
// separators, in order, and returns their number. The pieces view the text.
std::size_t SplitDefinition(std::string_view text, char separator,
                            std::vector<std::string_view>& pieces);

enum class ElementKind { Exact, Not, Any, Optional };

// Returns the kind of the token at the cursor and moves the cursor past that
// one token ("^" alone for a negation). Throws PatternElement::bad_definition
// with an empty message at the end of the text, and with the text from the
// "[" to the end when a bracket group is not closed.
ElementKind NextElementKind(const char*& cursor, const char* end);

// Reads one token at the cursor, builds its element and moves the cursor past
// the token. Throws PatternElement::bad_definition; nothing is left behind.
std::unique_ptr<PatternElement> CreateElement(const char*& cursor, const char* end);

}  // namespace ns_serial_protect
