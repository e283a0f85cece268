// The Machine window: work piece, head and laser, job time and progress, port monitor, wiring test.
//
// It shows the core's state and forwards its buttons to the core; it writes no port byte and
// reads the port only through the core. The job time comes from simulation::JobPreview, which
// computes it on a copy of the window and the machine in a worker thread.
#include "ui/MachineWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMoveEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QStringList>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "jobs/PictureRun.h"
#include "machine/Registers.h"
#include "simulation/JobSimulation.h"
#include "ui/JobCommands.h"
#include "ui/MainWindow.h"
#include "ui/Settings.h"
#include "ui/StepTimingWindow.h"

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

// What a paused job is doing, for the Job box.
QString pauseText(const jobs::JobPause& pause) {
    switch (pause.state()) {
        case jobs::JobPause::State::Paused:
            return QStringLiteral(
                       "Paused: the laser is off and the coils hold the head; they are "
                       "released after %1 s of pause.")
                .arg(pause.holdMs() / 1000);
        case jobs::JobPause::State::Released:
            return QStringLiteral(
                "Paused: the laser is off and the coils are released. Continue powers them "
                "again and lets the rotors settle first.");
        case jobs::JobPause::State::Settling:
            return QStringLiteral("Going on: the coils are powered again and the rotors settle.");
        case jobs::JobPause::State::Running:
            break;
    }
    return {};
}

