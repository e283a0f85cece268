// The GUI's platform services on Qt: file dialog, message boxes, viewer, help windows, quit.
#include "ui/QtHost.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "ui/HelpWindows.h"
#include "ui/ProgramFolder.h"

namespace ostrel::ui {

namespace {

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
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

void QtHost::messageBox(const std::string& text, const std::string& title) {
    makeMessageBox(text, title, dialogParent_)->exec();
}

void QtHost::showError(const std::string& text) {
    QMessageBox::warning(dialogParent_, QApplication::applicationDisplayName(),
                         QString::fromStdString(text));
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
