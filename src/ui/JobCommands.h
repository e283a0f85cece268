// Pause, Continue and Resume as the windows offer them: whether each can act now, and the call.
#pragma once

#include <QPointer>
#include <QString>
#include <functional>

#include "engraver/Engraver.h"

namespace ostrel::ui {

// The one Pause / Continue command of the windows: Continue while a job is paused.
struct PauseCommand {
    bool continues = false;
    bool enabled = false;  // a job runs (Pause) or is paused and not yet going on (Continue)
    QString text() const {
        return continues ? QStringLiteral("Continue") : QStringLiteral("Pause");
    }
};
PauseCommand pauseCommand(engraver::Engraver& engraver);

// Posts pause (or Continue) to the core's event loop, so that it runs as an event of its own
// and never inside a tick. `refused` gets the reason when the core refuses; it is called only
// while `owner` lives.
void postPauseCommand(engraver::Engraver& engraver, bool continues, QPointer<QObject> owner,
                      std::function<void(const QString&)> refused);
// The same for Resume of the interrupted job in the program folder.
void postResume(engraver::Engraver& engraver, QPointer<QObject> owner,
                std::function<void(const QString&)> refused);

}  // namespace ostrel::ui
