// The user's settings file of the windows.
#include "ui/Settings.h"

namespace ostrel::ui {

std::unique_ptr<QSettings> openSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("ostrel"), QStringLiteral("ostrel"));
}

}  // namespace ostrel::ui
