// The window as a value that outlives it: the state, the timers' settings, and their JSON form.
#pragma once

#include <QJsonObject>
#include <array>
#include <optional>
#include <string>

#include "form/Form1.h"

namespace ostrel::form {

struct TimerSetting {
    bool enabled = false;
    int interval = 0;

    bool operator==(const TimerSetting&) const = default;
};

struct Snapshot {
    FormState state;
    std::array<TimerSetting, kTimers.size()> timers{};  // in the order of kTimers
};

// Every control's properties (a picture's raster as PNG), every window variable and every
// timer's settings, by name.
QJsonObject toJson(const Snapshot& snapshot);
// The snapshot that toJson() wrote; nothing (with the reason in `error`) for an object that
// names an unknown control, variable or timer, or gives a value of the wrong type.
std::optional<Snapshot> snapshotFromJson(const QJsonObject& json, std::string& error);

}  // namespace ostrel::form
