// The help windows, the platform services of the GUI and the program's folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "Version.h"
#include "ui/HelpWindows.h"
#include "ui/ProgramFolder.h"
#include "ui/QtHost.h"

namespace ostrel::ui {
namespace {

int openWindows(const char* name) {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(name) && w->isVisible()) ++n;
    }
    return n;
}

void closeAndUnload(QWidget* w) {
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// --- The texts ---

TEST(GuideText, NineteenLinesJoinedByCrLf) {
    const QString text = explanationText();
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), 18);
    EXPECT_EQ(text.count(u'\r'), 18);
    EXPECT_EQ(text.count(u'\n'), 18);
    EXPECT_FALSE(text.endsWith(u'\n'));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 19);
    EXPECT_EQ(lines[0], QStringLiteral("1.Click Go Home(X)"));
    EXPECT_EQ(lines[1], QStringLiteral("Wait for the  responding."));  // two blanks
    EXPECT_EQ(lines[3], QStringLiteral("Wait for the  responding."));
    EXPECT_EQ(lines[7], QStringLiteral("3.Click Manual."));
    EXPECT_EQ(lines[16],
              QStringLiteral("The operation time for 127X103 pixel image is 30-50 min."));
    EXPECT_EQ(lines[18],
              QStringLiteral("If you want to expand the software, please contact with..."));
    for (const QString& line : lines) EXPECT_FALSE(line.isEmpty());
}

TEST(AboutText, VersionPatternGivesTheRevisionTwoDigits) {
    EXPECT_EQ(versionText(QStringLiteral("1.0.0")), QStringLiteral("Version 1.0.00"));
    EXPECT_EQ(versionText(QStringLiteral("1.2.7")), QStringLiteral("Version 1.2.07"));
    EXPECT_EQ(versionText(QStringLiteral("3.10.42")), QStringLiteral("Version 3.10.42"));
    EXPECT_EQ(versionText(QString::fromLatin1(ostrel::kVersion)), QStringLiteral("Version 1.0.00"));
}

TEST(AboutText, CreditsAreThreeLinesAndTheWarningFourBlanks) {
    EXPECT_EQ(creditsText().split(QStringLiteral("\r\n")).size(), 3);
    EXPECT_EQ(creditsText().count(u'\n'), 2);
    EXPECT_EQ(warningText(), QStringLiteral("    "));
}

// --- The windows ---

TEST(HelpWindows, ExplanationShowsTheGuideAndTheAddressOncePerUse) {
    QtHost host;
    host.showExplanation();
    ExplanationWindow* first = host.explanationWindow();
    ASSERT_NE(first, nullptr);
    host.showExplanation();  // already open: only raised
    EXPECT_EQ(host.explanationWindow(), first);
    EXPECT_EQ(openWindows("Form2"), 1);

    EXPECT_EQ(first->windowTitle(), QStringLiteral("Explanation"));
    EXPECT_EQ(first->size(), QSize(845, 458));
    EXPECT_EQ(first->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_NE(first->minimumSize(), first->maximumSize());  // sizable
    auto* guide = first->findChild<QLabel*>(QStringLiteral("Label1"));
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(guide->pos(), QPoint(8, 8));
    EXPECT_EQ(guide->text().split(u'\n').size(), 19);
    EXPECT_EQ(guide->text(),
              explanationText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(guide->font().pixelSize(), 13);
    EXPECT_TRUE(guide->font().bold());
    auto* address = first->findChild<QLineEdit*>(QStringLiteral("Text1"));
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address->text(), QString::fromLatin1(kContactAddress));
    EXPECT_EQ(address->geometry(), QRect(8, 320, 97, 17));
    // The whole guide shows above the address, and the address fits its box.
    EXPECT_LE(guide->geometry().bottom(), address->y());
    EXPECT_LE(guide->geometry().right(), first->width());
    EXPECT_LE(address->fontMetrics().horizontalAdvance(address->text()) + 4, address->width());

    // Closing unloads it; the next use builds it again.
    closeAndUnload(first);
    EXPECT_EQ(host.explanationWindow(), nullptr);
    host.showExplanation();
    EXPECT_NE(host.explanationWindow(), nullptr);
    EXPECT_EQ(openWindows("Form2"), 1);
}

TEST(HelpWindows, AboutHasItsTitleWithTheTrailingBlankAndFixedSize) {
    QtHost host;
    host.showAbout();
    host.showAbout();
    EXPECT_EQ(openWindows("Form3"), 1);
    AboutWindow* about = host.aboutWindow();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle().toStdString(), "About ");
    EXPECT_EQ(about->size(), QSize(495, 254));
    EXPECT_EQ(about->minimumSize(), about->maximumSize());
    EXPECT_FALSE(about->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(about->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(about->windowIcon().isNull());
    auto label = [&](const char* name) {
        return about->findChild<QLabel*>(QString::fromLatin1(name));
    };
    EXPECT_EQ(label("lblVersion")->text(), QStringLiteral("Version 1.0.00"));
    EXPECT_EQ(label("lblDescription")->text(), QStringLiteral("Full version"));
    EXPECT_EQ(label("lblWarning")->text(), QStringLiteral("    "));
    EXPECT_EQ(label("publisher")->text().split(u'\n').size(), 3);
    EXPECT_FALSE(label("lblTitle")->text().isEmpty());
    // Title and version sit side by side on one line without touching.
    EXPECT_LT(label("lblTitle")->geometry().right(), label("lblVersion")->x());
    EXPECT_LE(label("publisher")->geometry().right(), about->width());
    EXPECT_EQ(label("lblWarning")->geometry(), QRect(8, 152, 481, 161));
}

TEST(HelpWindows, TheTwoWindowsAreIndependentAndNotModal) {
    QtHost host;
    host.showExplanation();
    host.showAbout();
    for (QWidget* w : {static_cast<QWidget*>(host.explanationWindow()),
                       static_cast<QWidget*>(host.aboutWindow())}) {
        EXPECT_TRUE(w->isWindow());
        EXPECT_EQ(w->parentWidget(), nullptr);
        EXPECT_FALSE(w->isModal());
    }
}

// --- The dialogs ---

TEST(FileDialog, TakesFolderSuffixAndFiltersInOrderThenOurs) {
    QTemporaryDir folder;
    const form::FileDialogRequest request{folder.path().toStdString(), "jpg",
                                          "Pictures (*.jpg);;(*gif);;(*.bmp)"};
    QFileDialog dialog;
    configureFileDialog(dialog, request);
    EXPECT_EQ(dialog.nameFilters(),
              (QStringList{QStringLiteral("Pictures (*.jpg)"), QStringLiteral("(*gif)"),
                           QStringLiteral("(*.bmp)"),
                           QStringLiteral("All pictures (*.jpg *.jpeg *.gif *.bmp *.png)")}));
    EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(folder.path()).canonicalPath());
    EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("jpg"));
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
}

