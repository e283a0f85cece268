// The Machine window: work piece, head and laser, job time and progress, port monitor, wiring test.
//
// It shows the core's state and forwards its buttons to the core; it writes no port byte. The
// job time is computed on a copy of the window and the machine, in a worker thread, so that a
// long job never stalls the window; the copy is made here, on the window's thread.
#include "ui/MachineWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "jobs/PictureRun.h"
#include "machine/Registers.h"
#include "runtime/VirtualEventLoop.h"
#include "simulation/JobSimulation.h"
#include "ui/MainWindow.h"

namespace ostrel::ui {

namespace {

// --- Texts ---

QString clockText(double ms) {
    return QString::fromStdString(simulation::clockText(static_cast<int64_t>(std::max(0.0, ms))));
}

QString jobName(const form::Form1& f, int kind) {
    if (kind == static_cast<int>(simulation::JobKind::Picture)) {
        return QStringLiteral("Picture engraving, %1 \u00d7 %2 pixels, %3%4")
            .arg(f.Picture2.ScaleWidth())
            .arg(f.Picture2.ScaleHeight())
            .arg(f.Check1.value == 1 ? QStringLiteral("Coarse-Burning")
                                     : QStringLiteral("Precise-Burning"))
            .arg(f.Check1.value == 1 && f.Check2.value == 1 ? QStringLiteral(", Hologram-Efect")
                                                            : QString());
    }
    return QStringLiteral("Frame cutting, %1 \u00d7 %2 pixels, %3")
        .arg(f.Picture3.ScaleWidth())
        .arg(f.Picture3.ScaleHeight())
        .arg(f.autoLaser ? QStringLiteral("laser in Auto") : QStringLiteral("laser off"));
}

// What each bit of the three registers carries, by bit number.
const std::array<QString, 8> kDataBits{
    QStringLiteral("X a\npin 2"),  QStringLiteral("X b\npin 3"),
    QStringLiteral("X c\npin 4"),  QStringLiteral("X d\npin 5"),
    QStringLiteral("Y A+\npin 6"), QStringLiteral("Y A\u2212\npin 7"),
    QStringLiteral("Y B+\npin 8"), QStringLiteral("Y B\u2212\npin 9")};
const std::array<QString, 8> kControlBits{QStringLiteral("laser\npin 1 inv."),
                                          QStringLiteral("\u2013"),
                                          QStringLiteral("\u2013"),
                                          QStringLiteral("\u2013"),
                                          QStringLiteral("\u2013"),
                                          QStringLiteral("\u2013"),
                                          QStringLiteral("\u2013"),
                                          QStringLiteral("\u2013")};
const std::array<QString, 8> kStatusBits{
    QStringLiteral("\u2013"), QStringLiteral("\u2013"),
    QStringLiteral("\u2013"), QStringLiteral("\u2013"),
    QStringLiteral("\u2013"), QStringLiteral("Y home\npin 12"),
    QStringLiteral("\u2013"), QStringLiteral("X home\npin 11 inv.")};

// The status bytes that mean something to the home tests; any other reads as both open.
constexpr std::array<uint8_t, 8> kKnownStatus{254, 255, 222, 223, 126, 127, 94, 95};

}  // namespace

// --- MachineWindow ---

// A copy of the window and the machine that a worker thread runs the job on.
struct MachineWindow::PreviewTask {
    form::Snapshot window;
    std::unique_ptr<machine::SimEngraver> head;
    simulation::JobKind kind = simulation::JobKind::Picture;
};

MachineWindow::MachineWindow(panel::Engraver& engraver, machine::SimEngraver* sim, QWidget* parent)
    : QWidget(parent, Qt::Window), engraver_(engraver), sim_(sim) {
    setObjectName(QStringLiteral("MachineWindow"));
    setWindowTitle(sim_ ? QStringLiteral("Machine - simulated engraver")
                        : QStringLiteral("Machine - ") +
                              QString::fromStdString(engraver_.port().describe()));

    auto* columns = new QHBoxLayout(this);
    auto* pieceBox = new QGroupBox(QStringLiteral("Work piece"), this);
    auto* pieceLayout = new QVBoxLayout(pieceBox);
    workPiece_ = new WorkPieceView(pieceBox);
    workPiece_->setObjectName(QStringLiteral("workPiece"));
    pieceLayout->addWidget(workPiece_);
    auto* legend = new QLabel(
        sim_ ? QStringLiteral("Brown: the burn.  Blue: the job's burn as computed.  Ring: the "
                              "head, red while the laser burns.")
             : QStringLiteral("The head where the step counters put it (the burn of a real "
                              "machine is not seen).  Blue: the job's burn as computed."),
        pieceBox);
    legend->setWordWrap(true);
    pieceLayout->addWidget(legend);
    columns->addWidget(pieceBox, 0);

    auto* side = new QVBoxLayout;
    auto* jobBox = new QGroupBox(QStringLiteral("Job"), this);
    buildJobBox(jobBox);
    side->addWidget(jobBox);
    auto* portBox = new QGroupBox(QStringLiteral("Port monitor"), this);
    buildPortBox(portBox);
    side->addWidget(portBox);
    auto* wiringBox = new QGroupBox(QStringLiteral("Wiring test"), this);
    buildWiringBox(wiringBox);
    side->addWidget(wiringBox);
    materialPanel_ = new MaterialPanel(engraver_, picture::MaterialLibrary::defaultFolder(), this);
    side->addWidget(materialPanel_);
    side->addStretch(1);
    columns->addLayout(side, 1);

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(200);  // at most five repaints a second during a run
    connect(&refreshTimer_, &QTimer::timeout, this, &MachineWindow::refreshNow);
    idleTimer_.setInterval(250);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        if (!refreshTimer_.isActive()) refreshNow();
    });
    previewDelay_.setSingleShot(true);
    previewDelay_.setInterval(300);
    connect(&previewDelay_, &QTimer::timeout, this, &MachineWindow::considerPreview);
    hook_ = engraver_.loop().addAfterDispatch([this] { afterDispatch(); });
    // NOTE: the window takes the focus itself when it opens, not the pulse length box: a text
    // cursor blinking there would wake the program twice a second while nothing runs.
    setFocusPolicy(Qt::ClickFocus);
    setFocus();
    refreshNow();
}