// Where a resume is on its way to the dot, from the timers it uses.
QString resumeStage(const form::Form1& f) {
    if (f.Timer1.Enabled()) return QStringLiteral("Homing X");
    if (f.Timer2.Enabled()) return QStringLiteral("Homing Y");
    if (f.Timer10.Enabled()) return QStringLiteral("Waiting for the start-up notice to end");
    return QStringLiteral("Travelling to the dot with the laser off");
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

// A repaint of the window takes a millisecond or two (2.5 ms drawn off screen on the
// development machine). A refresh waits for a dispatch while the next tick is nearer than this,
// but never longer than kRefreshWaitMs.
constexpr double kRepaintRoomMs = 3;
constexpr double kRefreshWaitMs = 200;

// The side column's width and the narrowest the window gets; below kTwoColumnWidth the work
// piece goes above the boxes.
constexpr int kSideWidth = 390;
constexpr int kMinimumWidth = 360;
constexpr int kMinimumHeight = 320;
constexpr int kTwoColumnWidth = kSideWidth + 270;
constexpr int kColumnMargins = 3 * 6;  // the contents' margins and the gap between the columns
// The size it opens at when the screen has room.
constexpr int kWantedWidth = 1060;
constexpr int kWantedHeight = 860;
constexpr int kGap = 8;  // between the main window and this one

const QString kPlaceKey = QStringLiteral("machineWindow/geometry");

// The running job's kind from its timers.
int runningKind(const form::Form1& f) {
    const bool picture = form::anyEnabled(f, form::kPictureRunTimers);
    return static_cast<int>(picture ? simulation::JobKind::Picture : simulation::JobKind::Frame);
}

// The row a picture job is on, from 1, and its leg for a frame.
int pictureRow(const form::Form1& f, int rows) {
    const int row = static_cast<int>(std::lround(jobs::progressValue(f.pixelRow)));
    return std::clamp(row + 1, 1, std::max(1, rows));
}
int frameLeg(const form::Form1& f) {
    return f.Timer8.Enabled() ? (f.xMovingMinus ? 3 : 1) : (f.yMovingMinus ? 4 : 2);
}

// A label that keeps `lines` lines of room whatever it shows, so that the boxes under it do
// not move when its text changes.
void reserveLines(QLabel* label, int lines) {
    label->setMinimumHeight(label->fontMetrics().lineSpacing() * lines + 2);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

}  // namespace

// --- Placing the window ---

QRect placeBeside(const QRect& mainFrame, const QRect& available, const QSize& wanted,
                  const QSize& minimum, const QMargins& frame) {
    const int frameW = frame.left() + frame.right(), frameH = frame.top() + frame.bottom();
    // The room for the window itself on each side, the gap and the frame taken off.
    const int roomRight = available.right() - mainFrame.right() - kGap - frameW;
    const int roomLeft = mainFrame.left() - available.left() - kGap - frameW;
    const int roomBelow = available.bottom() - mainFrame.bottom() - kGap - frameH;
    const int height =
        std::min(wanted.height(), std::max(minimum.height(), available.height() - frameH));
    const int highest = available.top() + frame.top();
    const int top = std::clamp(mainFrame.top() + frame.top(), highest,
                               std::max(highest, available.bottom() + 1 - frame.bottom() - height));
    if (roomRight >= minimum.width()) {
        const int width = std::min(wanted.width(), roomRight);
        return {mainFrame.right() + 1 + kGap + frame.left(), top, width, height};
    }
    if (roomLeft >= minimum.width()) {
        const int width = std::min(wanted.width(), roomLeft);
        return {mainFrame.left() - kGap - frame.right() - width, top, width, height};
    }
    if (roomBelow >= minimum.height()) {
        const int width = std::min(wanted.width(), available.width() - frameW);
        const int left =
            std::clamp(mainFrame.left(), available.left(),
                       std::max(available.left(), available.right() + 1 - frameW - width));
        return {left + frame.left(), mainFrame.bottom() + 1 + kGap + frame.top(), width,
                std::min(wanted.height(), roomBelow)};
    }
    // No room anywhere beside it (a very small screen): at the screen's right edge, as narrow
    // as the window gets, over as little of the main window as can be.
    return {available.right() + 1 - frame.right() - minimum.width(), top, minimum.width(), height};
}

// --- MachineWindow ---

MachineWindow::MachineWindow(engraver::Engraver& engraver, machine::SimEngraver* sim,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), engraver_(engraver), sim_(sim) {
    setObjectName(QStringLiteral("MachineWindow"));
    setWindowTitle(sim_ ? QStringLiteral("Machine - simulated engraver")
                        : QStringLiteral("Machine - ") +
                              QString::fromStdString(engraver_.port().describe()));

    // NOTE: everything lies in a scroll area, so that the window fits any screen: its own
    // minimum is small, and a window smaller than its contents scrolls instead of growing.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("machineScroll"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    outer->addWidget(scroll_);
    auto* content = new QWidget(scroll_);
    content->setObjectName(QStringLiteral("machineContent"));
    scroll_->setWidget(content);

    columns_ = new QBoxLayout(QBoxLayout::LeftToRight, content);
    columns_->setContentsMargins(6, 6, 6, 6);
    columns_->setSpacing(6);
    // The work piece with the material box folded under it: the box's one line takes the
    // work piece's spare height, not the side column's.
    pieceColumn_ = new QWidget(content);
    pieceColumn_->setObjectName(QStringLiteral("pieceColumn"));
    auto* pieceColumn = new QVBoxLayout(pieceColumn_);
    pieceColumn->setContentsMargins(0, 0, 0, 0);
    pieceColumn->setSpacing(6);
    auto* pieceBox = new QGroupBox(QStringLiteral("Work piece"), pieceColumn_);
    pieceBox_ = pieceBox;
    auto* pieceLayout = new QVBoxLayout(pieceBox);
    pieceLayout->setContentsMargins(4, 4, 4, 4);
    workPiece_ = new WorkPieceView(pieceBox);
    workPiece_->setObjectName(QStringLiteral("workPiece"));
    pieceLayout->addWidget(workPiece_, 1);
    auto* legend = new QLabel(
        sim_ ? QStringLiteral("Brown: the burn.  Blue: the job's burn as computed.  Ring: the "
                              "head, red while the laser burns.")
             : QStringLiteral("The head where the step counters put it (the burn of a real "
                              "machine is not seen).  Blue: the job's burn as computed."),
        pieceBox);
    legend->setWordWrap(true);
    pieceLayout->addWidget(legend);
    pieceColumn->addWidget(pieceBox, 1);
    materialPanel_ =
        new MaterialPanel(engraver_, picture::MaterialLibrary::defaultFolder(), pieceColumn_);
    pieceColumn->addWidget(materialPanel_, 0);
    columns_->addWidget(pieceColumn_, 1);

    side_ = new QWidget(content);
    side_->setObjectName(QStringLiteral("machineSide"));
    auto* side = new QVBoxLayout(side_);
    side->setContentsMargins(0, 0, 0, 0);
    side->setSpacing(6);
    auto* jobBox = new QGroupBox(QStringLiteral("Job"), side_);
    buildJobBox(jobBox);
    side->addWidget(jobBox);
    auto* portBox = new QGroupBox(QStringLiteral("Port monitor"), side_);
    buildPortBox(portBox);
    side->addWidget(portBox);
    auto* wiringBox = new QGroupBox(QStringLiteral("Wiring test"), side_);
    buildWiringBox(wiringBox);
    side->addWidget(wiringBox);
    side->addStretch(1);
    side_->setFixedWidth(kSideWidth);
    columns_->addWidget(side_, 0);

    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kWantedWidth, kWantedHeight);

    refreshTimer_.setParent(this);
    refreshTimer_.setObjectName(QStringLiteral("refreshTimer"));
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(200);  // at most five repaints a second during a run
    connect(&refreshTimer_, &QTimer::timeout, this, &MachineWindow::refreshBetweenTicks);
    idleTimer_.setInterval(250);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        if (!refreshTimer_.isActive()) refreshBetweenTicks();
    });
    watchdogTimer_.setInterval(250);
    connect(&watchdogTimer_, &QTimer::timeout, this, [this] {
        if (!refreshTimer_.isActive()) refreshBetweenTicks();
    });
    previewDelay_.setSingleShot(true);
    previewDelay_.setInterval(300);
    connect(&previewDelay_, &QTimer::timeout, this, [this] {
        considerPreview();
        considerResume();
    });
    connect(&preview_, &simulation::JobPreview::finished, this, &MachineWindow::previewDone);

    hook_ = engraver_.loop().addAfterDispatch([this] { afterDispatch(); });
    refusedRunsSeen_ = engraver_.panel().refusedRuns();
    // NOTE: the window takes the focus itself when it opens, not the pulse length box: a text
    // cursor blinking there would wake the program twice a second while nothing runs.
    setFocusPolicy(Qt::ClickFocus);
    setFocus();
    refreshNow();
}

