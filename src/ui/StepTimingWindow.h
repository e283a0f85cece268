// The "Test step timing" window: the step-timing self-test run on the window's own loop, its
// live figures and histogram, and the verdict for the step speed and the shortest dwell.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "runtime/StepTimingProbe.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace ostrel::engraver {
class Engraver;
}

namespace ostrel::ui {

// Bars of the error bands of a TimingErrorStats.
class TimingHistogramView final : public QWidget {
  public:
    explicit TimingHistogramView(QWidget* parent = nullptr);
    void show(const runtime::TimingErrorStats* stats);
    QSize sizeHint() const override { return {360, 150}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const runtime::TimingErrorStats* stats_ = nullptr;
};

class StepTimingWindow final : public QWidget {
    Q_OBJECT
  public:
    // `describe` says what the step timing runs at (TimingPriority::describe), or is empty.
    StepTimingWindow(engraver::Engraver& engraver, std::function<std::string()> describe,
                     QWidget* parent = nullptr);
    ~StepTimingWindow() override;

    void start();
    void stop();
    bool running() const { return probe_ && probe_->running(); }
    const runtime::StepTimingProbe* probe() const { return probe_.get(); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The step period now in the step speed box; -1 when its text gives none.
    int stepPeriodMs() const;
    bool machineMoving() const;
    void refresh();
    void finished();

    engraver::Engraver& engraver_;
    std::function<std::string()> describe_;
    std::unique_ptr<runtime::StepTimingProbe> probe_;
    QTimer live_;
    QSpinBox* seconds_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* setting_ = nullptr;
    QLabel* steps_ = nullptr;
    QLabel* dots_ = nullptr;
    QLabel* stepVerdict_ = nullptr;
    QLabel* dwellVerdict_ = nullptr;
    QLabel* ranAt_ = nullptr;
    TimingHistogramView* histogram_ = nullptr;
    // What the thread ran at, sampled while the test ran.
    runtime::TimingClass ranAtClass_ = runtime::TimingClass::Normal;
};

// Opens the window (made once, a child of `parent`) and brings it to the front.
StepTimingWindow* showStepTimingWindow(QWidget* parent, engraver::Engraver& engraver,
                                       std::function<std::string()> describe);

}  // namespace ostrel::ui
