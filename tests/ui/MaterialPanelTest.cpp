// The Machine window's material and picture box: profiles, tone, dithering, the card.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include "UiTestSupport.h"
#include "picture/CalibrationCard.h"
#include "ui/MaterialPanel.h"

namespace ostrel::test {
namespace {

picture::MaterialProfile cork() {
    picture::MaterialProfile p;
    p.name = QStringLiteral("Cork");
    p.shortestMs = 25;
    p.longestMs = 300;
    p.curve = picture::DwellCurve::Gamma;
    p.whiteCutoff = 220;
    return p;
}

class MaterialPanelTest : public WindowTest {
  public:
    void SetUp() override {
        WindowTest::SetUp();
        panel = std::make_unique<ui::MaterialPanel>(*h.engraver, folder.path());
        h.engraver->set("HScroll1", std::to_string((24 + 2) * 15));
        h.engraver->set("VScroll1", std::to_string((16 + 2) * 15));
        QImage image(48, 32, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 5, x * 5, x * 5));
        }
        const QString path = QString::fromStdString(h.tempDir) + "/ramp.png";
        ASSERT_TRUE(image.save(path));
        h.host.dialogAnswers = {path.toStdString()};
        h.engraver->click("Command2(0)");
        ASSERT_TRUE(h.host.errors.empty());
    }
    void TearDown() override { panel.reset(); }
    // Lets the panel's posted change run.
    void settle() { h.wait(1); }
    QImage prepared() { return h.form().Picture2.raster.copy(); }

    QTemporaryDir folder;
    std::unique_ptr<ui::MaterialPanel> panel;
};

TEST_F(MaterialPanelTest, ASavedProfileIsListedAndPutInForceAndDeletingGoesBackToDesigned) {
    auto* list = panel->findChild<QComboBox*>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentText(), QStringLiteral("As designed"));

    panel->saveMaterial(cork());
    settle();
    EXPECT_TRUE(panel->status().isEmpty()) << panel->status().toStdString();
    EXPECT_EQ(list->currentText(), QStringLiteral("Cork"));
    EXPECT_EQ(list->count(), 2);
    const picture::DwellTable table = picture::dwellTable(cork());
    EXPECT_EQ(h.form().materialDwellMs, std::vector<uint16_t>(table.begin(), table.end()));

    panel->chooseMaterial(QStringLiteral("As designed"));
    settle();
    EXPECT_TRUE(h.form().materialDwellMs.empty());
    panel->chooseMaterial(QStringLiteral("Cork"));
    panel->deleteMaterial();
    settle();
    EXPECT_EQ(list->currentText(), QStringLiteral("As designed"));
    EXPECT_EQ(list->count(), 1);
    EXPECT_TRUE(h.form().materialDwellMs.empty());
}

TEST_F(MaterialPanelTest, ADamagedImportSaysWhyAndKeepsTheProfileInForce) {
    panel->saveMaterial(cork());
    settle();
    QFile bad(folder.filePath("../damaged-profile.json"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("{ \"format\": \"ostrel-material\", \"version\": 7 }");
    bad.close();
    panel->importMaterial(bad.fileName());
    settle();
    EXPECT_TRUE(panel->status().contains(QStringLiteral("damaged-profile.json")))
        << panel->status().toStdString();
    EXPECT_EQ(h.form().materialDwellMs.size(), 256u);
    EXPECT_EQ(h.form().materialDwellMs[0], picture::dwellTable(cork())[0]);
    bad.remove();

    // An export of the profile in force imports as the same profile.
    const QString exported = folder.filePath("exported.json");
    panel->exportMaterial(exported);
    EXPECT_EQ(picture::readProfileFile(exported).profile, cork());
}

TEST_F(MaterialPanelTest, ToneAndDitheringPrepareThePictureAgainAndNeutralGivesTheDesignedBack) {
    h.engraver->set("Check1", "0");  // Precise-Burning: the prepared picture is the grey
    ASSERT_TRUE(h.engraver->prepareAgain());
    const QImage designed = prepared();
    auto* invert = panel->findChild<QCheckBox*>();
    invert->setChecked(true);
    settle();
    QImage inverted = designed.copy();
    picture::applyTone(inverted, picture::ToneSettings{0, 0, 1.0, true});
    EXPECT_EQ(prepared(), inverted);
    invert->setChecked(false);
    settle();
    EXPECT_EQ(prepared(), designed);

    // Coarse-Burning: the dithering makes the mask.
    h.engraver->set("Check1", "1");
    h.engraver->preparation().PreparePicture();
    const QImage threshold = prepared();
    QComboBox* dither = panel->findChildren<QComboBox*>().at(1);
    dither->setCurrentIndex(1);  // Floyd-Steinberg
    settle();
    EXPECT_EQ(h.engraver->pictureSettings().dither, picture::DitherMethod::FloydSteinberg);
    EXPECT_NE(prepared(), threshold);
    dither->setCurrentIndex(0);
    settle();
    EXPECT_EQ(prepared(), threshold);
}

TEST_F(MaterialPanelTest, TheCardBecomesThePictureAtItsOwnSizeInPreciseBurning) {
    panel->loadCard();
    settle();
    const picture::CalibrationCard card =
        picture::makeCalibrationCard(picture::dwellTable(picture::asDesigned()));
    EXPECT_EQ(h.form().Check1.value, 0);
    EXPECT_EQ(h.form().Picture2.raster.size(), card.picture.size());
    EXPECT_EQ(prepared(), card.picture.convertToFormat(QImage::Format_RGB32));
}

TEST_F(MaterialPanelTest, NothingChangesWhileAJobRuns) {
    h.engraver->click("Option1");
    h.engraver->click("Command2(1)");
    ASSERT_TRUE(h.engraver->motionRunning());
    panel->setJobRunning(true);
    EXPECT_FALSE(panel->findChild<QComboBox*>()->isEnabled());
    panel->saveMaterial(cork());  // as a dialog that was open when the job started would
    settle();
    EXPECT_TRUE(h.form().materialDwellMs.empty());
    EXPECT_EQ(panel->status(), QStringLiteral("Not while the machine moves."));
    h.engraver->click("Command2(5)");
}

}  // namespace
}  // namespace ostrel::test
