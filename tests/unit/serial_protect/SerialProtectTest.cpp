#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial_protect/SerialProtect.h"

namespace ns_serial_protect {
namespace {

struct Definition {
    std::string order;
    std::string allow;
    std::string deny;
};

std::string RuleError(const Definition& d) {
    try {
        SerialProtect rules(d.order, d.allow, d.deny);
    } catch (const SerialProtect::bad_serial_protect_def& e) {
        return e.what();
    }
    ADD_FAILURE() << "accepted: " << d.order << " | " << d.allow << " | " << d.deny;
    return "<accepted>";
}

std::string OrderMessage(const std::string& order) {
    return "Bad 'order' definition:" + order + " MUST be:\"allow,deny\" or \"deny,allow\".";
}

TEST(SerialRuleDefinition, EveryErrorCarriesItsMessage) {
    const std::string letterA = "Character 'A' is not allowed. Only \"0-9\" is supported.";
    const std::vector<std::pair<Definition, std::string>> cases = {
        {{"Allow,Deny", "all", "none"}, OrderMessage("Allow,Deny")},
        {{"allow, deny", "all", "none"}, OrderMessage("allow, deny")},
        {{"", "all", "none"}, OrderMessage("")},
        {{"allow,deny", "", "none"}, "Bad 'allow' definition: Empty!"},
        {{"deny,allow", "all", ""}, "Bad 'deny' definition: Empty!"},
        {{"allow,deny", "ALL", "none"}, "Bad \"allow\" definition. " + letterA},
        {{"allow,deny", "all", "[5-1]"},
         "Bad \"deny\" definition. PERange::Build : bad range definition \"5-1\"."},
        {{"allow,deny", "12^", "none"}, "Bad \"allow\" definition. "},  // blank kept
        {{"deny,allow", "123;[1", "none"}, "Bad \"allow\" definition. [1"},
        // Checks run in a fixed order; the first failure is the one reported.
        {{"x", "", ""}, OrderMessage("x")},
        {{"allow,deny", "", ""}, "Bad 'allow' definition: Empty!"},
        {{"allow,deny", "A", ""}, "Bad 'deny' definition: Empty!"},
        {{"allow,deny", "A", "B"}, "Bad \"allow\" definition. " + letterA},
        {{"allow,deny", "1", "^?"}, "Bad \"deny\" definition. Can not apply a '^' on a '?'."},
    };
    for (const auto& [definition, message] : cases) {
        EXPECT_EQ(RuleError(definition), message)
            << definition.order << " | " << definition.allow << " | " << definition.deny;
    }
    static_assert(
        std::is_base_of_v<std::invalid_argument, SerialProtect::bad_serial_protect_def>);
}

// Serial "4" is on neither side, "3" only denied, "1" only allowed, "2" on both.
TEST(SerialRuleEvaluation, AllowDenyTableInBothOrders) {
    const SerialProtect allowFirst("allow,deny", "[1-2]", "[2-3]");
    const SerialProtect denyFirst("deny,allow", "[1-2]", "[2-3]");
    EXPECT_FALSE(allowFirst.IsAllowed("4"));
    EXPECT_FALSE(allowFirst.IsAllowed("3"));
    EXPECT_TRUE(allowFirst.IsAllowed("1"));
    EXPECT_FALSE(allowFirst.IsAllowed("2"));
    EXPECT_TRUE(denyFirst.IsAllowed("4"));
    EXPECT_FALSE(denyFirst.IsAllowed("3"));
    EXPECT_TRUE(denyFirst.IsAllowed("1"));
    EXPECT_TRUE(denyFirst.IsAllowed("2"));
}

TEST(SerialRuleEvaluation, KeywordsCoverEverySerial) {
    for (const std::string serial : {"", "1234567", "anything at all"}) {
        EXPECT_TRUE(SerialProtect("allow,deny", "all", "none").IsAllowed(serial));
        EXPECT_FALSE(SerialProtect("allow,deny", "all", "all").IsAllowed(serial));
        EXPECT_TRUE(SerialProtect("deny,allow", "all", "all").IsAllowed(serial));
        EXPECT_FALSE(SerialProtect("allow,deny", "none", "none").IsAllowed(serial));
        EXPECT_TRUE(SerialProtect("deny,allow", "none", "none").IsAllowed(serial));
        EXPECT_FALSE(SerialProtect("deny,allow", "none", "all").IsAllowed(serial));
        // A side of separators only is an empty list: it matches nothing.
        EXPECT_FALSE(SerialProtect("allow,deny", ";", "none").IsAllowed(serial));
        EXPECT_TRUE(SerialProtect("deny,allow", "none", ";;").IsAllowed(serial));
    }
}

TEST(SerialRuleEvaluation, PatternsOnBothSides) {
    const SerialProtect allowFirst("allow,deny", "1234567", "123456?");
    EXPECT_FALSE(allowFirst.IsAllowed("1234567"));
    EXPECT_FALSE(allowFirst.IsAllowed("1234568"));
    EXPECT_FALSE(allowFirst.IsAllowed("7654321"));

    const SerialProtect denyFirst("deny,allow", "1234567", "123456?");
    EXPECT_TRUE(denyFirst.IsAllowed("1234567"));
    EXPECT_FALSE(denyFirst.IsAllowed("1234568"));
    EXPECT_TRUE(denyFirst.IsAllowed("7654321"));
    EXPECT_TRUE(denyFirst.IsAllowed("123456"));

    const SerialProtect batch("allow,deny", "10[0-4]????;2000000", "1012345");
    EXPECT_TRUE(batch.IsAllowed("1049999"));
    EXPECT_TRUE(batch.IsAllowed("2000000"));
    EXPECT_FALSE(batch.IsAllowed("1012345"));
    EXPECT_FALSE(batch.IsAllowed("1050000"));
}

}  // namespace
}  // namespace ns_serial_protect
