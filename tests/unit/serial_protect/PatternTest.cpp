#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial_protect/Pattern.h"

namespace ns_serial_protect {
namespace {

// The message a pattern text is refused with; fails the test when it is accepted
// or refused with another exception type.
std::string PatternError(const std::string& definition) {
    try {
        PatternList list(definition);
    } catch (const Pattern::bad_pattern_def& e) {
        return e.what();
    }
    ADD_FAILURE() << "accepted: " << definition;
    return "<accepted>";
}

std::string CharacterMessage(char c) {
    return std::string("Character '") + c + "' is not allowed. Only \"0-9\" is supported.";
}

struct Refusal {
    std::string definition;
    std::string message;
};

TEST(PatternDefinition, EveryErrorCarriesItsMessage) {
    const std::vector<Refusal> cases = {
        {"^", ""},
        {"12^", ""},
        {"[1", "[1"},
        {"12[", "["},
        {"1[2,3;4]", "[2,3"},
        {"[1,2;3]", "[1,2"},
        {"^?", "Can not apply a '^' on a '?'."},
        {"^^1", "Can not apply a '^' on a '^'."},
        {"1-5", CharacterMessage('-')},
        {"1]", CharacterMessage(']')},
        {" 1", CharacterMessage(' ')},
        {"a", CharacterMessage('a')},
        {"[?]", CharacterMessage('?')},
        {"[1,x]", CharacterMessage('x')},
        {std::string("\xE9", 1), CharacterMessage('\xE9')},
        {"[]", "PEOptional::Build : Length error."},
        {"^[]", "PEOptional::Build : Length error."},
        {"[12]", "PEOptional::Build : bad content."},
        {"[^1]", "PEOptional::Build : bad content."},
        {"[1-23]", "PEOptional::Build : bad content."},
        {"[5-1]", "PERange::Build : bad range definition \"5-1\"."},
        {"[a-Z]", "PERange::Build : bad range definition \"a-Z\"."},
        {std::string("[0-\xFF]"), "PERange::Build : bad range definition \"0-\xFF\"."},
        // The first error in reading order wins.
        {"[a,12]", CharacterMessage('a')},
        {"1;x;^", CharacterMessage('x')},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PatternError(c.definition), c.message) << "definition: " << c.definition;
    }
}

TEST(PatternDefinition, ErrorTypesDeriveFromInvalidArgument) {
    EXPECT_THROW(Pattern("x"), std::invalid_argument);
    const char text[] = "x";
    const char* cursor = text;
    EXPECT_THROW(CreateElement(cursor, text + 1), PatternElement::bad_definition);
    static_assert(std::is_base_of_v<std::invalid_argument, PatternElement::bad_definition>);
    static_assert(std::is_base_of_v<std::invalid_argument, Pattern::bad_pattern_def>);
}

TEST(PatternDefinition, ElementsRefuseTextsTheReaderNeverHandsThem) {
    struct Case {
        std::unique_ptr<PatternElement> element;
        std::string text;
        std::string message;
    };
    std::vector<Case> cases;
    cases.push_back({std::make_unique<PEExact>(), "12", "PEExact::Build : Length error."});
    cases.push_back({std::make_unique<PEExact>(), "", "PEExact::Build : Length error."});
    cases.push_back({std::make_unique<PEAny>(), "??", "PEAny::Build : Length error."});
    cases.push_back({std::make_unique<PERange>(), "1-", "PERange::Build : Length error."});
    cases.push_back({std::make_unique<PENot>(), "^12", "PENot::Build : Extra definitions."});
    cases.push_back({std::make_unique<PENot>(), "^", ""});
    cases.push_back({std::make_unique<PENot>(), "", ""});
    cases.push_back({std::make_unique<PENot>(), "^?", "Can not apply a '^' on a '?'."});
    cases.push_back({std::make_unique<PENot>(), "^^1", "Can not apply a '^' on a '^'."});
    cases.push_back({std::make_unique<PEOptional>(), "[1", "PEOptional::Build : Length error."});
    for (auto& c : cases) {
        try {
            c.element->Build(c.text.data(), c.text.data() + c.text.size());
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const PatternElement::bad_definition& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << "text: " << c.text;
        }
    }
}

TEST(PatternDefinition, ReaderStepsOneTokenAtATime) {
    const std::string text = "^[1-3,5]?7";
    const char* cursor = text.data();
    const char* end = cursor + text.size();
    EXPECT_EQ(NextElementKind(cursor, end), ElementKind::Not);
    EXPECT_EQ(cursor - text.data(), 1);
    EXPECT_EQ(NextElementKind(cursor, end), ElementKind::Optional);
    EXPECT_EQ(cursor - text.data(), 8);
    EXPECT_EQ(NextElementKind(cursor, end), ElementKind::Any);
    EXPECT_EQ(NextElementKind(cursor, end), ElementKind::Exact);
    EXPECT_EQ(cursor, end);

    cursor = text.data();
    auto negation = CreateElement(cursor, end);  // the "^" takes its group along
    EXPECT_EQ(cursor - text.data(), 8);
    EXPECT_TRUE(negation->Match('4'));
    EXPECT_FALSE(negation->Match('2'));
}

TEST(PatternDefinition, SplittingDropsEmptyPieces) {
    std::vector<std::string_view> pieces = {"stale"};
    EXPECT_EQ(SplitDefinition(";;12;;3?;", ';', pieces), 2u);
    EXPECT_EQ(pieces, (std::vector<std::string_view>{"12", "3?"}));
    EXPECT_EQ(SplitDefinition(";", ';', pieces), 0u);
    EXPECT_TRUE(pieces.empty());
    EXPECT_EQ(SplitDefinition("a,b", ';', pieces), 1u);
    EXPECT_EQ(pieces.front(), "a,b");

    EXPECT_EQ(PatternList("1;;2").PatternCount(), 2u);
    EXPECT_EQ(PatternList(";1;2;").PatternCount(), 2u);
    EXPECT_TRUE(PatternList(";1;2;").Match("2"));
}

struct MatchCase {
    std::string definition;
    std::string serial;
    bool matches;
};

void ExpectMatches(const std::vector<MatchCase>& cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(PatternList(c.definition).Match(c.serial), c.matches)
            << "definition: " << c.definition << " serial: " << c.serial;
    }
}

