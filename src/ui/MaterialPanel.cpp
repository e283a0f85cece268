// The Machine window's picture settings: material profile, tone, dithering, calibration card.
#include "ui/MaterialPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <string>

#include "picture/CalibrationCard.h"
#include "picture/PictureSettings.h"

namespace ostrel::ui {

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kBorderPixels = 2;  // a picture box's border, one pixel on each side

QSlider* toneSlider(QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(-picture::kToneLimit, picture::kToneLimit);
    slider->setValue(0);
    return slider;
}

}  // namespace

MaterialPanel::MaterialPanel(engraver::Engraver& engraver, const QString& folder, QWidget* parent)
    : QGroupBox(QStringLiteral("Material and picture"), parent),
      engraver_(engraver),
      library_(folder) {
    // NOTE: folded by default to one line that says what is in force, so that the Machine
    // window keeps its room for the work piece; "Show" opens the controls.
    auto* outer = new QVBoxLayout(this);
    outer->setSpacing(3);
    auto* header = new QHBoxLayout;
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("materialSummary"));
    summary_->setWordWrap(true);
    header->addWidget(summary_, 1);
    toggle_ = new QToolButton(this);
    toggle_->setObjectName(QStringLiteral("materialToggle"));
    toggle_->setCheckable(true);
    toggle_->setText(QStringLiteral("Show"));
    toggle_->setToolTip(QStringLiteral("Material profile, tone adjustments and dithering"));
    header->addWidget(toggle_, 0, Qt::AlignTop);
    outer->addLayout(header);
    body_ = new QWidget(this);
    body_->setObjectName(QStringLiteral("materialBody"));
    body_->setVisible(false);
    outer->addWidget(body_);

    auto* grid = new QGridLayout(body_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setColumnStretch(1, 1);
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Material"), body_), row, 0);
    materials_ = new QComboBox(body_);
    materials_->setToolTip(QStringLiteral("The dwell of each grey level in Precise-Burning"));
    grid->addWidget(materials_, row, 1);
    delete_ = new QPushButton(QStringLiteral("Delete"), body_);
    grid->addWidget(delete_, row++, 2);

    auto* actions = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("New..."), body_);
    add->setToolTip(QStringLiteral("A profile from the calibration card's readings"));
    auto* exportButton = new QPushButton(QStringLiteral("Export..."), body_);
    auto* importButton = new QPushButton(QStringLiteral("Import..."), body_);
    for (QPushButton* b : {add, exportButton, importButton}) actions->addWidget(b);
    grid->addLayout(actions, row++, 0, 1, 3);
    auto* card = new QPushButton(QStringLiteral("Calibration card"), body_);
    card->setToolTip(
        QStringLiteral("Loads the card of the material in force as the picture (Precise-Burning)"));
    grid->addWidget(card, row++, 0, 1, 3);

    grid->addWidget(new QLabel(QStringLiteral("Brightness"), body_), row, 0);
    brightness_ = toneSlider(body_);
    grid->addWidget(brightness_, row++, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Contrast"), body_), row, 0);
    contrast_ = toneSlider(body_);
    grid->addWidget(contrast_, row++, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Gamma"), body_), row, 0);
    gamma_ = new QDoubleSpinBox(body_);
    gamma_->setRange(picture::kGammaMin, picture::kGammaMax);
    gamma_->setSingleStep(0.1);
    gamma_->setValue(1.0);
    grid->addWidget(gamma_, row, 1);
    invert_ = new QCheckBox(QStringLiteral("Invert"), body_);
    grid->addWidget(invert_, row++, 2);

    grid->addWidget(new QLabel(QStringLiteral("Dithering"), body_), row, 0);
    dither_ = new QComboBox(body_);
    for (picture::DitherMethod method : picture::kDitherMethods) {
        dither_->addItem(QString::fromUtf8(picture::ditherTitle(method).data(),
                                           static_cast<int>(picture::ditherTitle(method).size())),
                         static_cast<int>(method));
    }
    dither_->setToolTip(QStringLiteral("The burn mask of Coarse-Burning"));
    grid->addWidget(dither_, row++, 1, 1, 2);

    status_ = new QLabel(this);
    status_->setWordWrap(true);
    outer->addWidget(status_);

    connect(toggle_, &QToolButton::toggled, this, [this](bool open) {
        body_->setVisible(open);
        toggle_->setText(open ? QStringLiteral("Hide") : QStringLiteral("Show"));
    });
    refreshList();
    connect(materials_, &QComboBox::currentTextChanged, this, [this](const QString& name) {
        if (!refreshing_) chooseMaterial(name);
    });
    connect(add, &QPushButton::clicked, this, &MaterialPanel::askNewMaterial);
    connect(delete_, &QPushButton::clicked, this, &MaterialPanel::deleteMaterial);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export material"), materials_->currentText() + ".json",
            QStringLiteral("Material profiles (*.json)"));
        if (!path.isEmpty()) exportMaterial(path);
    });
    connect(importButton, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, QStringLiteral("Import material"), QString(),
                                         QStringLiteral("Material profiles (*.json)"));
        if (!path.isEmpty()) importMaterial(path);
    });
    connect(card, &QPushButton::clicked, this, &MaterialPanel::loadCard);
    for (QSlider* s : {brightness_, contrast_})
        connect(s, &QSlider::valueChanged, this, &MaterialPanel::apply);
    connect(gamma_, &QDoubleSpinBox::valueChanged, this, &MaterialPanel::apply);
    connect(invert_, &QCheckBox::toggled, this, &MaterialPanel::apply);
    connect(dither_, &QComboBox::currentIndexChanged, this, &MaterialPanel::apply);
}

