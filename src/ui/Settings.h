// What the program remembers between runs: the windows' places, the Load folder, the interlock.
#pragma once

#include <QSettings>
#include <memory>
#include <optional>
#include <string>

#include "machine/Interlock.h"

namespace ostrel::ui {

// The user's settings file (~/.config/ostrel/ostrel.ini). It holds where windows and dialogs
// were and the door / emergency-stop interlock; no setting of the jobs is kept.
std::unique_ptr<QSettings> openSettings();

// The interlock for this start: the one given on the command line, which is remembered for the
// next starts, or else the remembered one (none if none was ever given). nullopt with `error`
// when the remembered text cannot be read: an interlock must never be dropped silently.
std::optional<machine::InterlockSetting> interlockInForce(
    const std::optional<machine::InterlockSetting>& given, std::string& error);

}  // namespace ostrel::ui
