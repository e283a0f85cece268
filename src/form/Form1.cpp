// Form1's timers, the access to its values by name, and its snapshots.
#include "form/Form1.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "form/Snapshot.h"

namespace ostrel::form {

Form1::Form1(runtime::EventLoop& loop)
    : Timer1(loop, 100, false),
      Timer2(loop, 100, false),
      Timer3(loop, 100, false),
      Timer4(loop, 100, false),
      Timer5(loop, 100, false),
      Timer6(loop, 100, false),
      Timer7(loop, 100, false),
      Timer8(loop, 100, false),
      Timer9(loop, 100, false),
      Timer10(loop, 200, true),  // the load procedure confirms or stops it
      ManualLaserPow(loop, runtime::Timer::Idle{}),
      JogLaserPow(loop, runtime::Timer::Idle{}),
      JogMSpeed(loop, runtime::Timer::Idle{}) {}

// --- Timers ---

std::vector<std::pair<std::string, runtime::Timer*>> Form1::timers() {
    std::vector<std::pair<std::string, runtime::Timer*>> all;
    for (const NamedTimer& t : kTimers) all.emplace_back(std::string(t.name), &(this->*t.timer));
    return all;
}

runtime::Timer* Form1::timer(std::string_view name) {
    for (const NamedTimer& t : kTimers) {
        if (t.name == name) return &(this->*t.timer);
    }
    return nullptr;
}

const runtime::Timer* Form1::timer(std::string_view name) const {
    return const_cast<Form1*>(this)->timer(name);
}

bool anyEnabled(const Form1& f, std::span<const TimerMember> group) {
    return countEnabled(f, group) > 0;
}

int countEnabled(const Form1& f, std::span<const TimerMember> group) {
    int on = 0;
    for (TimerMember t : group) on += (f.*t).Enabled() ? 1 : 0;
    return on;
}

void disableAll(Form1& f, std::span<const TimerMember> group) {
    for (TimerMember t : group) (f.*t).setEnabled(false);
}

// --- Snapshots ---

Snapshot Form1::snapshot() const {
    Snapshot s{*this, {}};
    for (size_t i = 0; i < kTimers.size(); ++i) {
        const runtime::Timer& t = this->*kTimers[i].timer;
        s.timers[i] = {t.Enabled(), t.Interval()};
    }
    return s;
}

void Form1::restore(const Snapshot& snapshot) {
    // NOTE: the views repaint a picture when its revision changes: each one grows past both.
    const uint64_t before[] = {Picture1.revision, Picture2.revision, Picture3.revision};
    static_cast<FormState&>(*this) = snapshot.state;
    PictureBox* const pictures[] = {&Picture1, &Picture2, &Picture3};
    for (size_t i = 0; i < std::size(pictures); ++i) {
        pictures[i]->revision = std::max(before[i], pictures[i]->revision) + 1;
    }
    for (size_t i = 0; i < kTimers.size(); ++i) {
        runtime::Timer& t = this->*kTimers[i].timer;
        t.setEnabled(false);
        t.setInterval(snapshot.timers[i].interval);
    }
}

// --- Access by name ---

static bool parseInt(std::string_view s, int& out) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

std::optional<std::string> Form1::get(std::string_view name) const {
    if (std::optional<std::string> text = variable(name)) return text;

    // Control.Property; the control part may hold an index ("Label1(0).Caption").
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::string_view ctl = name.substr(0, dot);
    const std::string_view prop = name.substr(dot + 1);

    if (const runtime::Timer* t = timer(ctl)) {
        if (prop == "Enabled") return boolText(t->Enabled());
        if (prop == "Interval") return std::to_string(t->Interval());
        return std::nullopt;
    }
    const Control* c = control(ctl);
    if (!c) return std::nullopt;
    if (const PictureBox* p = picture(ctl)) {
        if (prop == "ScaleWidth") return std::to_string(p->ScaleWidth());
        if (prop == "ScaleHeight") return std::to_string(p->ScaleHeight());
        if (prop.substr(0, 6) == "Point(" && prop.back() == ')') {
            const std::string_view args = prop.substr(6, prop.size() - 7);
            const size_t comma = args.find(',');
            int x = 0, y = 0;
            if (comma == std::string_view::npos || !parseInt(args.substr(0, comma), x) ||
                !parseInt(args.substr(comma + 1), y)) {
                return std::nullopt;
            }
            return std::to_string(p->Point(x, y));
        }
    }
    if (prop == "Caption" || prop == "Text") return c->caption;
    if (prop == "ToolTipText") return c->toolTip;
    if (prop == "Enabled") return boolText(c->enabled);
    if (prop == "Visible") return boolText(c->visible);
    if (prop == "BackColor") return std::to_string(c->backColor);
    if (prop == "Value") {
        if (c->kind == Kind::OptionButton) return boolText(c->value != 0);
        return std::to_string(c->value);
    }
    if (prop == "Min") return std::to_string(c->min);
    if (prop == "Max") return std::to_string(c->max);
    if (prop == "Left") return std::to_string(c->left);
    if (prop == "Top") return std::to_string(c->top);
    if (prop == "Width") return std::to_string(c->width);
    if (prop == "Height") return std::to_string(c->height);
    if (prop == "ListCount") return std::to_string(c->items.size());
    if (prop.substr(0, 5) == "List(" && prop.back() == ')') {
        int i = 0;
        if (!parseInt(prop.substr(5, prop.size() - 6), i) || i < 0 ||
            i >= static_cast<int>(c->items.size())) {
            return std::nullopt;
        }
        return c->items[static_cast<size_t>(i)];
    }
    return std::nullopt;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (char ch : s) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string Form1::dumpJson() const {
    std::string out = "{";
    bool first = true;
    auto add = [&](const std::string& key, const std::string& value) {
        if (!first) out += ",";
        first = false;
        out += jsonString(key) + ":" + jsonString(value);
    };
    for (const std::string& v : variableNames()) add(v, *get(v));
    for (const NamedTimer& t : kTimers) {
        const std::string n(t.name);
        add(n + ".Enabled", boolText((this->*t.timer).Enabled()));
        add(n + ".Interval", std::to_string((this->*t.timer).Interval()));
    }
    for (const Control* c : controls()) {
        for (const char* prop :
             {"Caption", "ToolTipText", "Enabled", "Visible", "BackColor", "Value"}) {
            add(c->name + "." + prop, *get(c->name + "." + prop));
        }
        if (const PictureBox* p = picture(c->name)) {
            add(c->name + ".ScaleWidth", std::to_string(p->ScaleWidth()));
            add(c->name + ".ScaleHeight", std::to_string(p->ScaleHeight()));
        }
    }
    return out + "}";
}

}  // namespace ostrel::form
