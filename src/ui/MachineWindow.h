// The Machine window: work piece, head and laser, job time and progress, port monitor, wiring test.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "machine/SimEngraver.h"
#include "motion/WiringTest.h"
#include "panel/Engraver.h"
#include "ui/MachineViews.h"
#include "ui/MaterialPanel.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace ostrel::simulation {
struct JobSummary;
}

namespace ostrel::ui {

class MainWindow;

class MachineWindow final : public QWidget {
    Q_OBJECT
  public:
    // `sim` is the simulated engraver when that is the port, else null (a real port).
    MachineWindow(panel::Engraver& engraver, machine::SimEngraver* sim, QWidget* parent = nullptr);
    ~MachineWindow() override;

    // Puts "Machine" into the main window's View menu and opens the window beside it.
    void attachTo(MainWindow& main);
    void showBeside();
    // Brings every part of the window in line with the core now.
    void refreshNow();
    // What the step timing runs at, shown under the port monitor ("real-time priority ...").
    void setStepTimingSource(std::function<std::string()> describe);
    // For the tests: lets events run until no job time is being computed or waiting to be.
    bool waitForPreview(int timeoutMs = 30'000);
    // The job time shown before Run, or null.
    const simulation::JobSummary* preview() const { return preview_.get(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // Everything a job's run depends on: when it changes, the job time is computed again.
    struct JobInputs {
        int kind = -1;  // -1: no job chosen, else simulation::JobKind
        uint64_t pictureRevision = 0;
        int pictureWidth = 0, pictureHeight = 0, frameWidth = 0, frameHeight = 0;
        int coarse = 0, hologram = 0;
        std::string stepPeriod;
        bool autoLaser = false, laserPulseOn = false;
        int32_t xStepCount = 0, yStepCount = 0;
        int16_t xPhase = 0, yPhase = 0;
        int64_t headX = 0, headY = 0;
        int rotorX = 0, rotorY = 0;
        std::array<int, 6> jobTimerIntervals{};  // in the order of form::kJobTimers
        std::vector<uint16_t> materialDwellMs;   // the material profile's dwells
        bool operator==(const JobInputs&) const = default;
    };
    struct PreviewTask;

    void buildJobBox(QWidget* box);
    void buildPortBox(QWidget* box);
    void buildWiringBox(QWidget* box);
    void startWiringTest(motion::WiringTestKind kind);

    void afterDispatch();
    // The settings the operator makes for a job are the same in both.
    static bool sameSetUp(const JobInputs& a, const JobInputs& b);
    bool jobRunning() const;
    JobInputs jobInputs() const;
    void refreshHead();
    void refreshPort();
    void refreshJob();
    void refreshWiring();
    // Starts computing the job time when the inputs changed and nothing moves.
    void considerPreview();
    void startPreview(const JobInputs& inputs);
    void previewDone(const JobInputs& inputs,
                     std::shared_ptr<const simulation::JobSummary> summary);

    panel::Engraver& engraver_;
    machine::SimEngraver* sim_;
    MainWindow* main_ = nullptr;
    runtime::HookId hook_ = 0;
    QTimer refreshTimer_;  // coalesces the repaints a running job asks for
    QTimer idleTimer_;     // looks at the switches and the inputs while nothing dispatches
    QTimer previewDelay_;  // lets a slider or a typed speed settle before computing

    WorkPieceView* workPiece_ = nullptr;
    QLabel* jobTitle_ = nullptr;
    QLabel* jobTime_ = nullptr;
    QLabel* jobDetail_ = nullptr;
    QLabel* progressText_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QProgressBar* progress_ = nullptr;
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

    // The job time and burn preview shown, and the inputs it was computed from.
    std::shared_ptr<const simulation::JobSummary> preview_;
    std::optional<JobInputs> previewInputs_;
    JobInputs lastIdleInputs_;
    std::optional<JobInputs> computingInputs_;
    std::thread worker_;
    // The run under way: when it was first seen, and whether the preview was for it.
    bool runSeen_ = false;
    double runStartMs_ = 0;
    bool previewForRun_ = false;
    size_t exposuresAtRunStart_ = 0;
};

}  // namespace ostrel::ui
