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

TEST(TimingScale, DurationsScaleCountsStay) {
    const Timing t = Timing::Production().Scaled(0.01);
    EXPECT_EQ(t.jobTick.count(), 10);
    EXPECT_EQ(t.rebootInquiryTimeout.count(), 600);
    EXPECT_EQ(t.schedulerTick.count(), 1) << "never below one millisecond";
    EXPECT_EQ(t.tickLimit, 600);
    EXPECT_EQ(t.restoreTries, 4);
    EXPECT_EQ(Timing::Production().inquiryTimeout.count(), 20000);
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