MachineWindow::~MachineWindow() {
    engraver_.loop().removeAfterDispatch(hook_);
    if (main_) main_->removeEventFilter(this);
}

void MachineWindow::buildJobBox(QWidget* box) {
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(3);
    jobTitle_ = new QLabel(box);
    jobTitle_->setObjectName(QStringLiteral("jobTitle"));
    jobTitle_->setWordWrap(true);
    reserveLines(jobTitle_, 2);
    jobTime_ = new QLabel(box);
    jobTime_->setObjectName(QStringLiteral("jobTime"));
    QFont big = jobTime_->font();
    big.setPixelSize(18);
    big.setBold(true);
    jobTime_->setFont(big);
    jobTime_->setWordWrap(true);
    reserveLines(jobTime_, 1);
    // Pause / Continue beside the job time, shown only while a job runs or is paused.
    pauseButton_ = new QPushButton(QStringLiteral("Pause"), box);
    pauseButton_->setObjectName(QStringLiteral("pauseJob"));
    pauseButton_->setToolTip(
        QStringLiteral("Pause: the laser off at once, the head held (Ctrl+P). Continue goes "
                       "on exactly where the job stopped."));
    pauseButton_->hide();
    connect(pauseButton_, &QPushButton::clicked, this, &MachineWindow::pauseClicked);
    jobDetail_ = new QLabel(box);
    jobDetail_->setObjectName(QStringLiteral("jobDetail"));
    jobDetail_->setWordWrap(true);
    reserveLines(jobDetail_, 2);
    jobNote_ = new QLabel(box);
    jobNote_->setObjectName(QStringLiteral("jobNote"));
    jobNote_->setWordWrap(true);
    reserveLines(jobNote_, 1);
    QPalette warn = jobNote_->palette();
    warn.setColor(QPalette::WindowText, QColor(150, 40, 0));
    jobNote_->setPalette(warn);
    progress_ = new QProgressBar(box);
    progress_->setObjectName(QStringLiteral("jobProgress"));
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setMaximumHeight(14);
    // NOTE: hidden while no job runs, but its room stays: the window does not change height
    // when a job starts.
    QSizePolicy keep = progress_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    progress_->setSizePolicy(keep);
    progressText_ = new QLabel(box);
    progressText_->setObjectName(QStringLiteral("progressText"));
    reserveLines(progressText_, 1);
    elapsed_ = new QLabel(box);
    elapsed_->setObjectName(QStringLiteral("elapsed"));
    reserveLines(elapsed_, 1);
    auto* timeRow = new QHBoxLayout;
    timeRow->setContentsMargins(0, 0, 0, 0);
    timeRow->addWidget(jobTime_, 1);
    timeRow->addWidget(pauseButton_, 0, Qt::AlignVCenter);
    layout->addWidget(jobTitle_);
    layout->addLayout(timeRow);
    for (QWidget* w : {static_cast<QWidget*>(jobDetail_), static_cast<QWidget*>(jobNote_),
                       static_cast<QWidget*>(progress_), static_cast<QWidget*>(progressText_),
                       static_cast<QWidget*>(elapsed_)}) {
        layout->addWidget(w);
    }

    // The interrupted job, when the program folder holds its journal.
    resumeBox_ = new ResumeOfferBox(engraver_, sim_, workPiece_, box);
    connect(resumeBox_, &ResumeOfferBox::resumePressed, this, &MachineWindow::resumeClicked);
    connect(resumeBox_, &ResumeOfferBox::computed, this, [this] {
        // The set-up may have changed while the resume was computed.
        if (!engraver_.motionRunning() && !jobActive()) resumeBox_->consider();
        refreshJob();
    });
    layout->addWidget(resumeBox_);
}

void MachineWindow::buildPortBox(QWidget* box) {
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(2);
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
    auto* testTiming = new QPushButton(QStringLiteral("Test step timing"), box);
    testTiming->setObjectName(QStringLiteral("testStepTiming"));
    connect(testTiming, &QPushButton::clicked, this,
            [this] { showStepTimingWindow(this, engraver_, stepTimingSource_); });
    layout->addWidget(testTiming, 0, Qt::AlignLeft);
}

void MachineWindow::setStepTimingSource(std::function<std::string()> describe) {
    stepTimingSource_ = std::move(describe);
    stepTiming_->setVisible(static_cast<bool>(stepTimingSource_));
    refreshNow();
}

