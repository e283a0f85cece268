// The Machine window's offer of an interrupted job: where it stopped, why it cannot be resumed
// as the window is set up, or what Resume would take; the Resume button.
#pragma once

#include <QFrame>
#include <optional>

#include "engraver/Engraver.h"
#include "machine/SimEngraver.h"
#include "simulation/ResumePreview.h"

class QLabel;
class QPushButton;

namespace ostrel::ui {

class WorkPieceView;

class ResumeOfferBox final : public QFrame {
    Q_OBJECT
  public:
    // `sim` is the simulated engraver, or null for a real port; `workPiece` gets the mark.
    ResumeOfferBox(engraver::Engraver& engraver, machine::SimEngraver* sim,
                   WorkPieceView* workPiece, QWidget* parent = nullptr);

    // Reads the journal again when it, picture.bmp or the set-up changed, and starts computing
    // the resume when it can be resumed. Only while nothing moves and no job is paused.
    void consider();
    // Shows the offer (or nothing when there is none or `jobActive`).
    void refresh(bool jobActive);
    // A journal is in the program folder (resumable or not), as last read.
    bool offered() const { return offer_.has_value(); }
    // Nothing is being computed and the result is for the inputs last read.
    bool settled() const;
    const simulation::JobSummary* preview() const { return preview_.summary().get(); }

  signals:
    // Resume pressed; `timed` when the time shown was computed for the set-up as it stands.
    void resumePressed(bool timed);
    // A resume's time was computed.
    void computed();

  private:
    engraver::Engraver& engraver_;
    machine::SimEngraver* sim_;
    WorkPieceView* workPiece_;
    QLabel* text_ = nullptr;
    QLabel* time_ = nullptr;
    QPushButton* button_ = nullptr;
    // The interrupted job as last read (none: no journal) and the inputs it was read for.
    std::optional<jobs::ResumeOffer> offer_;
    std::optional<simulation::ResumeInputs> inputs_;
    simulation::ResumePreview preview_;
};

}  // namespace ostrel::ui
