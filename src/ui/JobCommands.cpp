// Pause, Continue and Resume from the windows: posted to the core's loop, refusals handed back.
#include "ui/JobCommands.h"

#include "form/Form1.h"

namespace ostrel::ui {

namespace {

void post(engraver::Engraver& engraver, std::function<std::string()> command,
          QPointer<QObject> owner, std::function<void(const QString&)> refused) {
    engraver.loop().post([command = std::move(command), owner, refused = std::move(refused)] {
        const std::string why = command();
        if (!why.empty() && owner && refused) refused(QString::fromStdString(why));
    });
}

}  // namespace

PauseCommand pauseCommand(engraver::Engraver& engraver) {
    const jobs::JobPause& pause = engraver.jobPause();
    PauseCommand c;
    c.continues = pause.paused();
    c.enabled = c.continues ? pause.state() != jobs::JobPause::State::Settling
                            : form::anyEnabled(engraver.form(), form::kJobTimers);
    return c;
}

void postPauseCommand(engraver::Engraver& engraver, bool continues, QPointer<QObject> owner,
                      std::function<void(const QString&)> refused) {
    jobs::JobPause& pause = engraver.jobPause();
    post(
        engraver, [&pause, continues] { return continues ? pause.continueRun() : pause.pause(); },
        owner, std::move(refused));
}

void postResume(engraver::Engraver& engraver, QPointer<QObject> owner,
                std::function<void(const QString&)> refused) {
    jobs::JobResume& resume = engraver.jobResume();
    post(
        engraver, [&resume] { return resume.resume(); }, owner, std::move(refused));
}

}  // namespace ostrel::ui
