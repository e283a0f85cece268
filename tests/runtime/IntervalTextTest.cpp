// The interval text rule of the step-period boxes, and timers keeping their interval on bad text.
#include <gtest/gtest.h>

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