QString MaterialPanel::status() const {
    return status_->text();
}

void MaterialPanel::setJobRunning(bool running) {
    if (running == running_) return;
    running_ = running;
    // A change made while the job ran (a dialog left open) reaches the core once it is over.
    if (!running) apply();
    for (QWidget* child : body_->findChildren<QWidget*>()) child->setEnabled(!running);
}

void MaterialPanel::refreshList() {
    refreshing_ = true;
    materials_->clear();
    materials_->addItems(library_.names());
    materials_->setCurrentText(library_.current().name);
    delete_->setEnabled(library_.current().name != picture::asDesigned().name);
    refreshing_ = false;
    showSummary();
}

void MaterialPanel::showSummary() {
    QStringList parts{library_.current().name};
    const picture::DitherMethod method =
        static_cast<picture::DitherMethod>(dither_->currentData().toInt());
    if (method != picture::DitherMethod::Threshold) {
        const std::string_view title = picture::ditherTitle(method);
        parts << QString::fromUtf8(title.data(), static_cast<int>(title.size()));
    }
    const bool neutral = brightness_->value() == 0 && contrast_->value() == 0 &&
                         gamma_->value() == 1.0 && !invert_->isChecked();
    if (!neutral) parts << QStringLiteral("tone adjusted");
    summary_->setText(parts.join(QStringLiteral(" \u00b7 ")));
}

void MaterialPanel::report(const std::optional<QString>& error) {
    status_->setText(error.value_or(QString()));
    refreshList();
    apply();
}

void MaterialPanel::chooseMaterial(const QString& name) {
    report(library_.choose(name));
}

void MaterialPanel::saveMaterial(const picture::MaterialProfile& profile) {
    report(library_.save(profile));
}

void MaterialPanel::deleteMaterial() {
    report(library_.remove(library_.current().name));
}

void MaterialPanel::exportMaterial(const QString& path) {
    const std::optional<QString> error = library_.exportTo(library_.current().name, path);
    status_->setText(error.value_or(QStringLiteral("Exported to %1.").arg(path)));
}

void MaterialPanel::importMaterial(const QString& path) {
    report(library_.importFrom(path));
}

