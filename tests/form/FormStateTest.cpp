// The window state as a value: its tables cover every member, a snapshot is a copy that
// restores and survives JSON, and the dump and get() read through the tables.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <string>
#include <type_traits>

#include "form/Snapshot.h"
#include "runtime/VirtualEventLoop.h"

using namespace ostrel;
using form::Form1;
using form::FormState;

namespace {

// Counts an aggregate's members: the most initialisers its braces take. Anything converts to
// an AnyMember (in unevaluated context only).
struct AnyMember {
    template <class T>
    operator T() const;
};
template <class T, class... Given>
constexpr size_t memberCount() {
    if constexpr (requires { T{Given{}..., AnyMember{}}; }) {
        return memberCount<T, Given..., AnyMember>();
    } else {
        return sizeof...(Given);
    }
}

size_t visitedVariables() {
    size_t n = 0;
    const form::WindowVariables design;
    form::forEachVariable(design, [&](std::string_view, const auto&) { ++n; });
    return n;
}

// Gives every window variable a value of its own, different from the design's and from every
// other variable's.
void setDistinct(form::WindowVariables& v) {
    int n = 0;
    form::forEachVariable(v, [&](std::string_view, auto& member) {
        ++n;
        using T = std::decay_t<decltype(member)>;
        if constexpr (std::is_same_v<T, std::string>) {
            member = "text " + std::to_string(n);
        } else if constexpr (std::is_same_v<T, bool>) {
            member = !member;
        } else {
            member = static_cast<T>(1000 + n);
        }
    });
}

}  // namespace

TEST(FormState, TheTablesNameEveryMember) {
    // A variable added to WindowVariables but not to forEachVariable() fails here...
    EXPECT_EQ(memberCount<form::WindowVariables>(), visitedVariables());
    EXPECT_EQ(FormState::variableNames().size(), visitedVariables());
    // ...and a control added to Controls but not to forEachControl(): the visited controls
    // fill the struct exactly.
    size_t bytes = 0, count = 0;
    const form::Controls controls;
    form::forEachControl(controls, [&](const auto& c) {
        bytes += sizeof(c);
        ++count;
    });
    EXPECT_EQ(bytes, sizeof(form::Controls));
    // Every control once, by its own name.
    const FormState design;
    EXPECT_EQ(design.controls().size(), count);
    for (const form::Control* c : design.controls()) EXPECT_EQ(design.control(c->name), c);
}

TEST(FormState, GetAndDumpReadEveryVariableAndTimerThroughTheTables) {
    runtime::VirtualEventLoop loop;
    Form1 f(loop);
    setDistinct(f);
    f.Timer7.setInterval(37);
    f.Timer8.setEnabled(true);
    const QJsonObject dump =
        QJsonDocument::fromJson(QByteArray::fromStdString(f.dumpJson())).object();
    form::forEachVariable(f, [&](std::string_view name, const auto&) {
        const std::string n(name);
        const std::optional<std::string> text = f.get(n);
        ASSERT_TRUE(text) << n;
        EXPECT_EQ(dump.value(QString::fromStdString(n)).toString().toStdString(), *text) << n;
    });
    EXPECT_EQ(f.get("xStepCount"), "1007");
    EXPECT_EQ(f.get("xHomed"), "True");
    EXPECT_EQ(f.get("pixelRow"), "text 15");
    for (const form::NamedTimer& t : form::kTimers) {
        const std::string n(t.name);
        EXPECT_EQ(f.timer(n), &(f.*t.timer)) << n;
        EXPECT_TRUE(dump.contains(QString::fromStdString(n + ".Interval"))) << n;
    }
    EXPECT_EQ(f.get("Timer7.Interval"), "37");
    EXPECT_EQ(f.get("Timer8.Enabled"), "True");
    // The three timers nothing uses have the design's Interval 0.
    for (const char* idle : {"ManualLaserPow", "JogLaserPow", "JogMSpeed"}) {
        EXPECT_EQ(f.get(std::string(idle) + ".Interval"), "0") << idle;
        EXPECT_EQ(dump.value(QString(idle) + ".Interval").toString(), "0") << idle;
    }
    EXPECT_FALSE(f.get("noSuchVariable"));
}

