#include "serial_protect/Pattern.h"

#include <algorithm>

namespace ns_serial_protect {

Pattern::Pattern(std::string_view definition) {
    const char* cursor = definition.data();
    const char* end = cursor + definition.size();
    try {
        while (cursor != end) elements_.push_back(CreateElement(cursor, end));
    } catch (const PatternElement::bad_definition& e) {
        throw bad_pattern_def(e.what());
    }
}

bool Pattern::Match(std::string_view serial) const {
    if (serial.size() != elements_.size()) return false;
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        if (!elements_[i]->Match(serial[i])) return false;
    }
    return true;
}

PatternList::PatternList(std::string_view definition) {
    std::vector<std::string_view> pieces;
    SplitDefinition(definition, ';', pieces);
    patterns_.reserve(pieces.size());
    for (std::string_view piece : pieces) patterns_.emplace_back(piece);
}

bool PatternList::Match(std::string_view serial) const {
    return std::any_of(patterns_.begin(), patterns_.end(),
                       [serial](const Pattern& p) { return p.Match(serial); });
}

}  // namespace ns_serial_protect