MachineWindow::~MachineWindow() {
    engraver_.loop().removeAfterDispatch(hook_);
    // NOTE: the worker calls back into this window; it must be done before the window goes.
    if (worker_.joinable()) worker_.join();
}

void MachineWindow::buildJobBox(QWidget* box) {
    auto* layout = new QVBoxLayout(box);
    jobTitle_ = new QLabel(box);
    jobTitle_->setObjectName(QStringLiteral("jobTitle"));
    jobTitle_->setWordWrap(true);
    jobTime_ = new QLabel(box);
    jobTime_->setObjectName(QStringLiteral("jobTime"));
    QFont big = jobTime_->font();
    big.setPixelSize(20);
    big.setBold(true);
    jobTime_->setFont(big);
    jobDetail_ = new QLabel(box);
    jobDetail_->setObjectName(QStringLiteral("jobDetail"));
    jobDetail_->setWordWrap(true);
    progress_ = new QProgressBar(box);
    progress_->setObjectName(QStringLiteral("jobProgress"));
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progressText_ = new QLabel(box);
    progressText_->setObjectName(QStringLiteral("progressText"));
    elapsed_ = new QLabel(box);
    elapsed_->setObjectName(QStringLiteral("elapsed"));
    for (QWidget* w : {static_cast<QWidget*>(jobTitle_), static_cast<QWidget*>(jobTime_),
                       static_cast<QWidget*>(jobDetail_), static_cast<QWidget*>(progress_),
                       static_cast<QWidget*>(progressText_), static_cast<QWidget*>(elapsed_)}) {
        layout->addWidget(w);
    }
}

