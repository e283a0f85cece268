// Timer handles and the interval text rule shared by both event loops.
#include "runtime/EventLoop.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace ostrel::runtime {

HookId EventLoop::addAfterDispatch(std::function<void()> hook) {
    const HookId id = nextHookId_++;
    hooks_.push_back({id, std::move(hook)});
    return id;
}

void EventLoop::removeAfterDispatch(HookId id) {
    for (auto it = hooks_.begin(); it != hooks_.end(); ++it) {
        if (it->id != id) continue;
        // NOTE: while hooks are being called the entry stays (emptied), so that the loop over
        // them in notifyDispatched() keeps valid positions.
        if (notifying_ > 0) {
            it->run = nullptr;
        } else {
            hooks_.erase(it);
        }
        return;
    }
}

void EventLoop::notifyDispatched() {
    if (afterDispatch_) afterDispatch_();
    ++notifying_;
    const size_t count = hooks_.size();  // hooks added now wait for the next dispatch
    for (size_t i = 0; i < count && i < hooks_.size(); ++i) {
        // A copy: the hook may remove itself while it runs.
        if (std::function<void()> run = hooks_[i].run) run();
    }
    if (--notifying_ == 0) {
        std::erase_if(hooks_, [](const Hook& h) { return !h.run; });
    }
}

void Timer::setHandler(std::function<void()> tick) {
    loop_->setHandler(id_, std::move(tick));
}

bool Timer::setIntervalText(std::string_view text) {
    const int ms = parseIntervalText(text);
    if (ms < 0) return false;
    setInterval(ms);
    return true;
}

int parseIntervalText(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.empty() || text.size() > 32) return -1;
    // Only plain decimal numbers: digits with at most one point, an optional leading sign.
    int points = 0, digits = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.') {
            ++points;
        } else if (!((c == '+' || c == '-') && i == 0)) {
            return -1;
        }
    }
    if (digits == 0 || points > 1) return -1;
    // NOTE: from_chars reads the point whatever the locale says (Qt sets the C library's locale
    // from the environment, and strtod under a comma locale stops at the point); it takes no
    // leading plus.
    if (text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return -1;
    const double rounded = std::nearbyint(value);  // default rounding: halves to even
    if (!(rounded >= 1 && rounded <= 65535)) return -1;
    return static_cast<int>(rounded);
}

}  // namespace ostrel::runtime
