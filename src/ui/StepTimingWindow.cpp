// The "Test step timing" window: runs the self-test on the window's loop (so it measures what a
// job's steps get: the same thread, priority and painting), shows it live and judges it.
#include "ui/StepTimingWindow.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "engraver/Engraver.h"
#include "jobs/Dwell.h"

namespace ostrel::ui {

namespace {

QString ms(double value) {
    return QString::number(value, 'f', 3) + QStringLiteral(" ms");
}

QString figures(const runtime::TimingErrorStats& s) {
    if (s.count() == 0) return QStringLiteral("\u2013");
    return QStringLiteral("p50 %1   p99 %2   max %3   (%4)")
        .arg(ms(s.percentile(0.5)), ms(s.percentile(0.99)), ms(s.maxMs()))
        .arg(s.count());
}

QString verdictText(const QString& what, const runtime::Verdict& v) {
    const QString colour = v.rating == runtime::Rating::Good       ? QStringLiteral("#1e7a1e")
                           : v.rating == runtime::Rating::Marginal ? QStringLiteral("#b36b00")
                                                                   : QStringLiteral("#b01010");
    return QStringLiteral("%1: <b style=\"color:%2\">%3</b><br><small>%4</small>")
        .arg(what, colour, QString::fromStdString(runtime::ratingText(v.rating)),
             QString::fromStdString(v.reason).toHtmlEscaped());
}

int shortestDwellMs() {
    return *std::min_element(jobs::kDwellMs.begin(), jobs::kDwellMs.end());
}

}  // namespace

// --- TimingHistogramView ---

TimingHistogramView::TimingHistogramView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(300, 120);
}

void TimingHistogramView::show(const runtime::TimingErrorStats* stats) {
    stats_ = stats;
    update();
}

void TimingHistogramView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const auto& upper = runtime::TimingErrorStats::kBandUpperMs;
    const int n = static_cast<int>(upper.size());
    const int labelHeight = fontMetrics().height() + 2;
    const int plotHeight = height() - labelHeight - 4;
    const double barWidth = static_cast<double>(width()) / n;
    size_t most = 1;
    if (stats_) {
        for (const size_t c : stats_->bands()) most = std::max(most, c);
    }
    for (int b = 0; b < n; ++b) {
        const QRectF cell(b * barWidth, 0, barWidth, height());
        // Bands a step at 5 ms may err by and still be good are green, beyond the dwell goal red.
        const QColor colour = upper[b] <= 0.1   ? QColor(60, 150, 60)
                              : upper[b] <= 0.5 ? QColor(220, 150, 30)
                                                : QColor(200, 50, 40);
        if (stats_) {
            const size_t count = stats_->bands()[b];
            // A band with anything in it shows at least a sliver.
            const double h = count == 0 ? 0
                                        : std::max(2.0, static_cast<double>(plotHeight) *
                                                            static_cast<double>(count) /
                                                            static_cast<double>(most));
            p.fillRect(QRectF(cell.left() + 2, plotHeight - h + 2, barWidth - 4, h), colour);
        }
        const QString label = b + 1 == n ? QStringLiteral(">%1").arg(upper[b - 1])
                                         : QStringLiteral("%1").arg(upper[b]);
        p.setPen(palette().text().color());
        p.drawText(QRectF(cell.left(), height() - labelHeight, barWidth, labelHeight),
                   Qt::AlignCenter, label);
    }
}

// --- StepTimingWindow ---