void MachineWindow::buildPortBox(QWidget* box) {
    auto* layout = new QVBoxLayout(box);
    data_ = new RegisterView(QStringLiteral("Data 888"), kDataBits, QColor(30, 140, 60), box);
    data_->setObjectName(QStringLiteral("dataRegister"));
    control_ =
        new RegisterView(QStringLiteral("Control 890"), kControlBits, QColor(210, 40, 20), box);
    control_->setObjectName(QStringLiteral("controlRegister"));
    status_ = new RegisterView(QStringLiteral("Status 889"), kStatusBits, QColor(200, 140, 0), box);
    status_->setObjectName(QStringLiteral("statusRegister"));
    switches_ = new QLabel(box);
    switches_->setObjectName(QStringLiteral("switches"));
    for (QWidget* w : {static_cast<QWidget*>(data_), static_cast<QWidget*>(control_),
                       static_cast<QWidget*>(status_), static_cast<QWidget*>(switches_)}) {
        layout->addWidget(w);
    }
    stepTiming_ = new QLabel(box);
    stepTiming_->setObjectName(QStringLiteral("stepTiming"));
    stepTiming_->setWordWrap(true);
    stepTiming_->setToolTip(
        QStringLiteral("While the motors move, the steps are timed at this priority. "
                       "See \"Step timing\" in the README to allow real-time priority."));
    stepTiming_->hide();
    layout->addWidget(stepTiming_);
}

void MachineWindow::setStepTimingSource(std::function<std::string()> describe) {
    stepTimingSource_ = std::move(describe);
    stepTiming_->setVisible(static_cast<bool>(stepTimingSource_));
    refreshNow();
}

void MachineWindow::buildWiringBox(QWidget* box) {
    auto* grid = new QGridLayout(box);
    auto add = [&](motion::WiringTestKind kind, const QString& text, const QString& tip, int row,
                   int column) {
        auto* button = new QPushButton(text, box);
        button->setObjectName(QStringLiteral("wiring-%1").arg(static_cast<int>(kind)));
        button->setToolTip(tip);
        connect(button, &QPushButton::clicked, this, [this, kind] { startWiringTest(kind); });
        grid->addWidget(button, row, column);
        wiringButtons_.push_back(button);
    };
    grid->addWidget(new QLabel(QStringLiteral("X coils"), box), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Y inputs"), box), 1, 0);
    for (size_t i = 0; i < motion::kCoilTests.size(); ++i) {
        const motion::CoilTest& t = motion::kCoilTests[i];
        const bool x = i < 4;
        add(t.kind, QString::fromUtf8(t.name.data(), static_cast<qsizetype>(t.name.size())),
            QStringLiteral("Energises %1 alone for %2 ms (data %3)")
                .arg(QString::fromStdString(motion::wiringTestName(t.kind)))
                .arg(motion::kCoilHoldMs)
                .arg(t.word),
            x ? 0 : 1, 1 + static_cast<int>(i % 4));
    }
    grid->addWidget(new QLabel(QStringLiteral("Laser pulse"), box), 2, 0);
    laserMs_ = new QSpinBox(box);
    laserMs_->setObjectName(QStringLiteral("laserMs"));
    laserMs_->setRange(motion::kLaserPulseMinMs, motion::kLaserPulseMaxMs);
    laserMs_->setValue(100);
    laserMs_->setSuffix(QStringLiteral(" ms"));
    grid->addWidget(laserMs_, 2, 1, 1, 2);
    add(motion::WiringTestKind::LaserPulse, QStringLiteral("Pulse"),
        QStringLiteral("Switches the laser on for the time given (control 203, then 202)"), 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("Steps"), box), 3, 0);
    add(motion::WiringTestKind::StepX, QStringLiteral("X \u00b18"),
        QStringLiteral("Eight half-steps of X out and back at the step period"), 3, 1);
    add(motion::WiringTestKind::StepY, QStringLiteral("Y \u00b18"),
        QStringLiteral("Eight half-steps of Y out and back at the step period"), 3, 2);
    wiringStop_ = new QPushButton(QStringLiteral("Stop"), box);
    wiringStop_->setObjectName(QStringLiteral("wiringStop"));
    connect(wiringStop_, &QPushButton::clicked, this, [this] {
        engraver_.wiringTest().Stop();
        refreshNow();
    });
    grid->addWidget(wiringStop_, 3, 4);
    wiringStatus_ = new QLabel(box);
    wiringStatus_->setObjectName(QStringLiteral("wiringStatus"));
    wiringStatus_->setWordWrap(true);
    wiringStatus_->setMinimumHeight(34);
    grid->addWidget(wiringStatus_, 4, 0, 1, 5);
}

