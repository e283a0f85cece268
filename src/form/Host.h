// The platform services the core asks for: dialogs, messages, the viewer, ending the program.
#pragma once

#include <string>

namespace ostrel::form {

// The file-open dialog as the Load command prepares it.
struct FileDialogRequest {
    std::string initialFolder;     // the program's folder
    std::string defaultExtension;  // "jpg"
    // Qt name filters, in order: "Pictures (*.jpg)", "(*gif)", "(*.bmp)" (and more of our own).
    std::string filter;
};

// Implemented by the Qt view in the GUI and by the scenario runner and the tests headless.
class Host {
  public:
    virtual ~Host() = default;
    // Shows the modal open dialog; returns the chosen path, or "" when the operator cancels.
    virtual std::string openFileDialog(const FileDialogRequest& request) = 0;
    // A modal message box with the information icon and one OK button.
    virtual void messageBox(const std::string& text, const std::string& title) = 0;
    // A clear error for the operator (a file that cannot be read, a viewer that is missing).
    virtual void showError(const std::string& text) = 0;
    // Opens a file with the desktop's viewer; false when nothing could open it.
    virtual bool openWithViewer(const std::string& path) = 0;
    virtual void showExplanation() = 0;
    virtual void showAbout() = 0;
    // Ends the program at once (after the caller has put the port at rest).
    virtual void endProgram() = 0;
    // The folder where the program writes its files ("picture.bmp", "graver.jpg").
    virtual std::string programFolder() = 0;
};

}  // namespace ostrel::form
