// The Machine window: work piece, head and laser, job time and progress, port monitor, wiring test.
#pragma once

#include <QRect>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engraver/Engraver.h"
#include "machine/SimEngraver.h"
#include "motion/WiringTest.h"
#include "simulation/JobPreview.h"
#include "ui/MachineViews.h"
#include "ui/MaterialPanel.h"
#include "ui/ResumeOfferBox.h"

class QBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSpinBox;

namespace ostrel::ui {

class MainWindow;

// Where a window of `wanted` size (at least `minimum`) goes beside a main window whose frame is
// `mainFrame`, on a screen whose free area is `available`; `frame` is what the window system
// adds around a window. To the right when there is room, else to the left, else below; never
// over the main window while the screen has room anywhere beside it. Returns the window's own
// geometry (without the frame).
QRect placeBeside(const QRect& mainFrame, const QRect& available, const QSize& wanted,
                  const QSize& minimum, const QMargins& frame);

class MachineWindow final : public QWidget {
    Q_OBJECT
  public:
    // `sim` is the simulated engraver when that is the port, else null (a real port).
    MachineWindow(engraver::Engraver& engraver, machine::SimEngraver* sim,
                  QWidget* parent = nullptr);
    ~MachineWindow() override;

    // Puts "Machine" into the main window's View menu and follows the operator's events there.
    void attachTo(MainWindow& main);
    // Opens the window where it was last, or beside the main window. Asked for from the menu
    // it comes to the front; at the program's start (`fromMenu` false) the main window stays in
    // front of it where the screen has no room beside the main window.
    void showBeside(bool fromMenu = true);
    // Brings every part of the window in line with the core now.
    void refreshNow();
    // The operator did something: the end of the last job stops being shown.
    void noteOperatorEvent();
    // What the step timing runs at, shown under the port monitor ("real-time priority ...").
    void setStepTimingSource(std::function<std::string()> describe);
    // For the tests: lets events run until no job time (nor the time of a resume) is being
    // computed or waiting to be.
    bool waitForPreview(int timeoutMs = 30'000);
    // The job time shown before Run, or null.
    const simulation::JobSummary* preview() const { return preview_.summary().get(); }
    // Looks for a journal of an interrupted job in the program folder now; true when there is
    // one to offer (resumable or not: the Job box says why not).
    bool resumeOffered();
    // What Resume would take from here, computed on a copy, or null.
    const simulation::JobSummary* resumePreview() const { return resumeBox_->preview(); }
    // Shows why Pause, Continue or Resume was refused, in the Job box (opened if hidden).
    void showRefusal(const QString& why);
    // Whether the step counters still say where the head is: false after a wiring test moved
    // an axis, until that axis stands on its home switch with its counter at 0 again.
    bool positionKnown() const { return !xUnknown_ && !yUnknown_; }
    // The two columns side by side (false: one under the other, for a narrow window).
    bool sideBySide() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    using JobInputs = simulation::JobInputs;

    // How the last job ended, shown until the operator acts.
    struct JobEnd {
        QString title, outcome, detail;
    };

    void buildJobBox(QWidget* box);
    void buildPortBox(QWidget* box);
    void buildWiringBox(QWidget* box);
    void startWiringTest(motion::WiringTestKind kind);
    void reflow();
    QRect placeNow() const;
    void rememberPlace();

    void afterDispatch();
    // A refresh asked for by a timer: now, unless a tick falls due before a repaint could end;
    // then just after the next dispatch.
    void refreshBetweenTicks();
    // A tick falls due before a repaint started now could end.
    bool tickNear() const;
    // Notes the start and the end of a run, the Run presses that started nothing and whether
    // the step counters still hold.
    void observe();
    void noteRunEnd();
    bool jobRunning() const;
    // A job runs, is paused, or is being resumed (homing, travelling to its dot).
    bool jobActive();
    // Machine time the run under way has worked, its pauses left out.
    double runWorkedMs() const;
    void refreshHead();
    void refreshPort();
    void refreshJob();
    void refreshWiring();
    // The job box while no job runs.
    void refreshIdleJob();
    QString headNote(int kind) const;
    // Starts computing the job time when the inputs changed and nothing moves.
    void considerPreview();
    void previewDone();
    // The resume offer, read again if anything it depends on changed, while nothing moves.
    void considerResume();
    void pauseClicked();
    void resumeClicked(bool timed);
    // The note under the job: a refused command, else a refused Run.
    QString note() const { return commandNote_.isEmpty() ? runNote_ : commandNote_; }

    engraver::Engraver& engraver_;
    machine::SimEngraver* sim_;
    MainWindow* main_ = nullptr;
    runtime::HookId hook_ = 0;
    QTimer refreshTimer_;   // coalesces the repaints a running job asks for
    QTimer idleTimer_;      // looks at the switches and the inputs while nothing dispatches
    QTimer previewDelay_;   // lets a slider or a typed speed settle before computing
    QTimer watchdogTimer_;  // follows the start-up watchdog, which may end outside a dispatch
    double refreshWantedMs_ = -1;  // the loop's time a refresh began to wait for a tick; -1 none

    QScrollArea* scroll_ = nullptr;
    QBoxLayout* columns_ = nullptr;
    QWidget* pieceBox_ = nullptr;
    QWidget* side_ = nullptr;
    WorkPieceView* workPiece_ = nullptr;
    QLabel* jobTitle_ = nullptr;
    QLabel* jobTime_ = nullptr;
    QLabel* jobDetail_ = nullptr;
    QLabel* jobNote_ = nullptr;
    QLabel* progressText_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    ResumeOfferBox* resumeBox_ = nullptr;
    RegisterView* data_ = nullptr;
    RegisterView* control_ = nullptr;
    RegisterView* status_ = nullptr;
    QLabel* switches_ = nullptr;
    QLabel* stepTiming_ = nullptr;
    std::function<std::string()> stepTimingSource_;
    QLabel* wiringStatus_ = nullptr;
    QSpinBox* laserMs_ = nullptr;
    std::vector<QPushButton*> wiringButtons_;
    QPushButton* wiringStop_ = nullptr;
    MaterialPanel* materialPanel_ = nullptr;
    QWidget* pieceColumn_ = nullptr;  // the work piece and the material box

    // The job time and burn preview, and the inputs last seen while nothing moved.
    simulation::JobPreview preview_;
    JobInputs lastIdleInputs_;
    // The run under way: when it was first seen, and whether the preview was for it.
    bool runSeen_ = false;
    int runKind_ = -1;
    double runStartMs_ = 0;
    bool previewForRun_ = false;
    size_t exposuresAtRunStart_ = 0;
    uint64_t abortsAtRunStart_ = 0;
    int lastRow_ = 0, lastLeg_ = 1;
    std::optional<JobEnd> jobEnd_;
    // Run presses that started nothing: those seen, and the note shown for the last one.
    uint64_t refusedRunsSeen_ = 0;
    QString runNote_;
    // Why the last Pause, Continue or Resume was refused, until the operator acts again.
    QString commandNote_;
    // The run under way was resumed (its time is the resume's); its pauses so far, the one
    // under way since pausedSinceMs_ (< 0: none); whether it was paused when last seen.
    bool runResumed_ = false;
    double pausedMs_ = 0, pausedSinceMs_ = -1;
    bool wasPaused_ = false;
    // Resume was pressed with its time computed for the set-up as it stood.
    bool resumeTimed_ = false;
    // The step counters no longer say where the head is (a wiring test moved the axis).
    bool xUnknown_ = false, yUnknown_ = false;
    // The place: set by the placement rule (and so moved along with the main window) until
    // the operator moves or resizes the window.
    bool placed_ = false, autoPlaced_ = false, placing_ = false;
};

}  // namespace ostrel::ui
