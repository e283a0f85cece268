// The GUI's platform services on Qt: file dialog, message boxes, viewer, help windows, quit.
#include "ui/QtHost.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

#include "ui/HelpWindows.h"
#include "ui/ProgramFolder.h"
#include "ui/Settings.h"

namespace ostrel::ui {

namespace {

const QString kLoadFolderKey = QStringLiteral("load/folder");

// The filters the Load command has always offered, for a request that names none.
const QStringList& defaultFilters() {
    static const QStringList filters{QStringLiteral("Pictures (*.jpg)"), QStringLiteral("(*gif)"),
                                     QStringLiteral("(*.bmp)")};
    return filters;
}

template <typename W>
void showOnce(QPointer<W>& window) {
    if (!window) window = new W();  // top-level, owned by nobody: closing deletes it
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

QStringList fileDialogFilters(const std::string& requestFilter) {
    QStringList filters =
        QString::fromStdString(requestFilter).split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    for (QString& f : filters) f = f.trimmed();
    filters.removeAll(QString());
    if (filters.isEmpty()) filters = defaultFilters();
    const QString all = QString::fromLatin1(kAllPicturesFilter);
    if (!filters.contains(all)) filters << all;
    return filters;
}

void configureFileDialog(QFileDialog& dialog, const form::FileDialogRequest& request) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDirectory(QString::fromStdString(request.initialFolder));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    dialog.setNameFilters(fileDialogFilters(request.filter));
}

QString loadDialogFolder(const QString& lastFolder, const QString& requested, bool buildTree,
                         const QString& pictures, const QString& home) {
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir()) return lastFolder;
    if (buildTree) return requested;
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir()) return pictures;
    return home;
}

std::unique_ptr<QMessageBox> makeMessageBox(const std::string& text, const std::string& title,
                                            QWidget* parent) {
    return std::make_unique<QMessageBox>(QMessageBox::Information, QString::fromStdString(title),
                                         QString::fromStdString(text), QMessageBox::Ok, parent);
}

QtHost::QtHost() = default;

QtHost::~QtHost() {
    delete explanation_.data();
    delete about_.data();
}

std::string QtHost::openFileDialog(const form::FileDialogRequest& request) {
    QFileDialog dialog(dialogParent_);
    configureFileDialog(dialog, request);
    const auto settings = openSettings();
    const QString requested = QString::fromStdString(request.initialFolder);
    dialog.setDirectory(loadDialogFolder(
        settings->value(kLoadFolderKey).toString(), requested,
        QDir(requested) == QDir(QCoreApplication::applicationDirPath()) &&
            isBuildTree(QCoreApplication::applicationDirPath()),
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), QDir::homePath()));
    // Large enough to show the file list's columns, within the screen.
    const QScreen* screen = dialogParent_ ? dialogParent_->screen() : QApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    dialog.resize(std::min(900, room.width() * 9 / 10), std::min(580, room.height() * 85 / 100));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    settings->setValue(kLoadFolderKey, QFileInfo(chosen).absolutePath());
    return chosen.toStdString();
}

void QtHost::messageBox(const std::string& text, const std::string& title) {
    makeMessageBox(text, title, dialogParent_)->exec();
}

void QtHost::showError(const std::string& text) {
    QMessageBox::warning(dialogParent_, QStringLiteral("Ostrel"), QString::fromStdString(text));
}

bool QtHost::openWithViewer(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

ExplanationWindow* QtHost::explanationWindow() const {
    return explanation_;
}
AboutWindow* QtHost::aboutWindow() const {
    return about_;
}

void QtHost::showExplanation() {
    showOnce(explanation_);
}

void QtHost::showAbout() {
    showOnce(about_);
}

void QtHost::endProgram() {
    // The caller has put the port at rest. The windows go at once; the loop ends as soon as
    // the handler under way returns to it.
    for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
    QCoreApplication::exit(0);
}

std::string QtHost::programFolder() {
    return ui::programFolder().toStdString();
}

}  // namespace ostrel::ui
