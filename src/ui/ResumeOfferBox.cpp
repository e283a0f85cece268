// The offer of an interrupted job: read from its journal when something it depends on changed,
// its time computed on a copy, the Resume button enabled only when the job can go on.
#include "ui/ResumeOfferBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "simulation/JobSimulation.h"
#include "ui/MachineViews.h"

namespace ostrel::ui {

ResumeOfferBox::ResumeOfferBox(engraver::Engraver& engraver, machine::SimEngraver* sim,
                               WorkPieceView* workPiece, QWidget* parent)
    : QFrame(parent), engraver_(engraver), sim_(sim), workPiece_(workPiece) {
    setObjectName(QStringLiteral("resumeOffer"));
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(3);
    auto* title = new QLabel(QStringLiteral("<b>Interrupted job</b>"), this);
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("resumeText"));
    text_->setWordWrap(true);
    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("resumeTime"));
    time_->setWordWrap(true);
    button_ = new QPushButton(QStringLiteral("Resume"), this);
    button_->setObjectName(QStringLiteral("resumeJob"));
    button_->setToolTip(
        QStringLiteral("Homes X and Y, travels to the dot with the laser off and goes on with "
                       "the job there."));
    connect(button_, &QPushButton::clicked, this, [this] {
        const simulation::ResumeInputs now = simulation::resumeInputs(
            engraver_.form(), sim_, engraver_.context().host.programFolder());
        const simulation::JobSummary* summary = preview_.summary().get();
        emit resumePressed(preview_.holdsFor(now) && summary &&
                           summary->outcome == simulation::JobOutcome::Finished);
    });
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(time_, 1);
    row->addWidget(button_, 0, Qt::AlignBottom);
    layout->addWidget(title);
    layout->addWidget(text_);
    layout->addLayout(row);
    hide();
    connect(&preview_, &simulation::ResumePreview::finished, this, &ResumeOfferBox::computed);
}

bool ResumeOfferBox::settled() const {
    return !preview_.computing() && inputs_ && preview_.inputs() && *preview_.inputs() == *inputs_;
}

void ResumeOfferBox::consider() {
    const std::string folder = engraver_.context().host.programFolder();
    const simulation::ResumeInputs inputs =
        simulation::resumeInputs(engraver_.form(), sim_, folder);
    if (!inputs_ || !(*inputs_ == inputs)) {
        inputs_ = inputs;
        offer_.reset();
        // NOTE: read only when the journal, picture.bmp or the set-up changed: the check reads
        // every record and hashes the picture.
        if (inputs.journalExists) offer_ = engraver_.jobResume().check();
    }
    if (!offer_ || !offer_->error.empty()) {
        preview_.clear(inputs);
    } else if (!preview_.computing() && !(preview_.inputs() && *preview_.inputs() == inputs)) {
        preview_.start(engraver_.form(), sim_, folder, inputs);
    }
}

void ResumeOfferBox::refresh(bool jobActive) {
    const bool show = offer_.has_value() && !jobActive;
    if (isHidden() == show) setHidden(!show);
    if (!show) {
        workPiece_->setResumeMark(std::nullopt);
        return;
    }
    const jobs::ResumeOffer& o = *offer_;
    const jobs::JournalHeader& h = o.header;
    // A journal whose header was read says what the job was and where it stopped.
    const bool read = h.width > 0 && h.height > 0;
    QString text;
    if (read) {
        const int rows = h.height + 2;  // two rows past the picture too
        text = QStringLiteral(
                   "Picture engraving, %1 \u00d7 %2 pixels, %3, sensitivity %4, step period %5 "
                   "ms. It stopped at row %6 of %7, column %8: %9 dots to go.")
                   .arg(h.width)
                   .arg(h.height)
                   .arg(h.coarse ? QStringLiteral("Coarse-Burning")
                                 : QStringLiteral("Precise-Burning"))
                   .arg(h.sensitivity)
                   .arg(h.stepMs)
                   .arg(std::min(o.point.row + 1, rows))
                   .arg(rows)
                   .arg(std::clamp(o.point.column + 1, 1, h.width))
                   .arg(o.dotsLeft);
        workPiece_->setResumeMark(QPointF(o.point.xSteps, o.point.ySteps));
    } else {
        workPiece_->setResumeMark(std::nullopt);
    }
    QString why = QString::fromStdString(o.error);
    const bool holds = inputs_ && preview_.holdsFor(*inputs_);
    const simulation::JobSummary* summary = preview_.summary().get();
    // Resume itself may refuse what the check let pass (a picture.bmp that cannot be read).
    if (why.isEmpty() && holds && summary->outcome == simulation::JobOutcome::Unusable)
        why = QString::fromStdString(summary->error);
    QString time;
    if (!why.isEmpty()) {
        time = QStringLiteral("Cannot be resumed: ") + why.toHtmlEscaped();
        if (read) {
            time += QStringLiteral(
                " Load the picture of the interrupted job with the settings it ran with to "
                "resume it.");
        }
    } else if (!holds) {
        time = QStringLiteral("Computing the time to the job's end\u2026");
    } else if (summary->outcome == simulation::JobOutcome::Finished) {
        time = QStringLiteral(
                   "Resume takes <b>%1</b> from here, homing and travel included; %2 dots to "
                   "burn.")
                   .arg(QString::fromStdString(simulation::clockText(summary->jobMs)))
                   .arg(summary->dotsBurned);
    } else {
        time = QStringLiteral("The resumed job would not end by itself.");
    }
    if (text_->text() != text) text_->setText(text);
    if (text_->isHidden() != text.isEmpty()) text_->setHidden(text.isEmpty());
    if (time_->text() != time) time_->setText(time);
    const bool usable = why.isEmpty();
    if (button_->isEnabled() != usable) button_->setEnabled(usable);
}

}  // namespace ostrel::ui
