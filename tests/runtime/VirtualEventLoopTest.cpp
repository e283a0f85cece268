// Timer semantics of the virtual loop.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/VirtualEventLoop.h"

using ostrel::runtime::Timer;
using ostrel::runtime::VirtualEventLoop;

TEST(VirtualEventLoop, FirstTickOneIntervalAfterEnabling) {
    VirtualEventLoop loop;
    std::vector<int64_t> ticks;
    Timer t(loop, 100, false);
    t.setHandler([&] { ticks.push_back(loop.now()); });
    loop.advance(50);
    t.setEnabled(true);
    loop.advance(260);
    EXPECT_EQ(ticks, (std::vector<int64_t>{150, 250}));
}