StepTimingWindow::StepTimingWindow(engraver::Engraver& engraver,
                                   std::function<std::string()> describe, QWidget* parent)
    : QWidget(parent, Qt::Window), engraver_(engraver), describe_(std::move(describe)) {
    setObjectName(QStringLiteral("StepTimingWindow"));
    setWindowTitle(QStringLiteral("Test step timing"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Runs the steps and dot pulses of a picture run on this computer's clock "
                       "for the time given, without writing the port, and says whether it "
                       "times them well enough. Test with the machine still, while the "
                       "computer does what it usually does during a burn."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Test for"), this));
    seconds_ = new QSpinBox(this);
    seconds_->setObjectName(QStringLiteral("seconds"));
    seconds_->setRange(1, 3600);
    seconds_->setValue(10);
    seconds_->setSuffix(QStringLiteral(" s"));
    controls->addWidget(seconds_);
    start_ = new QPushButton(QStringLiteral("Start"), this);
    start_->setObjectName(QStringLiteral("start"));
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setObjectName(QStringLiteral("stop"));
    stop_->setEnabled(false);
    controls->addWidget(start_);
    controls->addWidget(stop_);
    controls->addStretch(1);
    layout->addLayout(controls);
    connect(start_, &QPushButton::clicked, this, &StepTimingWindow::start);
    connect(stop_, &QPushButton::clicked, this, &StepTimingWindow::stop);

    setting_ = new QLabel(this);
    setting_->setObjectName(QStringLiteral("setting"));
    setting_->setWordWrap(true);
    layout->addWidget(setting_);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Step period error"), this), 0, 0);
    steps_ = new QLabel(this);
    steps_->setObjectName(QStringLiteral("stepFigures"));
    grid->addWidget(steps_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Dot on-time error"), this), 1, 0);
    dots_ = new QLabel(this);
    dots_->setObjectName(QStringLiteral("dotFigures"));
    grid->addWidget(dots_, 1, 1);
    layout->addLayout(grid);
    histogram_ = new TimingHistogramView(this);
    histogram_->setToolTip(
        QStringLiteral("Step period errors by band, in milliseconds (upper edge of each band)"));
    layout->addWidget(histogram_, 1);
    stepVerdict_ = new QLabel(this);
    stepVerdict_->setObjectName(QStringLiteral("stepVerdict"));
    dwellVerdict_ = new QLabel(this);
    dwellVerdict_->setObjectName(QStringLiteral("dwellVerdict"));
    ranAt_ = new QLabel(this);
    ranAt_->setObjectName(QStringLiteral("ranAt"));
    for (QLabel* l : {stepVerdict_, dwellVerdict_, ranAt_}) {
        l->setWordWrap(true);
        l->setTextFormat(Qt::RichText);
        layout->addWidget(l);
    }
    live_.setInterval(250);
    connect(&live_, &QTimer::timeout, this, &StepTimingWindow::refresh);
    refresh();
}

StepTimingWindow::~StepTimingWindow() {
    stop();
}

int StepTimingWindow::stepPeriodMs() const {
    return runtime::parseIntervalText(engraver_.form().Combo1.caption);
}

bool StepTimingWindow::machineMoving() const {
    const form::Form1& f = engraver_.form();
    for (const runtime::Timer* t : {&f.Timer1, &f.Timer2, &f.Timer3, &f.Timer4, &f.Timer5,
                                    &f.Timer6, &f.Timer7, &f.Timer8, &f.Timer9, &f.Timer10}) {
        if (t->Enabled()) return true;
    }
    return false;
}

void StepTimingWindow::start() {
    if (running()) return;
    const int period = stepPeriodMs();
    if (period < 0) {
        ranAt_->setText(QStringLiteral("The step speed box holds no step period: set one first."));
        return;
    }
    // NOTE: the test's ticks would interleave with the machine's and both would be measured
    // wrong: it waits until the machine is still.
    if (machineMoving()) {
        ranAt_->setText(QStringLiteral("The machine is moving: test when it is still."));
        return;
    }
    runtime::StepTimingSettings settings;
    settings.periodMs = period;
    settings.dwellMs = shortestDwellMs();
    settings.seconds = seconds_->value();
    probe_ = std::make_unique<runtime::StepTimingProbe>(engraver_.loop(), settings);
    probe_->setOnFinished([this] {
        // Called from inside the probe's tick: finish once control is back in the loop.
        QTimer::singleShot(0, this, &StepTimingWindow::finished);
    });
    stepVerdict_->clear();
    dwellVerdict_->clear();
    ranAt_->clear();
    probe_->start();
    live_.start();
    refresh();
}

void StepTimingWindow::stop() {
    if (!running()) return;
    probe_->stop();
    finished();
}

void StepTimingWindow::finished() {
    live_.stop();
    refresh();
    if (!probe_) return;
    const std::string ranAt = describe_ ? describe_() : std::string();
    // NOTE: what the thread ran at was sampled while the test's timers ran (refresh()).
    const std::string note =
        runtime::priorityNote(ranAtClass_, ranAt.find("--normal-priority") == std::string::npos);
    const auto& s = probe_->settings();
    stepVerdict_->setText(verdictText(QStringLiteral("Step speed %1 ms").arg(s.periodMs),
                                      runtime::judgeSteps(probe_->periods(), s.periodMs, note)));
    dwellVerdict_->setText(verdictText(QStringLiteral("Shortest dwell %1 ms").arg(s.dwellMs),
                                       runtime::judgeDwell(probe_->onTimes(), s.dwellMs, note)));
    ranAt_->setText(
        ranAt.empty()
            ? QString()
            : QStringLiteral("Ran at %1.").arg(QString::fromStdString(ranAt).toHtmlEscaped()));
}

void StepTimingWindow::refresh() {
    const bool busy = running();
    if (busy) ranAtClass_ = runtime::threadTimingClass();
    start_->setEnabled(!busy);
    seconds_->setEnabled(!busy);
    stop_->setEnabled(busy);
    const int period = busy ? probe_->settings().periodMs : stepPeriodMs();
    setting_->setText(
        QStringLiteral("Step speed %1, shortest dwell %2 ms%3")
            .arg(period < 0 ? QStringLiteral("not set") : QStringLiteral("%1 ms").arg(period))
            .arg(shortestDwellMs())
            .arg(busy ? QStringLiteral(": %1 of %2 s")
                            .arg(static_cast<int>(probe_->elapsedMs() / 1000))
                            .arg(probe_->settings().seconds)
                      : QString()));
    steps_->setText(probe_ ? figures(probe_->periods()) : QStringLiteral("\u2013"));
    dots_->setText(probe_ ? figures(probe_->onTimes()) : QStringLiteral("\u2013"));
    histogram_->show(probe_ ? &probe_->periods() : nullptr);
}

void StepTimingWindow::closeEvent(QCloseEvent* event) {
    stop();
    event->accept();
}

StepTimingWindow* showStepTimingWindow(QWidget* parent, engraver::Engraver& engraver,
                                       std::function<std::string()> describe) {
    auto* window = parent->findChild<StepTimingWindow*>();
    if (!window) window = new StepTimingWindow(engraver, std::move(describe), parent);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace ostrel::ui
