#include <gtest/gtest.h>

#include "engine/Timing.h"
#include "platform/Text.h"

namespace qrv {
namespace {

TEST(TextConversion, NetworkBytesMapOneToOneAndBack) {
    const std::string bytes("QRV-K7\xE9\xFF", 8);
    const std::u16string wide = ToWide(bytes);
    ASSERT_EQ(wide.size(), 8u);
    EXPECT_EQ(wide[6], u'\u00E9');
    EXPECT_EQ(wide[7], u'\u00FF');
    EXPECT_EQ(ToNarrow(wide), bytes);
    EXPECT_EQ(ToNarrow(u"A\u20ACB"), "A?B");
}

TEST(TextConversion, Utf8RoundTripsIncludingSurrogatePairs) {
    const std::u16string text = u"Caf\u00E9 \u20AC \U0001F4F7";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(FromUtf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(FromUtf8("\xE2\x82"), u"\uFFFD\uFFFD");
}

TEST(TextConversion, StrictUtf8RefusesWhatIsNoUtf8) {
    struct Case {
        const char* what;
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"ASCII", "admin", true},
        {"two bytes", "\xC3\xA9", true},
        {"three bytes", "\xE2\x82\xAC", true},
        {"four bytes", "\xF0\x9F\x93\xB7", true},
        {"highest code point", "\xF4\x8F\xBF\xBF", true},
        {"overlong '/'", "\xC0\xAF", false},
        {"overlong NUL", "\xC0\x80", false},
        {"overlong three bytes", "\xE0\x80\xAF", false},
        {"overlong four bytes", "\xF0\x80\x80\xAF", false},
        {"high surrogate", "\xED\xA0\x80", false},
        {"low surrogate", "\xED\xBF\xBF", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"lone continuation", "\x80", false},
        {"cut short", "a\xE2\x82", false},
        {"Latin-1 byte", "caf\xE9", false},
        {"five-byte lead", "\xF8\x88\x80\x80\x80", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeUtf8(c.bytes).has_value(), c.valid) << c.what;
        // The lenient reading marks what the strict one refuses.
        EXPECT_EQ(FromUtf8(c.bytes).find(u'\uFFFD') == std::u16string::npos, c.valid) << c.what;
    }
    EXPECT_EQ(DecodeUtf8("\xF0\x9F\x93\xB7")->size(), 2u) << "a surrogate pair";
    EXPECT_EQ(Utf8SequenceLength("\xE2\x82\xAC!"), 3u);
    EXPECT_EQ(Utf8SequenceLength("\xED\xA0\x80"), 0u);
}

TEST(TextConversion, TerminalTextCannotDriveTheTerminal) {
    struct Case {
        std::u16string text;
        bool keepLineBreaks;
        std::string shown;
    };
    const Case cases[] = {
        {u"1000001\x1b[2J", false, "1000001?[2J"},
        {u"=cmd|\x1b[31mred\x07\b\x7f", false, "=cmd|?[31mred???"},
        {u"C1 \u009b2J", false, "C1 ?2J"},
        {u"line\u2028forged", false, "line?forged"},
        {u"two\r\nlines\n", false, "two??lines?"},
        {u"two\r\nlines\n", true, "two\nlines\n"},
        {u"bare\rreturn", true, "bare?return"},
        {u"tab\there", false, "tab?here"},
        {u"Caf\u00E9", false, "Caf\xC3\xA9"},
    };
    for (const Case& c : cases) EXPECT_EQ(TerminalSafe(c.text, c.keepLineBreaks), c.shown) << c.shown;
}

TEST(TimingScale, DurationsScaleCountsStay) {
    const Timing t = Timing::Production().Scaled(0.01);
    EXPECT_EQ(t.jobTick.count(), 10);
    EXPECT_EQ(t.rebootInquiryTimeout.count(), 600);
    EXPECT_EQ(t.schedulerTick.count(), 1) << "never below one millisecond";
    EXPECT_EQ(t.tickLimit, 600);
    EXPECT_EQ(t.restoreTries, 4);
    EXPECT_EQ(Timing::Production().inquiryTimeout.count(), 20000);
    // A whole transfer: 60 s plus its size at 8 kB/s, scaled like the rest.
    EXPECT_EQ(Timing::Production().TransferLimit(3'348'480).count(), 60000 + 418560);
    EXPECT_EQ(t.TransferLimit(3'348'480).count(), 600 + 4185);
    EXPECT_EQ(t.configSaveLimit.count(), 1200);
}

TEST(TimingScale, ParsesOnlyPositiveNumbers) {
    EXPECT_EQ(ParseTimeScale("0.01"), 0.01);
    EXPECT_EQ(ParseTimeScale("1"), 1.0);
    EXPECT_FALSE(ParseTimeScale("0"));
    EXPECT_FALSE(ParseTimeScale("-1"));
    EXPECT_FALSE(ParseTimeScale("fast"));
    EXPECT_FALSE(ParseTimeScale("0.5x"));
    EXPECT_FALSE(ParseTimeScale("inf"));
}

}  // namespace
}  // namespace qrv
