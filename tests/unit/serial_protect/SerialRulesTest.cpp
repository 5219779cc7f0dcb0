#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "serial_protect/SerialRules.h"

namespace ns_serial_protect {
namespace {

// Every test leaves the built-in rule set in force for the next one.
class ProgramRules : public ::testing::Test {
protected:
    void TearDown() override { InitSerialRules(kBuiltInOrder, kBuiltInAllow, kBuiltInDeny); }
};

TEST_F(ProgramRules, BuiltInSetAllowsEverySerial) {
    InitSerialRules();
    EXPECT_TRUE(IsSerialAllowed(u""));
    EXPECT_TRUE(IsSerialAllowed(u"1234567"));
    EXPECT_TRUE(IsSerialAllowed(u"not a serial \u20AC"));
}

TEST_F(ProgramRules, InstalledSetDecidesAndSurvivesStartUp) {
    InitSerialRules("allow,deny", "all", "1234567");
    InitSerialRules();  // the wizard's start-up keeps what a test installed
    EXPECT_FALSE(IsSerialAllowed(u"1234567"));
    EXPECT_TRUE(IsSerialAllowed(u"1234568"));
}

TEST_F(ProgramRules, BadDefinitionKeepsTheCurrentSet) {
    InitSerialRules("allow,deny", "1", "none");
    EXPECT_THROW(InitSerialRules("allow,deny", "x", "none"),
                 SerialProtect::bad_serial_protect_def);
    EXPECT_THROW(InitSerialRules("deny,allow", "all", ""), SerialProtect::bad_serial_protect_def);
    EXPECT_TRUE(IsSerialAllowed(u"1"));
    EXPECT_FALSE(IsSerialAllowed(u"2"));
}

TEST_F(ProgramRules, WideSerialBecomesOneByteACharacter) {
    InitSerialRules("allow,deny", "1[?-?];2[\xE9-\xE9]", "none");
    EXPECT_TRUE(IsSerialAllowed(u"1\u20AC"));  // no 8-bit form: '?'
    EXPECT_TRUE(IsSerialAllowed(u"1\u0100"));  // not cut down to its low byte
    EXPECT_TRUE(IsSerialAllowed(u"1?"));
    EXPECT_TRUE(IsSerialAllowed(u"2\u00E9"));
    EXPECT_FALSE(IsSerialAllowed(u"2\u01E9"));
    EXPECT_FALSE(IsSerialAllowed(u"1\U0001F4F7"));  // two UTF-16 units: two characters
    EXPECT_FALSE(IsSerialAllowed(std::u16string_view(u"1\0", 2)));
}

// The discovery receiver asks while the user-interface thread may install a new
// set; every answer must come from one whole rule set.
TEST_F(ProgramRules, ReadersAndReplacementRunTogether) {
    // Both sets allow "0" and refuse "9"; they differ on "1" and "2".
    InitSerialRules("allow,deny", "0;2", "none");
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::jthread reader([&] {
        while (!stop.load()) {
            if (!IsSerialAllowed(u"0") || IsSerialAllowed(u"9")) ++wrong;
        }
    });
    std::jthread secondReader([&] {
        while (!stop.load()) {
            if (!IsSerialAllowed(u"0")) ++wrong;
        }
    });
    for (int i = 0; i < 500; ++i) {
        InitSerialRules("allow,deny", i % 2 ? "[0-1]" : "0;2", "none");
    }
    stop = true;
    reader.join();
    secondReader.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace ns_serial_protect
