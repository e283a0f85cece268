// A snapshot of the window to and from JSON, every name from the state's own tables.
#include "form/Snapshot.h"

#include <QBuffer>
#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <cmath>
#include <limits>
#include <type_traits>

namespace ostrel::form {

namespace {

QString key(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A window variable as JSON: booleans and numbers as such, texts as strings.
template <class T>
QJsonValue toValue(const T& v) {
    if constexpr (std::is_same_v<T, std::string>) {
        return QString::fromStdString(v);
    } else {
        return v;  // bool, or an integer that a double holds exactly
    }
}

template <class T>
bool fromValue(const QJsonValue& json, T& v) {
    if constexpr (std::is_same_v<T, std::string>) {
        if (!json.isString()) return false;
        v = json.toString().toStdString();
    } else if constexpr (std::is_same_v<T, bool>) {
        if (!json.isBool()) return false;
        v = json.toBool();
    } else {
        const double d = json.toDouble();
        if (!json.isDouble() || d != std::trunc(d) || d < std::numeric_limits<T>::min() ||
            d > std::numeric_limits<T>::max()) {
            return false;
        }
        v = static_cast<T>(d);
    }
    return true;
}

QJsonObject controlToJson(const Control& c) {
    QJsonObject o{{"caption", QString::fromStdString(c.caption)},
                  {"toolTip", QString::fromStdString(c.toolTip)},
                  {"enabled", c.enabled},
                  {"visible", c.visible},
                  {"backColor", c.backColor},
                  {"value", c.value},
                  {"min", c.min},
                  {"max", c.max},
                  {"left", c.left},
                  {"top", c.top},
                  {"width", c.width},
                  {"height", c.height}};
    QJsonArray items;
    for (const std::string& item : c.items) items.append(QString::fromStdString(item));
    o.insert("items", items);
    return o;
}

bool controlFromJson(const QJsonObject& o, Control& c) {
    bool ok =
        fromValue(o.value("caption"), c.caption) && fromValue(o.value("toolTip"), c.toolTip) &&
        fromValue(o.value("enabled"), c.enabled) && fromValue(o.value("visible"), c.visible) &&
        fromValue(o.value("backColor"), c.backColor) && fromValue(o.value("value"), c.value) &&
        fromValue(o.value("min"), c.min) && fromValue(o.value("max"), c.max) &&
        fromValue(o.value("left"), c.left) && fromValue(o.value("top"), c.top) &&
        fromValue(o.value("width"), c.width) && fromValue(o.value("height"), c.height) &&
        o.value("items").isArray();
    if (!ok) return false;
    c.items.clear();
    for (const QJsonValue item : o.value("items").toArray()) {
        if (!item.isString()) return false;
        c.items.push_back(item.toString().toStdString());
    }
    return true;
}

QJsonObject pictureToJson(const PictureBox& p) {
    QJsonObject o = controlToJson(p);
    o.insert("bordered", p.bordered);
    QByteArray png;
    if (!p.raster.isNull()) {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        p.raster.save(&buffer, "PNG");
    }
    o.insert("raster", QString::fromLatin1(png.toBase64()));
    return o;
}

bool pictureFromJson(const QJsonObject& o, PictureBox& p) {
    if (!controlFromJson(o, p) || !fromValue(o.value("bordered"), p.bordered) ||
        !o.value("raster").isString()) {
        return false;
    }
    const QByteArray png = QByteArray::fromBase64(o.value("raster").toString().toLatin1());
    QImage raster;
    if (!png.isEmpty() && !raster.loadFromData(png, "PNG")) return false;
    p.raster = raster.isNull() ? QImage() : raster.convertToFormat(QImage::Format_RGB32);
    return true;
}

}  // namespace

QJsonObject toJson(const Snapshot& snapshot) {
    QJsonObject variables;
    forEachVariable(snapshot.state, [&](std::string_view name, const auto& v) {
        variables.insert(key(name), toValue(v));
    });
    QJsonObject timers;
    for (size_t i = 0; i < kTimers.size(); ++i) {
        timers.insert(key(kTimers[i].name), QJsonObject{{"enabled", snapshot.timers[i].enabled},
                                                        {"interval", snapshot.timers[i].interval}});
    }
    QJsonObject controls;
    forEachControl(snapshot.state, [&](const auto& c) {
        if constexpr (std::is_same_v<std::decay_t<decltype(c)>, PictureBox>) {
            controls.insert(key(c.name), pictureToJson(c));
        } else {
            controls.insert(key(c.name), controlToJson(c));
        }
    });
    return QJsonObject{{"variables", variables}, {"timers", timers}, {"controls", controls}};
}

std::optional<Snapshot> snapshotFromJson(const QJsonObject& json, std::string& error) {
    Snapshot s;
    const QJsonObject variables = json.value("variables").toObject();
    const QJsonObject timers = json.value("timers").toObject();
    const QJsonObject controls = json.value("controls").toObject();
    // Every name the tables give must be there with a value of its type, and nothing else.
    int expected = 0;
    forEachVariable(s.state, [&](std::string_view name, auto& v) {
        ++expected;
        if (error.empty() && !fromValue(variables.value(key(name)), v)) {
            error = "the window variable " + std::string(name) + " is missing or not a " +
                    (std::is_same_v<std::decay_t<decltype(v)>, std::string> ? "text"
                     : std::is_same_v<std::decay_t<decltype(v)>, bool>      ? "boolean"
                                                                            : "whole number");
        }
    });
    if (error.empty() && variables.size() != expected) error = "unknown window variables";
    for (size_t i = 0; i < kTimers.size() && error.empty(); ++i) {
        const QJsonObject t = timers.value(key(kTimers[i].name)).toObject();
        if (!fromValue(t.value("enabled"), s.timers[i].enabled) ||
            !fromValue(t.value("interval"), s.timers[i].interval) || s.timers[i].interval < 0 ||
            s.timers[i].interval > 65535) {
            error = "the timer " + std::string(kTimers[i].name) + " is missing or not valid";
        }
    }
    if (error.empty() && timers.size() != static_cast<qsizetype>(kTimers.size())) {
        error = "unknown timers";
    }
    expected = 0;
    forEachControl(s.state, [&](auto& c) {
        ++expected;
        if (!error.empty()) return;
        const QJsonObject o = controls.value(key(c.name)).toObject();
        bool ok = false;
        if constexpr (std::is_same_v<std::decay_t<decltype(c)>, PictureBox>) {
            ok = pictureFromJson(o, c);
        } else {
            ok = controlFromJson(o, c);
        }
        if (!ok) error = "the control " + c.name + " is missing or not valid";
    });
    if (error.empty() && controls.size() != expected) error = "unknown controls";
    if (!error.empty()) return std::nullopt;
    return s;
}

}  // namespace ostrel::form