TEST(FormState, ASnapshotIsACopyThatRestoresWithEveryTimerOff) {
    runtime::VirtualEventLoop loop;
    Form1 live(loop);
    setDistinct(live);
    live.Label6.caption = "changed";
    live.Picture2.PSet(3, 4, form::kRed);
    live.Timer4.setInterval(12);
    live.Timer4.setEnabled(true);
    const form::Snapshot snap = live.snapshot();

    live.xStepCount = -5;
    live.Picture2.PSet(3, 4, 0);
    EXPECT_EQ(snap.state.xStepCount, 1007);
    EXPECT_EQ(snap.state.Picture2.Point(3, 4), form::kRed);
    EXPECT_EQ(snap.timers[3], (form::TimerSetting{true, 12}));

    runtime::VirtualEventLoop otherLoop;
    Form1 copy(otherLoop);
    const uint64_t revision = copy.Picture2.revision;
    copy.restore(snap);
    EXPECT_TRUE(static_cast<const FormState&>(copy) == snap.state);
    EXPECT_GT(copy.Picture2.revision, revision);  // the views repaint
    for (size_t i = 0; i < form::kTimers.size(); ++i) {
        const runtime::Timer& t = copy.*form::kTimers[i].timer;
        EXPECT_FALSE(t.Enabled()) << form::kTimers[i].name;
        EXPECT_EQ(t.Interval(), snap.timers[i].interval) << form::kTimers[i].name;
    }
    EXPECT_EQ(copy.ManualLaserPow.Interval(), 0);
}

TEST(FormState, ASnapshotSurvivesJson) {
    runtime::VirtualEventLoop loop;
    Form1 live(loop);
    setDistinct(live);
    live.Combo1.caption = "Quote \" and \\ and é";
    live.Combo2.items.push_back("7");
    live.Command4.enabled = false;
    live.Label7.visible = true;
    live.HScroll3.value = 201;
    live.Picture1.setPicture(QImage(9, 5, QImage::Format_RGB32));
    live.Picture1.PSet(8, 4, form::RGB(1, 2, 3));
    live.Picture3.setOuterSize(600, 450);
    live.Timer9.setInterval(65535);
    live.Timer10.setEnabled(false);
    const form::Snapshot snap = live.snapshot();

    const QJsonObject json = form::toJson(snap);
    // Through text, as a file would carry it.
    const QJsonObject read = QJsonDocument::fromJson(QJsonDocument(json).toJson()).object();
    std::string error;
    const std::optional<form::Snapshot> back = form::snapshotFromJson(read, error);
    ASSERT_TRUE(back) << error;
    EXPECT_TRUE(back->state == snap.state);
    EXPECT_EQ(back->timers, snap.timers);
    EXPECT_EQ(back->state.Picture1.Point(8, 4), form::RGB(1, 2, 3));
}

TEST(FormState, JsonThatIsNotASnapshotIsRefused) {
    runtime::VirtualEventLoop loop;
    Form1 live(loop);
    const QJsonObject good = form::toJson(live.snapshot());
    struct Case {
        const char* what;
        const char* section;
        const char* name;
        QJsonValue value;  // undefined: the entry is removed
    };
    QJsonObject pictureWithBadPng = good["controls"].toObject()["Picture2"].toObject();
    pictureWithBadPng["raster"] = QString::fromLatin1(QByteArray("not a png").toBase64());
    const Case cases[] = {
        {"a variable missing", "variables", "xPhase", QJsonValue::Undefined},
        {"a text for a number", "variables", "xPhase", "12"},
        {"a fraction", "variables", "xStepCount", 1.5},
        {"out of an int16 range", "variables", "dotCycle", 40000},
        {"a number for a flag", "variables", "xHomed", 1},
        {"an unknown variable", "variables", "zPhase", 3},
        {"an unknown timer", "timers", "Timer11", QJsonObject{{"enabled", false}, {"interval", 5}}},
        {"an interval out of range", "timers", "Timer1",
         QJsonObject{{"enabled", false}, {"interval", 70000}}},
        {"a control missing", "controls", "Label7", QJsonValue::Undefined},
        {"an unknown control", "controls", "Label9", good["controls"].toObject()["Label7"]},
        {"a raster that is no PNG", "controls", "Picture2", pictureWithBadPng},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QJsonObject json = good;
        QJsonObject section = json[c.section].toObject();
        if (c.value.isUndefined()) {
            section.remove(c.name);
        } else {
            section[c.name] = c.value;
        }
        json[c.section] = section;
        std::string error;
        EXPECT_FALSE(form::snapshotFromJson(json, error));
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_TRUE(form::snapshotFromJson(good, error)) << error;
}

TEST(FormState, TimerGroupsHoldDistinctTimersOfTheWindow) {
    const std::span<const form::TimerMember> groups[] = {
        form::kAllTimers, form::kActivityTimers,   form::kMotionTimers,
        form::kJobTimers, form::kPictureRunTimers, form::kFrameRunTimers};
    for (std::span<const form::TimerMember> group : groups) {
        for (size_t i = 0; i < group.size(); ++i) {
            for (size_t j = i + 1; j < group.size(); ++j) EXPECT_NE(group[i], group[j]);
        }
    }
    // A job is a picture run or a frame run; the watchdog is no activity.
    EXPECT_EQ(form::kJobTimers.size(),
              form::kPictureRunTimers.size() + form::kFrameRunTimers.size());
    for (form::TimerMember t : form::kActivityTimers) EXPECT_NE(t, &Form1::Timer10);
}
