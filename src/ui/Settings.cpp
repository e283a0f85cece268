// The user's settings file: the windows' places and the remembered interlock.
#include "ui/Settings.h"

namespace ostrel::ui {

namespace {

const QString kInterlockKey = QStringLiteral("machine/interlock");

}  // namespace

std::unique_ptr<QSettings> openSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("ostrel"), QStringLiteral("ostrel"));
}

std::optional<machine::InterlockSetting> interlockInForce(
    const std::optional<machine::InterlockSetting>& given, std::string& error) {
    const auto settings = openSettings();
    if (given) {
        settings->setValue(kInterlockKey, QString::fromStdString(machine::interlockText(*given)));
        settings->sync();
        return given;
    }
    if (!settings->contains(kInterlockKey)) return machine::InterlockSetting{};
    const std::string text = settings->value(kInterlockKey).toString().toStdString();
    std::optional<machine::InterlockSetting> remembered = machine::parseInterlock(text, error);
    if (!remembered) {
        error = "the remembered " + error + " (in " + settings->fileName().toStdString() +
                "): give --interlock to set it again";
    }
    return remembered;
}

}  // namespace ostrel::ui