void MachineWindow::buildWiringBox(QWidget* box) {
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(4);
    auto add = [&](motion::WiringTestKind kind, const QString& text, const QString& tip, int row,
                   int column) {
        auto* button = new QPushButton(text, box);
        button->setObjectName(QStringLiteral("wiring-%1").arg(static_cast<int>(kind)));
        button->setToolTip(tip);
        button->setMinimumWidth(34);  // the buttons narrow with the window
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
            QStringLiteral("Energises the %1 alone for %2 ms (data %3)")
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
    wiringStop_->setMinimumWidth(34);
    connect(wiringStop_, &QPushButton::clicked, this, [this] {
        engraver_.wiringTest().stop();
        refreshNow();
    });
    grid->addWidget(wiringStop_, 3, 4);
    wiringStatus_ = new QLabel(box);
    wiringStatus_->setObjectName(QStringLiteral("wiringStatus"));
    wiringStatus_->setWordWrap(true);
    reserveLines(wiringStatus_, 3);
    grid->addWidget(wiringStatus_, 4, 0, 1, 5);
}

void MachineWindow::startWiringTest(motion::WiringTestKind kind) {
    noteOperatorEvent();
    // The reason of a refusal shows in the status line.
    [[maybe_unused]] const std::string refused =
        engraver_.wiringTest().start(kind, laserMs_->value());
    refreshNow();
}

// --- Placing and sizing ---

bool MachineWindow::sideBySide() const {
    return columns_->direction() == QBoxLayout::LeftToRight;
}

void MachineWindow::reflow() {
    // NOTE: two columns only when both fit beside each other with room for a scroll bar; the
    // work piece's legend and the material box decide how narrow its column can get.
    const int twoColumns = std::max(
        kTwoColumnWidth, kSideWidth + pieceColumn_->minimumSizeHint().width() + kColumnMargins +
                             style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    const bool wide = width() >= twoColumns;
    if (wide != sideBySide()) {
        // One column: the boxes first, then the work piece at the column's width.
        columns_->setDirection(wide ? QBoxLayout::LeftToRight : QBoxLayout::BottomToTop);
        side_->setMinimumWidth(wide ? kSideWidth : 0);
        side_->setMaximumWidth(wide ? kSideWidth : QWIDGETSIZE_MAX);
        columns_->setStretchFactor(pieceColumn_, wide ? 1 : 0);
    }
    if (wide) {
        workPiece_->setMinimumHeight(0);
        workPiece_->setMaximumHeight(QWIDGETSIZE_MAX);
    } else {
        // As tall as the width draws the travel area, no taller.
        const QSize hint = workPiece_->sizeHint();
        const int across = std::max(1, scroll_->viewport()->width() - 30);
        workPiece_->setFixedHeight(std::max(workPiece_->minimumSizeHint().height(),
                                            across * hint.height() / hint.width()));
    }
}

void MachineWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    reflow();
    if (isVisible() && !placing_) {
        autoPlaced_ = false;
        rememberPlace();
    }
}

void MachineWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible() && !placing_ && event->spontaneous()) {
        autoPlaced_ = false;
        rememberPlace();
    }
}

void MachineWindow::rememberPlace() {
    openSettings()->setValue(kPlaceKey, geometry());
}

QRect MachineWindow::placeNow() const {
    const QScreen* screen = main_ ? main_->screen() : this->screen();
    if (!screen) return geometry();
    const QRect mainFrame = main_ ? main_->frameGeometry() : QRect();
    // The window system's frame, as it framed the main window (none before it is shown).
    const QMargins frame = main_ && main_->isVisible()
                               ? QMargins(main_->geometry().left() - mainFrame.left(),
                                          main_->geometry().top() - mainFrame.top(),
                                          mainFrame.right() - main_->geometry().right(),
                                          mainFrame.bottom() - main_->geometry().bottom())
                               : QMargins();
    // Where it was last, when that is on a screen and clear of the main window.
    const QRect saved = openSettings()->value(kPlaceKey).toRect();
    if (saved.isValid() && saved.width() >= kMinimumWidth && saved.height() >= kMinimumHeight) {
        const QRect framed = saved.marginsAdded(frame);
        for (const QScreen* s : QGuiApplication::screens()) {
            if (s->availableGeometry().contains(framed) &&
                (!main_ || !framed.intersects(mainFrame))) {
                return saved;
            }
        }
    }
    if (!main_) return geometry();
    return placeBeside(mainFrame, screen->availableGeometry(), QSize(kWantedWidth, kWantedHeight),
                       minimumSize(), frame);
}

void MachineWindow::showBeside(bool fromMenu) {
    if (!isVisible()) {
        const QRect place = placeNow();
        placing_ = true;
        setGeometry(place);
        placing_ = false;
        autoPlaced_ = true;
    }
    if (isMinimized()) showNormal();
    show();
    if (!fromMenu && main_ && main_->isVisible() &&
        frameGeometry().intersects(main_->frameGeometry())) {
        // No room beside the main window on this screen: it stays behind the main window.
        main_->raise();
        main_->activateWindow();
        return;
    }
    raise();
    activateWindow();
}

bool MachineWindow::eventFilter(QObject* watched, QEvent* event) {
    // NOTE: the window system places the main window after it is shown; a Machine window
    // placed beside it before that follows it, until the operator moves it.
    if (watched == main_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        isVisible() && autoPlaced_ && frameGeometry().intersects(main_->frameGeometry())) {
        placing_ = true;
        setGeometry(placeNow());
        placing_ = false;
        if (frameGeometry().intersects(main_->frameGeometry())) main_->raise();
    }
    return QWidget::eventFilter(watched, event);
}