void MachineWindow::startWiringTest(motion::WiringTestKind kind) {
    // The reason of a refusal shows in the status line.
    [[maybe_unused]] const std::string refused =
        engraver_.wiringTest().Start(kind, laserMs_->value());
    refreshNow();
}

void MachineWindow::attachTo(MainWindow& main) {
    main_ = &main;
    QAction* item = main.viewMenu()->addAction(QStringLiteral("Machine"));
    item->setObjectName(QStringLiteral("machine"));
    connect(item, &QAction::triggered, this, &MachineWindow::showBeside);
    connect(&main, &MainWindow::operatorEventForwarded, this, [this] {
        if (isVisible() && !refreshTimer_.isActive()) refreshTimer_.start();
    });
}

void MachineWindow::showBeside() {
    if (!isVisible() && main_) {
        // To the right of the main window when the screen has room, else where it is.
        const QRect frame = main_->frameGeometry();
        const QScreen* screen = main_->screen();
        const QPoint place(frame.right() + 8, frame.top());
        if (screen && screen->availableGeometry().contains(QRect(place, sizeHint()))) move(place);
    }
    show();
    raise();
    activateWindow();
}

void MachineWindow::closeEvent(QCloseEvent* event) {
    // Only hides: View > Machine opens it again. A wiring test runs on to its end.
    event->accept();
}

void MachineWindow::showEvent(QShowEvent* event) {
    // NOTE: a real port's status changes by hand (a head pushed onto its switch) and is
    // polled. The simulator changes only through a dispatched tick or an operator event, which
    // both refresh the window: polling it would wake the program while nothing runs.
    if (!sim_) idleTimer_.start();
    refreshNow();
    QWidget::showEvent(event);
}

void MachineWindow::hideEvent(QHideEvent* event) {
    idleTimer_.stop();
    QWidget::hideEvent(event);
}

// --- Following the core ---

void MachineWindow::afterDispatch() {
    // NOTE: runs after every tick (every few ms during a job): only notes the start of a run
    // and asks for a refresh, which the timer gathers into a few a second.
    if (!runSeen_ && jobRunning()) {
        runSeen_ = true;
        runStartMs_ = engraver_.loop().nowMs();
        // NOTE: the inputs last seen idle may be up to a refresh old: the operator's own
        // settings are compared once more now (the first tick has moved the head already).
        previewForRun_ = preview_ && previewInputs_ && *previewInputs_ == lastIdleInputs_ &&
                         sameSetUp(*previewInputs_, jobInputs());
        exposuresAtRunStart_ = sim_ ? sim_->exposures().size() : 0;
    }
    // A hidden window repaints nothing (and on a real port reads no status); showing it
    // refreshes it at once.
    if (isVisible() && !refreshTimer_.isActive()) refreshTimer_.start();
}

bool MachineWindow::sameSetUp(const JobInputs& a, const JobInputs& b) {
    return a.kind == b.kind && a.pictureWidth == b.pictureWidth &&
           a.pictureHeight == b.pictureHeight && a.frameWidth == b.frameWidth &&
           a.frameHeight == b.frameHeight && a.coarse == b.coarse && a.hologram == b.hologram &&
           a.stepPeriod == b.stepPeriod && a.autoLaser == b.autoLaser;
}

bool MachineWindow::jobRunning() const {
    return form::anyEnabled(engraver_.form(), form::kJobTimers);
}