TEST(PatternMatching, SerialMustHaveOneCharacterPerElement) {
    ExpectMatches({
        {"12?4", "1234", true},
        {"12?4", "12X4", true},
        {"12?4", "124", false},
        {"12?4", "12345", false},
        {"12?4", "1324", false},
        {"12?[0-4,7]^9", "12x78", true},
        {"12?[0-4,7]^9", "12x3a", true},
        {"12?[0-4,7]^9", "12x59", false},
        {"12?[0-4,7]^9", "12x79", false},
        {"1;22", "22", true},
        {"1;22", "2", false},
    });
    EXPECT_TRUE(Pattern("").Match(""));
    EXPECT_FALSE(Pattern("").Match("1"));
    EXPECT_EQ(Pattern("12?[0-4,7]^9").ElementCount(), 5u);
}

TEST(PatternMatching, GroupsRangesAndNegations) {
    ExpectMatches({
        {"[1x5]", "3", true},  // the middle of a range is not examined
        {"[1x5]", "6", false},
        {"[a-z]", "q", true},
        {"[a-z]", "Q", false},  // case-sensitive
        {"[3,1-2]", "2", true},
        {"[3,1-2]", "4", false},
        {"[,]", "1", false},  // an empty group matches no character
        {"[,]", "", false},
        {"^5", "a", true},
        {"^5", "5", false},
        {"^[1-3]", "4", true},
        {"^[1-3]", "2", false},
        {"^[,]", "x", true},
        {"1^0", "11", true},
    });
}

TEST(PatternMatching, BytesAboveSevenBitSortBelowDigits) {
    ExpectMatches({
        {"[\x80-0]", "\xFF", true},
        {"[\x80-0]", "/", true},
        {"[\x80-0]", "0", true},
        {"[\x80-0]", "1", false},
        {"[\x80-\xFF]", "\xC0", true},
        {"[\x80-\xFF]", "A", false},
        {"^5", "\xE9", true},
    });
}

TEST(PatternMatching, EmptyListMatchesNothing) {
    ExpectMatches({{";", "", false}, {";", "1", false}, {";;;", "", false}});
}

}  // namespace
}  // namespace ns_serial_protect