void MachineWindow::attachTo(MainWindow& main) {
    main_ = &main;
    main.installEventFilter(this);
    QAction* item = main.viewMenu()->addAction(QStringLiteral("Machine"));
    item->setObjectName(QStringLiteral("machine"));
    connect(item, &QAction::triggered, this, [this] { showBeside(true); });
    connect(&main, &MainWindow::jobCommandRefused, this, &MachineWindow::showRefusal);
    connect(&main, &MainWindow::operatorEventForwarded, this, [this] {
        noteOperatorEvent();
        if (isVisible() && !refreshTimer_.isActive()) refreshTimer_.start();
    });
}

void MachineWindow::closeEvent(QCloseEvent* event) {
    // Only hides: View > Machine opens it again. A wiring test runs on to its end.
    rememberPlace();
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
    watchdogTimer_.stop();
    QWidget::hideEvent(event);
}

// --- Following the core ---

void MachineWindow::afterDispatch() {
    // NOTE: runs after every tick (every few ms during a job): only notes what changed and
    // asks for a refresh, which the timer gathers into a few a second.
    const bool runWasSeen = runSeen_;
    observe();
    // A hidden window repaints nothing (and on a real port reads no status); showing it
    // refreshes it at once.
    if (!isVisible()) return;
    // The first refresh of a run lays the job box out anew, which takes longest: it follows
    // the run's first dispatch rather than coming at a moment of the timer's.
    if (!runWasSeen && runSeen_ && refreshWantedMs_ < 0) {
        refreshWantedMs_ = engraver_.loop().nowMs();
    }
    if (refreshWantedMs_ >= 0 &&
        (!tickNear() || engraver_.loop().nowMs() - refreshWantedMs_ >= kRefreshWaitMs)) {
        refreshNow();
        return;
    }
    if (!refreshTimer_.isActive()) refreshTimer_.start();
}

void MachineWindow::refreshBetweenTicks() {
    // NOTE: the repaint runs on the thread that writes the steps and times the dots. Started at
    // a moment of its own it would hold a step falling due meanwhile by up to the repaint's
    // time, one step in a hundred at 5 ms; just after a tick the next one is furthest away.
    if (tickNear()) {
        if (refreshWantedMs_ < 0) refreshWantedMs_ = engraver_.loop().nowMs();
        return;
    }
    refreshNow();
}

bool MachineWindow::tickNear() const {
    const runtime::EventLoop& loop = engraver_.loop();
    const double next = loop.nextTickMs();
    return next >= 0 && next - loop.nowMs() < kRepaintRoomMs;
}

void MachineWindow::observe() {
    const form::Form1& f = engraver_.form();
    const bool running = jobRunning();
    const bool paused = engraver_.jobPause().paused();
    const bool resuming = engraver_.jobResume().running();
    const double now = engraver_.loop().nowMs();
    if (!runSeen_ && (running || paused || resuming)) {
        runSeen_ = true;
        runResumed_ = resuming;
        const int chosen = simulation::chosenJob(f);
        runKind_ = running    ? runningKind(f)
                   : resuming ? static_cast<int>(simulation::JobKind::Picture)
                              : std::max(chosen, 0);
        runStartMs_ = now;
        pausedMs_ = 0;
        pausedSinceMs_ = -1;
        wasPaused_ = false;
        jobEnd_.reset();
        abortsAtRunStart_ = engraver_.context().abortGeneration;
        if (resuming) {
            // The time was computed for Resume from the set-up as it stood when it was pressed.
            previewForRun_ = resumeTimed_;
            const jobs::ResumeOffer& o = engraver_.jobResume().offer();
            lastRow_ = std::clamp(o.point.row + 1, 1, std::max(1, o.header.height + 2));
        } else {
            // NOTE: the inputs last seen idle may be up to a refresh old: the operator's own
            // settings are compared once more now (the first tick has moved the head already).
            const JobInputs inputs = simulation::jobInputs(f, sim_);
            previewForRun_ = preview_.holdsFor(lastIdleInputs_) &&
                             simulation::sameSetUp(*preview_.inputs(), inputs);
        }
        resumeTimed_ = false;
        exposuresAtRunStart_ = sim_ ? sim_->exposures().size() : 0;
    }
    if (runSeen_) {
        if (paused && pausedSinceMs_ < 0) pausedSinceMs_ = now;
        if (!paused && pausedSinceMs_ >= 0) {
            pausedMs_ += now - pausedSinceMs_;
            pausedSinceMs_ = -1;
        }
    }
    if (runSeen_ && running) {
        lastRow_ = pictureRow(f, f.Picture2.ScaleHeight() + 2);
        lastLeg_ = frameLeg(f);
    }
    if (runSeen_ && !running && !paused && !resuming) noteRunEnd();
    if (runSeen_) wasPaused_ = paused;

    // Run pressed while the motors moved: say why nothing started.
    const uint64_t refused = engraver_.panel().refusedRuns();
    if (refused != refusedRunsSeen_) {
        refusedRunsSeen_ = refused;
        runNote_ = QString::fromStdString(engraver_.panel().runRefusal());
    }

    // A wiring test that steps an axis leaves its position unknown until the axis is homed.
    motion::WiringTest& test = engraver_.wiringTest();
    if (test.running() && test.kind() == motion::WiringTestKind::StepX) xUnknown_ = true;
    if (test.running() && test.kind() == motion::WiringTestKind::StepY) yUnknown_ = true;
    // Known again once the axis stands on its home switch with its counter at 0 (homing
    // leaves it so; a test that lost no step brings it back there).
    if ((xUnknown_ || yUnknown_) && !test.running() && !engraver_.motionRunning()) {
        const std::optional<uint8_t> status =
            sim_ ? std::optional<uint8_t>(sim_->status()) : engraver_.readPort().status;
        if (status &&
            std::find(kKnownStatus.begin(), kKnownStatus.end(), *status) != kKnownStatus.end()) {
            if ((*status & 0x80) != 0 && f.xStepCount == 0) xUnknown_ = false;
            if ((*status & 0x20) == 0 && f.yStepCount == 0) yUnknown_ = false;
        }
    }
}

