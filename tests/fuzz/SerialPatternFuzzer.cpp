// Feeds arbitrary text to the serial pattern reader and to every element's
// Build. Input: a definition, optionally followed by "\n" and a serial to match.
// Besides crashes, leaks and undefined behaviour, it traps when a list and its
// patterns disagree or a pattern matches a serial of the wrong length.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "serial_protect/Pattern.h"

namespace ns_serial_protect {
namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

template <typename Element>
void BuildAlone(std::string_view text, std::string_view serial) {
    Element element;
    try {
        element.Build(text.data(), text.data() + text.size());
    } catch (const PatternElement::bad_definition&) {
    }
    for (char c : serial) (void)element.Match(c);  // built or not, Match is safe
}

void ReadList(std::string_view definition, std::string_view serial) {
    std::unique_ptr<PatternList> list;
    try {
        list = std::make_unique<PatternList>(definition);
    } catch (const Pattern::bad_pattern_def&) {
        return;
    }
    std::vector<std::string_view> pieces;
    Check(SplitDefinition(definition, ';', pieces) == list->PatternCount());
    bool some = false;
    for (std::string_view piece : pieces) {
        const Pattern pattern(piece);  // read fine inside the list, so fine alone
        const bool matches = pattern.Match(serial);
        Check(!matches || serial.size() == pattern.ElementCount());
        some = some || matches;
    }
    Check(list->Match(serial) == some);
}

}  // namespace
}  // namespace ns_serial_protect

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ns_serial_protect;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view definition = input.substr(0, newline);
    const std::string_view serial =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    ReadList(definition, serial);
    try {
        (void)Pattern(definition).Match(serial);
    } catch (const Pattern::bad_pattern_def&) {
    }
    BuildAlone<PEExact>(definition, serial);
    BuildAlone<PENot>(definition, serial);
    BuildAlone<PEAny>(definition, serial);
    BuildAlone<PEOptional>(definition, serial);
    BuildAlone<PERange>(definition, serial);
    return 0;
}