void MaterialPanel::askNewMaterial() {
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("New material"));
    auto* form = new QFormLayout(&dialog);
    auto* name = new QLineEdit(&dialog);
    name->setMaxLength(picture::kMaxNameLength);
    auto msBox = [&dialog](int value) {
        auto* box = new QSpinBox(&dialog);
        box->setRange(picture::kMinDwellMs, picture::kMaxDwellMs);
        box->setSuffix(QStringLiteral(" ms"));
        box->setValue(value);
        return box;
    };
    const picture::MaterialProfile& now = library_.current();
    QSpinBox* shortest = msBox(now.shortestMs);
    QSpinBox* longest = msBox(now.longestMs);
    auto* cutoff = new QSpinBox(&dialog);
    cutoff->setRange(0, 255);
    cutoff->setValue(now.whiteCutoff);
    auto* gamma = new QDoubleSpinBox(&dialog);
    gamma->setRange(picture::kGammaMin, picture::kGammaMax);
    gamma->setValue(1.0);
    form->addRow(QStringLiteral("Name"), name);
    form->addRow(QStringLiteral("Shortest dwell that marks"), shortest);
    form->addRow(QStringLiteral("Longest dwell that adds tone"), longest);
    form->addRow(QStringLiteral("White cut-off level"), cutoff);
    form->addRow(QStringLiteral("Gamma"), gamma);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return;
    picture::MaterialProfile profile;
    profile.name = name->text().trimmed();
    profile.shortestMs = shortest->value();
    profile.longestMs = longest->value();
    profile.whiteCutoff = cutoff->value();
    profile.curve = picture::DwellCurve::Gamma;
    profile.gamma = gamma->value();
    saveMaterial(profile);
}

void MaterialPanel::apply() {
    showSummary();
    picture::PictureSettings settings;
    settings.material = library_.current();
    settings.tone.brightness = brightness_->value();
    settings.tone.contrast = contrast_->value();
    settings.tone.gamma = gamma_->value();
    settings.tone.invert = invert_->isChecked();
    settings.dither = static_cast<picture::DitherMethod>(dither_->currentData().toInt());
    engraver_.loop().post([this, alive = QPointer<MaterialPanel>(this), settings] {
        if (!alive) return;
        const picture::PictureSettings before = engraver_.pictureSettings();
        if (settings == before) return;
        if (!engraver_.setPictureSettings(settings)) {
            status_->setText(QStringLiteral("Not while the machine moves."));
            return;
        }
        // NOTE: a new material alone leaves the prepared picture (and a finished job's marks on
        // it) as it is; only the tone and the mask are made from the loaded picture.
        if (!(settings.tone == before.tone) || settings.dither != before.dither)
            engraver_.prepareAgain();
    });
}

void MaterialPanel::loadCard() {
    const picture::CalibrationCard card =
        picture::makeCalibrationCard(picture::dwellTable(library_.current()));
    engraver_.loop().post([this, alive = QPointer<MaterialPanel>(this), card] {
        if (!alive) return;
        if (engraver_.motionRunning()) {
            status_->setText(QStringLiteral("Not while the machine moves."));
            return;
        }
        auto twips = [](int pixels) {
            return std::to_string((pixels + kBorderPixels) * kTwipsPerPixel);
        };
        engraver_.set("HScroll1", twips(card.picture.width()));
        engraver_.set("VScroll1", twips(card.picture.height()));
        engraver_.set("Check1", "0");
        engraver_.form().Picture1.setPicture(card.picture);
        engraver_.prepareAgain();
        status_->setText(
            QStringLiteral(
                "The calibration card of \"%1\" is the picture: %2 patches, %3 to %4 ms.")
                .arg(library_.current().name)
                .arg(card.patches.size())
                .arg(card.patches.empty() ? 0 : card.patches.front().dwellMs)
                .arg(card.patches.empty() ? 0 : card.patches.back().dwellMs));
    });
}

}  // namespace ostrel::ui