void MachineWindow::noteRunEnd() {
    runSeen_ = false;
    const form::Form1& f = engraver_.form();
    const double elapsedMs = runWorkedMs();
    const bool aborted = engraver_.context().abortGeneration != abortsAtRunStart_;
    const bool picture = runKind_ == static_cast<int>(simulation::JobKind::Picture);
    JobEnd end;
    end.title = jobName(f, runKind_);
    if (!aborted && wasPaused_) {
        // Continue refused (the head was moved, another job started): the job stopped there.
        end.outcome = picture ? QStringLiteral("Stopped at row %1").arg(lastRow_)
                              : QStringLiteral("Stopped at leg %1 of 4").arg(lastLeg_);
        end.detail = QStringLiteral("The paused job could not go on; the laser is off.");
    } else if (aborted) {
        end.outcome = picture ? QStringLiteral("Aborted at row %1").arg(lastRow_)
                              : QStringLiteral("Aborted at leg %1 of 4").arg(lastLeg_);
        end.detail = QStringLiteral(
                         "Stopped after %1; the motors are unpowered and the laser "
                         "is off.")
                         .arg(clockText(elapsedMs));
    } else {
        end.outcome = QStringLiteral("Finished: ") + clockText(elapsedMs);
        if (picture) {
            std::optional<int64_t> dots;
            if (sim_) {
                dots = static_cast<int64_t>(sim_->exposures().size() - exposuresAtRunStart_);
            } else if (previewForRun_ && preview_.summary()) {
                dots = preview_.summary()->dotsBurned;  // a real machine's burn is not seen
            }
            if (dots) end.outcome += QStringLiteral(", %1 dots burned").arg(*dots);
        }
        end.detail = QStringLiteral(
            "The job ended by itself with the motors unpowered and the "
            "laser off.");
    }
    jobEnd_ = end;
    runNote_.clear();
}

void MachineWindow::noteOperatorEvent() {
    const bool hadEnd = jobEnd_.has_value() || !commandNote_.isEmpty();
    jobEnd_.reset();
    commandNote_.clear();
    // The note about a refused Run goes with the next event, unless the motors still run.
    if (!engraver_.motionRunning()) runNote_.clear();
    // What this event did: a Run refused now, or a job it ended (Abort), shows from here on.
    observe();
    if (hadEnd || jobEnd_ || !runNote_.isEmpty()) refreshJob();
}

bool MachineWindow::jobRunning() const {
    return form::anyEnabled(engraver_.form(), form::kJobTimers);
}

bool MachineWindow::jobActive() {
    return jobRunning() || engraver_.jobPause().paused() || engraver_.jobResume().running();
}

double MachineWindow::runWorkedMs() const {
    const double now = engraver_.loop().nowMs();
    const double pausing = pausedSinceMs_ >= 0 ? now - pausedSinceMs_ : 0;
    return std::max(0.0, now - runStartMs_ - pausedMs_ - pausing);
}

void MachineWindow::refreshNow() {
    refreshTimer_.stop();
    refreshWantedMs_ = -1;
    observe();
    refreshPort();
    refreshHead();
    if (stepTimingSource_) {
        const QString text =
            QStringLiteral("Step timing: ") + QString::fromStdString(stepTimingSource_());
        if (stepTiming_->text() != text) stepTiming_->setText(text);
    }
    refreshJob();
    refreshWiring();
    // NOTE: a paused job keeps its material: the dots after Continue burn as those before.
    const bool active = jobActive();
    materialPanel_->setJobRunning(engraver_.motionRunning() || active);
    if (!engraver_.motionRunning() && !active) {
        const JobInputs inputs = simulation::jobInputs(engraver_.form(), sim_);
        if (!(inputs == lastIdleInputs_)) previewDelay_.start();
        lastIdleInputs_ = inputs;
        if (!previewDelay_.isActive()) {
            if ((!preview_.inputs() || !(*preview_.inputs() == inputs)) && !preview_.computing())
                considerPreview();
            considerResume();
        }
    }
}