void MachineWindow::refreshNow() {
    refreshTimer_.stop();
    if (!jobRunning()) runSeen_ = false;
    refreshHead();
    refreshPort();
    if (stepTimingSource_) {
        const QString text =
            QStringLiteral("Step timing: ") + QString::fromStdString(stepTimingSource_());
        if (stepTiming_->text() != text) stepTiming_->setText(text);
    }
    refreshJob();
    refreshWiring();
    materialPanel_->setJobRunning(engraver_.motionRunning());
    if (!engraver_.motionRunning()) {
        const JobInputs inputs = jobInputs();
        if (!(inputs == lastIdleInputs_)) previewDelay_.start();
        lastIdleInputs_ = inputs;
        if (!previewInputs_ || !(*previewInputs_ == inputs)) {
            if (!previewDelay_.isActive() && !computingInputs_) considerPreview();
        }
    }
}

void MachineWindow::refreshHead() {
    const form::Form1& f = engraver_.form();
    if (sim_) {
        workPiece_->addExposures(sim_->exposures());
        workPiece_->setHead(sim_->x() / 2.0, sim_->y() / 2.0, sim_->laserOn(), false);
    } else {
        const bool laser = (engraver_.port().inp(machine::CONTROL_REG) & 1) != 0;
        workPiece_->setHead(f.xStepCount, f.yStepCount, laser, true);
    }
}

void MachineWindow::refreshPort() {
    std::optional<uint8_t> status;
    if (sim_) {
        data_->setValue(sim_->data());
        control_->setValue(sim_->control());
        status = sim_->status();
    } else {
        // Data and control read back the bytes last written (the backend keeps them); the
        // status is a real read, made only while no job, jog or homing uses the port.
        machine::Port& port = engraver_.port();
        data_->setValue(port.inp(machine::DATA_REG));
        control_->setValue(port.inp(machine::CONTROL_REG));
        if (!engraver_.motionRunning()) status = port.inp(machine::STATUS_REG);
    }
    status_->setValue(status);
    if (!status) {
        switches_->setText(QStringLiteral("Home switches: not read while a motor runs"));
        return;
    }
    const bool xHome = (*status & 0x80) != 0, yHome = (*status & 0x20) == 0;
    const bool known =
        std::find(kKnownStatus.begin(), kKnownStatus.end(), *status) != kKnownStatus.end();
    switches_->setText(QStringLiteral("X home switch: <b>%1</b> &nbsp; Y home switch: <b>%2</b>%3")
                           .arg(xHome ? QStringLiteral("closed") : QStringLiteral("open"))
                           .arg(yHome ? QStringLiteral("closed") : QStringLiteral("open"))
                           .arg(known ? QString()
                                      : QStringLiteral("<br>Not a status the home tests know: "
                                                       "both read open")));
}

