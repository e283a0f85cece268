// The platform services of the GUI: dialogs, messages, the desktop viewer, help windows, ending.
#pragma once

#include <QPointer>
#include <QStringList>
#include <memory>

#include "form/Host.h"

class QFileDialog;
class QMessageBox;
class QWidget;

namespace ostrel::ui {

class ExplanationWindow;
class AboutWindow;

// Our own filter, offered after the ones the Load command asks for.
inline constexpr char kAllPicturesFilter[] = "All pictures (*.jpg *.jpeg *.gif *.bmp *.png)";

// The dialog's name filters: the request's, in its order (separated by ";;"), then ours.
QStringList fileDialogFilters(const std::string& requestFilter);
// Sets up an open dialog as the request says: folder, default suffix, filters, one existing file.
void configureFileDialog(QFileDialog& dialog, const form::FileDialogRequest& request);
// The folder the Load dialog opens in: the one the last picture came from while it exists;
// else, for a program run from its build tree, the folder the request names (the program's
// own); else (an installed program, whose own folder is a hidden data folder) the user's
// Pictures folder, or the home folder when there is none.
QString loadDialogFolder(const QString& lastFolder, const QString& requested, bool buildTree,
                         const QString& pictures, const QString& home);
// The information box of the Load command: information icon, one OK, the given title and text.
std::unique_ptr<QMessageBox> makeMessageBox(const std::string& text, const std::string& title,
                                            QWidget* parent);

class QtHost final : public form::Host {
  public:
    QtHost();
    ~QtHost() override;
    QtHost(const QtHost&) = delete;
    QtHost& operator=(const QtHost&) = delete;

    // The window that owns the modal dialogs (the main window, once it exists).
    void setDialogParent(QWidget* parent) { dialogParent_ = parent; }

    std::string openFileDialog(const form::FileDialogRequest& request) override;
    void messageBox(const std::string& text, const std::string& title) override;
    void showError(const std::string& text) override;
    bool openWithViewer(const std::string& path) override;
    // Each shows its window, building it first when it is not open; an open one is raised.
    void showExplanation() override;
    void showAbout() override;
    void endProgram() override;
    std::string programFolder() override;

    // The open help windows, null when closed.
    ExplanationWindow* explanationWindow() const;
    AboutWindow* aboutWindow() const;

  private:
    QPointer<QWidget> dialogParent_;
    QPointer<ExplanationWindow> explanation_;
    QPointer<AboutWindow> about_;
};

}  // namespace ostrel::ui