void MachineWindow::refreshHead() {
    const form::Form1& f = engraver_.form();
    if (sim_) {
        workPiece_->addExposures(sim_->exposures());
        workPiece_->setHead(sim_->x() / 2.0, sim_->y() / 2.0, sim_->laserOn(), false,
                            positionKnown());
    } else {
        // The control byte as the port monitor just read it back.
        const bool laser = (control_->value().value_or(0) & 1) != 0;
        workPiece_->setHead(f.xStepCount, f.yStepCount, laser, true, positionKnown());
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
        // core reads the status only while no job, jog or homing uses the port.
        const engraver::PortReading reading = engraver_.readPort();
        data_->setValue(reading.data);
        control_->setValue(reading.control);
        status = reading.status;
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

QString MachineWindow::headNote(int kind) const {
    const form::Form1& f = engraver_.form();
    QStringList notes;
    if (!positionKnown()) {
        notes << QStringLiteral(
                     "The head's position is not known: the wiring test moved %1. "
                     "Home the axes again (Go Home (X), Go Home (Y)).")
                     .arg(xUnknown_ && yUnknown_ ? QStringLiteral("X and Y")
                          : xUnknown_            ? QStringLiteral("X")
                                                 : QStringLiteral("Y"));
    }
    if (kind == static_cast<int>(simulation::JobKind::Picture) &&
        (f.xStepCount != 0 || f.yStepCount != 0)) {
        notes << QStringLiteral(
                     "The head is not at home: the job would start where it stands, "
                     "at X %1, Y %2 full steps from home.")
                     .arg(f.xStepCount)
                     .arg(f.yStepCount);
    } else if (kind == static_cast<int>(simulation::JobKind::Frame)) {
        notes << QStringLiteral("The frame would start where the head stands, at X %1, Y %2.")
                     .arg(f.xStepCount)
                     .arg(f.yStepCount);
    }
    return notes.join(QLatin1Char(' '));
}

void MachineWindow::refreshJob() {
    const form::Form1& f = engraver_.form();
    const PauseCommand command = pauseCommand(engraver_);
    const bool active = jobActive();
    if (pauseButton_->isHidden() == active) pauseButton_->setHidden(!active);
    if (pauseButton_->text() != command.text()) pauseButton_->setText(command.text());
    if (pauseButton_->isEnabled() != command.enabled) pauseButton_->setEnabled(command.enabled);
    resumeBox_->refresh(active);
    if (!active) {
        refreshIdleJob();
        return;
    }
    const bool paused = engraver_.jobPause().paused();
    const bool resuming = engraver_.jobResume().running();
    const int kind = runSeen_ ? runKind_ : runningKind(f);
    const bool picture = kind == static_cast<int>(simulation::JobKind::Picture);
    const QString state = paused     ? QStringLiteral("Paused: ")
                          : resuming ? QStringLiteral("Resuming: ")
                                     : QStringLiteral("Running: ");
    jobTitle_->setText(state + jobName(f, kind));
    const double elapsedMs = runWorkedMs();
    const simulation::JobSummary* summary =
        runResumed_ ? resumeBox_->preview() : preview_.summary().get();
    const bool timed =
        previewForRun_ && summary && summary->outcome == simulation::JobOutcome::Finished;
    double fraction = 0;
    if (resuming) {
        const jobs::ResumeOffer& o = engraver_.jobResume().offer();
        progressText_->setText(QStringLiteral("%1, then on from row %2, column %3")
                                   .arg(resumeStage(f))
                                   .arg(o.point.row + 1)
                                   .arg(std::min(o.point.column + 1, o.header.width)));
    } else if (picture) {
        const int rows = f.Picture2.ScaleHeight() + 2;  // two rows past the picture too
        const int row = static_cast<int>(std::lround(jobs::progressValue(f.pixelRow)));
        QString text = QStringLiteral("Row %1 of %2").arg(std::min(row + 1, rows)).arg(rows);
        if (sim_) {
            const size_t dots = sim_->exposures().size() - exposuresAtRunStart_;
            text += timed ? QStringLiteral(", dots %1 of %2").arg(dots).arg(summary->dotsBurned)
                          : QStringLiteral(", dots %1").arg(dots);
        }
        progressText_->setText(text);
        fraction = static_cast<double>(row) / rows;
    } else {
        const int leg = paused ? lastLeg_ : frameLeg(f);
        progressText_->setText(QStringLiteral("Leg %1 of 4").arg(leg));
        fraction = (leg - 1) / 4.0;
    }
    if (timed && summary->jobMs > 0) fraction = elapsedMs / summary->jobMs;
    progress_->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000));
    jobTime_->setText(timed ? clockText(summary->jobMs) : QString());
    if (paused) {
        jobDetail_->setText(pauseText(engraver_.jobPause()));
    } else if (runResumed_) {
        jobDetail_->setText(timed
                                ? QStringLiteral("Time to the job's end computed before Resume")
                                : QStringLiteral("No job time: the set-up changed before Resume"));
    } else {
        jobDetail_->setText(timed ? QStringLiteral("Job time computed before Run")
                                  : QStringLiteral("No job time: the set-up changed before Run"));
    }
    jobNote_->setText(note());
    const QString pausedFor =
        pausedMs_ > 0 || pausedSinceMs_ >= 0 ? QStringLiteral(" (pauses left out)") : QString();
    elapsed_->setText(
        timed ? QStringLiteral("Elapsed %1, remaining %2%3")
                    .arg(clockText(elapsedMs))
                    .arg(clockText(std::max(0.0, summary->jobMs - elapsedMs)))
                    .arg(pausedFor)
              : QStringLiteral("Elapsed %1%2").arg(clockText(elapsedMs)).arg(pausedFor));
    progress_->setVisible(true);
}