void MachineWindow::refreshJob() {
    const form::Form1& f = engraver_.form();
    if (jobRunning()) {
        const bool picture = form::anyEnabled(f, form::kPictureRunTimers);
        const int kind =
            static_cast<int>(picture ? simulation::JobKind::Picture : simulation::JobKind::Frame);
        jobTitle_->setText(QStringLiteral("Running: ") + jobName(f, kind));
        const double elapsedMs = engraver_.loop().nowMs() - runStartMs_;
        const bool timed =
            previewForRun_ && preview_ && preview_->outcome == simulation::JobOutcome::Finished;
        double fraction = 0;
        if (picture) {
            const int rows = f.Picture2.ScaleHeight() + 2;  // two rows past the picture too
            const int row = static_cast<int>(std::lround(jobs::progressValue(f.pixelRow)));
            QString text = QStringLiteral("Row %1 of %2").arg(std::min(row + 1, rows)).arg(rows);
            if (sim_) {
                const size_t dots = sim_->exposures().size() - exposuresAtRunStart_;
                text += timed
                            ? QStringLiteral(", dots %1 of %2").arg(dots).arg(preview_->dotsBurned)
                            : QStringLiteral(", dots %1").arg(dots);
            }
            progressText_->setText(text);
            fraction = static_cast<double>(row) / rows;
        } else {
            const int leg =
                f.Timer8.Enabled() ? (f.xMovingMinus ? 3 : 1) : (f.yMovingMinus ? 4 : 2);
            progressText_->setText(QStringLiteral("Leg %1 of 4").arg(leg));
            fraction = (leg - 1) / 4.0;
        }
        if (timed && preview_->jobMs > 0) fraction = elapsedMs / preview_->jobMs;
        progress_->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000));
        jobTime_->setText(timed ? clockText(preview_->jobMs) : QStringLiteral("\u2013"));
        jobDetail_->setText(timed ? QStringLiteral("Job time computed before Run")
                                  : QStringLiteral("No job time: the set-up changed before Run"));
        elapsed_->setText(timed ? QStringLiteral("Elapsed %1, remaining %2")
                                      .arg(clockText(elapsedMs))
                                      .arg(clockText(std::max(0.0, preview_->jobMs - elapsedMs)))
                                : QStringLiteral("Elapsed %1").arg(clockText(elapsedMs)));
        progress_->setVisible(true);
        return;
    }

    progress_->setVisible(false);
    progressText_->clear();
    elapsed_->clear();
    const int kind = f.Option1.value   ? static_cast<int>(simulation::JobKind::Picture)
                     : f.Option2.value ? static_cast<int>(simulation::JobKind::Frame)
                                       : -1;
    if (kind < 0) {
        jobTitle_->setText(QStringLiteral("No job chosen"));
        jobTime_->setText(QStringLiteral("\u2013"));
        jobDetail_->setText(
            QStringLiteral("Choose Picture engraving or Frame cutting to see the job time."));
        return;
    }
    jobTitle_->setText(jobName(f, kind));
    const bool current = preview_ && previewInputs_ && *previewInputs_ == lastIdleInputs_;
    if (!current) {
        jobTime_->setText(QStringLiteral("\u2026"));
        jobDetail_->setText(engraver_.motionRunning()
                                ? QStringLiteral("The job time follows when the motors stop.")
                                : QStringLiteral("Computing the job time\u2026"));
        return;
    }
    const simulation::JobSummary& s = *preview_;
    switch (s.outcome) {
        case simulation::JobOutcome::Finished:
            jobTime_->setText(clockText(s.jobMs));
            jobDetail_->setText(
                s.kind == simulation::JobKind::Picture
                    ? QStringLiteral("Job time from here.  %1 dots to burn, laser on %2.")
                          .arg(s.dotsBurned)
                          .arg(clockText(s.laserOnMs))
                    : QStringLiteral("Job time from here.  Laser on %1.")
                          .arg(clockText(s.laserOnMs)));
            break;
        case simulation::JobOutcome::StillRunning:
            jobTime_->setText(QStringLiteral("over %1").arg(clockText(s.jobMs)));
            jobDetail_->setText(QStringLiteral("The job would not end by itself."));
            break;
        case simulation::JobOutcome::Unusable:
            jobTime_->setText(QStringLiteral("\u2013"));
            jobDetail_->setText(QString::fromStdString(s.error));
            break;
    }
}

void MachineWindow::refreshWiring() {
    motion::WiringTest& test = engraver_.wiringTest();
    const bool usable = test.running() || test.refusal().empty();
    for (QPushButton* b : wiringButtons_) {
        if (b->isEnabled() != usable) b->setEnabled(usable);
    }
    wiringStop_->setEnabled(test.running());
    const std::string why = test.running() ? std::string() : test.refusal();
    const QString text = QString::fromStdString(why.empty() ? test.statusText() : why);
    if (wiringStatus_->text() != text) wiringStatus_->setText(text);
}

// --- The job time ---

