// The Machine window's picture settings: material profile, tone, dithering, calibration card.
#pragma once

#include <QGroupBox>
#include <QString>

#include "engraver/Engraver.h"
#include "picture/MaterialProfile.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;

namespace ostrel::ui {

class MaterialPanel final : public QGroupBox {
    Q_OBJECT
  public:
    // The profiles are kept in `folder` (the user's data folder by default).
    explicit MaterialPanel(engraver::Engraver& engraver,
                           const QString& folder = picture::MaterialLibrary::defaultFolder(),
                           QWidget* parent = nullptr);

    // NOTE: nothing may change while a motor runs: a job keeps the dwells it started with.
    void setJobRunning(bool running);
    // The last outcome shown to the operator ("" when all is well).
    QString status() const;

    // The actions, as the buttons call them (the dialogs' answers given).
    void chooseMaterial(const QString& name);
    void saveMaterial(const picture::MaterialProfile& profile);
    void deleteMaterial();
    void exportMaterial(const QString& path);
    void importMaterial(const QString& path);
    // Puts the calibration card of the material in force into Picture1 and prepares it for
    // Precise-Burning at its own size.
    void loadCard();

  private:
    void askNewMaterial();
    void refreshList();
    // Hands the settings to the core and prepares the loaded picture again, as one event, so
    // both windows repaint from it.
    void apply();
    void report(const std::optional<QString>& error);
    // The folded panel's line: the material, and the mask and tone when they are not designed.
    void showSummary();

    engraver::Engraver& engraver_;
    picture::MaterialLibrary library_;
    QComboBox* materials_ = nullptr;
    QComboBox* dither_ = nullptr;
    QSlider* brightness_ = nullptr;
    QSlider* contrast_ = nullptr;
    QDoubleSpinBox* gamma_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* summary_ = nullptr;
    QToolButton* toggle_ = nullptr;
    QWidget* body_ = nullptr;
    QPushButton* delete_ = nullptr;
    bool refreshing_ = false;
    bool running_ = false;
};

}  // namespace ostrel::ui
