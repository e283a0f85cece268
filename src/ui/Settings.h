// What the windows remember between runs: the Machine window's place, the Load dialog's folder.
#pragma once

#include <QSettings>
#include <memory>

namespace ostrel::ui {

// The user's settings file (~/.config/ostrel/ostrel.ini). It holds only where windows and
// dialogs were; no setting of the machine or the jobs is kept.
std::unique_ptr<QSettings> openSettings();

}  // namespace ostrel::ui