MachineWindow::JobInputs MachineWindow::jobInputs() const {
    const form::Form1& f = engraver_.form();
    JobInputs in;
    in.kind = f.Option1.value   ? static_cast<int>(simulation::JobKind::Picture)
              : f.Option2.value ? static_cast<int>(simulation::JobKind::Frame)
                                : -1;
    in.pictureRevision = f.Picture2.revision;
    in.materialDwellMs = f.materialDwellMs;
    in.pictureWidth = f.Picture2.ScaleWidth();
    in.pictureHeight = f.Picture2.ScaleHeight();
    in.frameWidth = f.Picture3.ScaleWidth();
    in.frameHeight = f.Picture3.ScaleHeight();
    in.coarse = f.Check1.value;
    in.hologram = f.Check2.value;
    in.stepPeriod = f.Combo1.caption;
    in.autoLaser = f.autoLaser;
    in.laserPulseOn = f.laserPulseOn;
    in.xStepCount = f.xStepCount;
    in.yStepCount = f.yStepCount;
    in.xPhase = f.xPhase;
    in.yPhase = f.yPhase;
    if (sim_) {
        in.headX = sim_->x();
        in.headY = sim_->y();
        in.rotorX = sim_->rotorX();
        in.rotorY = sim_->rotorY();
    }
    for (size_t i = 0; i < in.jobTimerIntervals.size(); ++i) {
        in.jobTimerIntervals[i] = (f.*form::kJobTimers[i]).Interval();
    }
    return in;
}

void MachineWindow::considerPreview() {
    if (engraver_.motionRunning() || computingInputs_) return;
    const JobInputs inputs = jobInputs();
    if (previewInputs_ && *previewInputs_ == inputs) return;
    if (inputs.kind < 0) {
        preview_.reset();
        previewInputs_ = inputs;
        workPiece_->clearPreview();
        refreshJob();
        return;
    }
    startPreview(inputs);
}

void MachineWindow::startPreview(const JobInputs& inputs) {
    form::Form1& f = engraver_.form();
    auto task = std::make_shared<PreviewTask>();
    task->kind = static_cast<simulation::JobKind>(inputs.kind);
    // The copy: every control (values, captions, rasters), the timers and the window
    // variables, as Run would find them.
    task->window = f.snapshot();

    // The machine: the simulator as it stands, or for a real port one whose head stands where
    // the step counters say (its rotors, where the last moves left them, are not known).
    machine::SimConfig config = sim_ ? sim_->config() : machine::SimConfig{};
    config.headX = sim_ ? sim_->x() / 2.0 : f.xStepCount;
    config.headY = sim_ ? sim_->y() / 2.0 : f.yStepCount;
    config.rotorX = sim_ ? sim_->rotorX() : 0;
    config.rotorY = sim_ ? sim_->rotorY() : 0;
    config.data = sim_ ? sim_->data() : machine::REST_DATA;
    config.control = sim_ ? sim_->control() : machine::REST_CONTROL;
    task->head = std::make_unique<machine::SimEngraver>(config, [] { return 0.0; });

    computingInputs_ = inputs;
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([this, task, inputs] {
        auto summary = std::make_shared<const simulation::JobSummary>(
            simulation::simulateFrom(task->window, *task->head, task->kind));
        QMetaObject::invokeMethod(
            this, [this, inputs, summary] { previewDone(inputs, summary); }, Qt::QueuedConnection);
    });
}

void MachineWindow::previewDone(const JobInputs& inputs,
                                std::shared_ptr<const simulation::JobSummary> summary) {
    if (worker_.joinable()) worker_.join();
    computingInputs_.reset();
    preview_ = std::move(summary);
    previewInputs_ = inputs;
    workPiece_->setPreview(preview_->exposures);
    // A job started while its time was being computed: the time holds for it if nothing was
    // changed before Run.
    if (runSeen_ && inputs == lastIdleInputs_) previewForRun_ = true;
    refreshJob();
    // The set-up may have changed while the job was computed.
    if (!engraver_.motionRunning() && !(jobInputs() == inputs)) previewDelay_.start();
}

bool MachineWindow::waitForPreview(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    refreshNow();
    while (clock.elapsed() < timeoutMs) {
        previewDelay_.stop();
        considerPreview();
        if (!computingInputs_ && previewInputs_ && *previewInputs_ == jobInputs()) {
            refreshNow();
            return true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}

}  // namespace ostrel::ui
