// The interval text rule of the step-period boxes, and timers keeping their interval on bad text.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "runtime/VirtualEventLoop.h"

using ostrel::runtime::parseIntervalText;
using ostrel::runtime::Timer;
using ostrel::runtime::VirtualEventLoop;

TEST(ParseIntervalText, Table) {
    struct Case {
        const char* text;
        int ms;  // -1: gives no interval
    };
    const Case cases[] = {
        {"", -1},         {"   ", -1},        {"abc", -1},     {"12abc", -1}, {"ms", -1},
        {"0", -1},        {"-5", -1},         {"-0", -1},      {"70000", -1}, {"65536", -1},
        {"65535", 65535}, {"1", 1},           {"64", 64},      {" 64 ", 64},  {"\t64\t", 64},
        {"+7", 7},        {"10.5", 10},       {"11.5", 12},    {"0.5", -1},   {"0.6", 1},
        {"1.4", 1},       {"65535.4", 65535}, {"65535.5", -1}, {"1e3", -1},   {"0x10", -1},
        {".", -1},        {"1.2.3", -1},      {"5-", -1},      {"6 4", -1},   {"007", 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseIntervalText(c.text), c.ms) << "text '" << c.text << "'";
    }
}

TEST(ParseIntervalText, OverlongTextGivesNoInterval) {
    EXPECT_EQ(parseIntervalText(std::string(40, '0') + "5"), -1);
}

// Qt sets the C library's locale from the environment; a locale whose decimal mark is a comma
// must not change what an operator's "1.5" means.
TEST(ParseIntervalText, TheDecimalPointHoldsUnderACommaLocale) {
    struct Restore {
        std::string name = std::setlocale(LC_ALL, nullptr);
        ~Restore() { std::setlocale(LC_ALL, name.c_str()); }
    } restore;
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_ALL, name)) {
            comma = name;
            break;
        }
    }
    if (!comma) {
        GTEST_SKIP() << "no comma locale is installed (generate de_DE.UTF-8 with locale-gen)";
    }
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << comma;
    const struct {
        const char* text;
        int ms;
    } cases[] = {{"1.5", 2}, {"0.9", 1}, {"2.5", 2}, {"10.6", 11}, {"1,5", -1}, {"65535.4", 65535}};
    for (const auto& c : cases)
        EXPECT_EQ(parseIntervalText(c.text), c.ms) << c.text << " in " << comma;
}

TEST(TimerIntervalText, InvalidTextKeepsThePreviousInterval) {
    VirtualEventLoop loop;
    Timer t(loop, 100, false);
    EXPECT_TRUE(t.setIntervalText(" 250 "));
    EXPECT_EQ(t.Interval(), 250);
    for (const char* bad : {"", "abc", "0", "-5", "70000", "1e3"}) {
        EXPECT_FALSE(t.setIntervalText(bad)) << bad;
        EXPECT_EQ(t.Interval(), 250) << bad;
    }
}

TEST(TimerIntervalText, InvalidTextLeavesTheScheduleAlone) {
    VirtualEventLoop loop;
    Timer t(loop, 100, true);
    int ticks = 0;
    t.setHandler([&] { ++ticks; });
    loop.advance(60);
    EXPECT_FALSE(t.setIntervalText("x"));
    EXPECT_TRUE(t.setIntervalText("100"));  // same interval: the countdown goes on
    loop.advance(40);
    EXPECT_EQ(ticks, 1);
    EXPECT_TRUE(t.setIntervalText("30"));  // a new interval counts from now
    loop.advance(29);
    EXPECT_EQ(ticks, 1);
    loop.advance(1);
    EXPECT_EQ(ticks, 2);
}