void MachineWindow::refreshIdleJob() {
    const form::Form1& f = engraver_.form();
    progress_->setVisible(false);
    progressText_->clear();
    elapsed_->clear();
    jobNote_->setText(note());
    if (jobEnd_) {
        // The end of the last job, until the operator acts.
        jobTitle_->setText(jobEnd_->title);
        jobTime_->setText(jobEnd_->outcome);
        jobDetail_->setText(jobEnd_->detail);
        return;
    }
    const int kind = simulation::chosenJob(f);
    if (kind < 0) {
        jobTitle_->setText(QStringLiteral("No job chosen"));
        jobTime_->clear();
        jobDetail_->setText(
            QStringLiteral("Choose Picture engraving or Frame cutting to see the job time."));
        if (note().isEmpty()) jobNote_->setText(headNote(kind));
        return;
    }
    jobTitle_->setText(jobName(f, kind));
    if (note().isEmpty()) jobNote_->setText(headNote(kind));
    if (!preview_.holdsFor(lastIdleInputs_)) {
        jobTime_->setText(QStringLiteral("\u2026"));
        jobDetail_->setText(engraver_.motionRunning()
                                ? QStringLiteral("The job time follows when the motors stop.")
                                : QStringLiteral("Computing the job time\u2026"));
        return;
    }
    const simulation::JobSummary& s = *preview_.summary();
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
            jobTime_->clear();
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
    QString text = QString::fromStdString(why.empty() ? test.statusText() : why);
    if (!test.running() && !positionKnown()) {
        text += QStringLiteral(
                    "%1The step counters no longer say where the head is: home the "
                    "axes again.")
                    .arg(text.isEmpty() ? QString() : QStringLiteral("\n"));
    }
    if (wiringStatus_->text() != text) wiringStatus_->setText(text);
    // NOTE: the start-up watchdog can end outside a dispatch (the load procedure switches it
    // off when it finds the port at rest): while it runs, the window looks again and again.
    const bool watchdog = engraver_.form().Timer10.Enabled();
    if (watchdog && isVisible() && !watchdogTimer_.isActive()) watchdogTimer_.start();
    if (!watchdog && watchdogTimer_.isActive()) watchdogTimer_.stop();
}

// --- The job time ---

void MachineWindow::considerPreview() {
    if (engraver_.motionRunning() || preview_.computing()) return;
    const JobInputs inputs = simulation::jobInputs(engraver_.form(), sim_);
    if (preview_.inputs() && *preview_.inputs() == inputs) return;
    if (inputs.kind < 0) {
        preview_.clear(inputs);
        workPiece_->clearPreview();
        refreshJob();
        return;
    }
    preview_.start(engraver_.form(), sim_, inputs);
}

void MachineWindow::previewDone() {
    const JobInputs& inputs = *preview_.inputs();
    workPiece_->setPreview(preview_.summary()->exposures);
    // A job started while its time was being computed: the time holds for it if nothing was
    // changed before Run.
    if (runSeen_ && inputs == lastIdleInputs_) previewForRun_ = true;
    refreshJob();
    // The set-up may have changed while the job was computed.
    if (!engraver_.motionRunning() && !(simulation::jobInputs(engraver_.form(), sim_) == inputs)) {
        previewDelay_.start();
    }
}

bool MachineWindow::waitForPreview(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    refreshNow();
    while (clock.elapsed() < timeoutMs) {
        previewDelay_.stop();
        considerPreview();
        if (!engraver_.motionRunning() && !jobActive()) resumeBox_->consider();
        const bool jobDone = !preview_.computing() && preview_.inputs() &&
                             *preview_.inputs() == simulation::jobInputs(engraver_.form(), sim_);
        // NOTE: the offer is looked at only while nothing moves.
        const bool resumeDone = resumeBox_->settled() || engraver_.motionRunning() || jobActive();
        if (jobDone && resumeDone) {
            refreshNow();
            return true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}

// --- Pause, Continue and Resume ---

void MachineWindow::pauseClicked() {
    noteOperatorEvent();
    const PauseCommand command = pauseCommand(engraver_);
    if (!command.enabled) return;
    postPauseCommand(engraver_, command.continues, this,
                     [this](const QString& why) { showRefusal(why); });
}

void MachineWindow::resumeClicked(bool timed) {
    noteOperatorEvent();
    resumeTimed_ = timed;
    postResume(engraver_, this, [this](const QString& why) { showRefusal(why); });
}

void MachineWindow::showRefusal(const QString& why) {
    commandNote_ = why;
    if (!isVisible()) showBeside(true);
    refreshNow();
}

bool MachineWindow::resumeOffered() {
    considerResume();
    return resumeBox_->offered();
}

void MachineWindow::considerResume() {
    if (engraver_.motionRunning() || jobActive()) return;
    resumeBox_->consider();
    resumeBox_->refresh(false);
}

}  // namespace ostrel::ui