TEST(FileDialog, FiltersDefaultToTheLoadCommandsAndNeverRepeatOurs) {
    EXPECT_EQ(fileDialogFilters(""),
              (QStringList{QStringLiteral("Pictures (*.jpg)"), QStringLiteral("(*gif)"),
                           QStringLiteral("(*.bmp)"), QString::fromLatin1(kAllPicturesFilter)}));
    const QStringList withOurs =
        fileDialogFilters(std::string("Pictures (*.jpg);;") + kAllPicturesFilter);
    EXPECT_EQ(withOurs.count(QString::fromLatin1(kAllPicturesFilter)), 1);
    EXPECT_EQ(withOurs.size(), 2);
}

TEST(FileDialog, StartsWhereTheLastPictureCameFromElseByWhereTheProgramRuns) {
    QTemporaryDir last, pictures, build, home;
    const QString gone = last.path() + QStringLiteral("/deleted");
    struct Case {
        const char* what;
        QString lastFolder;
        bool buildTree;
        QString picturesFolder;
        QString expected;
    };
    const Case cases[] = {
        {"the last picture's folder", last.path(), false, pictures.path(), last.path()},
        {"the last folder, also in a build tree", last.path(), true, pictures.path(), last.path()},
        {"first time in a build tree: beside the program", {}, true, pictures.path(), build.path()},
        {"first time installed: Pictures", {}, false, pictures.path(), pictures.path()},
        {"a last folder since deleted", gone, false, pictures.path(), pictures.path()},
        {"installed, no Pictures folder: home", {}, false, gone, home.path()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(loadDialogFolder(c.lastFolder, build.path(), c.buildTree, c.picturesFolder,
                                   home.path()),
                  c.expected)
            << c.what;
    }
}

TEST(MessageBox, InformationIconOneOkTitleAndText) {
    const auto box = makeMessageBox("Select Option < Picture <> Frame >", "Info", nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Info"));
    EXPECT_EQ(box->text(), QStringLiteral("Select Option < Picture <> Frame >"));
}

// --- The program's folder ---

TEST(ProgramFolder, BesideTheProgramInABuildTreeElseTheUsersDataFolder) {
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir writable;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    // A writable folder that is no build tree (an installed program run by root): not there.
    EXPECT_EQ(programFolderFor(writable.path()), data);
    QFile cache(writable.path() + QStringLiteral("/CMakeCache.txt"));
    ASSERT_TRUE(cache.open(QIODevice::WriteOnly));
    cache.close();
    EXPECT_EQ(programFolderFor(writable.path()), QFileInfo(writable.path()).absoluteFilePath());

    const QString missing = writable.path() + QStringLiteral("/no/such/folder");
    EXPECT_EQ(programFolderFor(missing), data);
    EXPECT_TRUE(QFileInfo(data).isDir());  // created for the program's files
    EXPECT_EQ(programFolderFor(QString()), data);
    QStandardPaths::setTestModeEnabled(false);
}

}  // namespace
}  // namespace ostrel::ui
