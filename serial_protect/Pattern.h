#pragma once
// A serial pattern and a list of them. A pattern matches a serial of exactly as
// many characters as it has elements, each accepted by the element in its
// place; a list matches when one of its patterns does. Built once, read only.

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "serial_protect/PatternElement.h"

namespace ns_serial_protect {

class Pattern {
public:
    // Carries the message of the element error that stopped the reading.
    class bad_pattern_def : public std::invalid_argument {
    public:
        using std::invalid_argument::invalid_argument;
    };

    // Reads the elements of one pattern text, such as "12?[0-4,7]^9".
    explicit Pattern(std::string_view definition);

    bool Match(std::string_view serial) const;
    std::size_t ElementCount() const { return elements_.size(); }

private:
    std::vector<std::unique_ptr<PatternElement>> elements_;
};

class PatternList {
public:
    // Splits the text on ";" (empty pieces dropped) and reads one pattern per
    // piece; passes Pattern::bad_pattern_def on unchanged.
    explicit PatternList(std::string_view definition);

    bool Match(std::string_view serial) const;
    std::size_t PatternCount() const { return patterns_.size(); }

private:
    std::vector<Pattern> patterns_;
};

}  // namespace ns_serial_protect
