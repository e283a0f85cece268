// The platform of every run without a window: `ostrel script`, `ostrel simulate` and the tests.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "form/Host.h"

namespace ostrel::form {

// Answers file dialogs from a queue, keeps a record of every service the core asked for and,
// when a log is set, reports each on one line (the readable record `ostrel script` prints).
// Set-up and record are plain members: a caller sets what it needs and reads what it checks.
class HeadlessHost final : public Host {
  public:
    // --- set-up ---
    std::string folder;   // programFolder()
    std::string baseDir;  // queueDialogAnswer() takes relative answers from here; "" = as given
    std::vector<std::string> dialogAnswers;  // each answers one dialog; "" cancels; none = cancel
    bool viewerWorks = true;                 // what openWithViewer() returns
    std::function<void(const std::string& line)> log;  // one line per service, when set
    std::function<void()> onEnd;                       // called once, when the program ends

    // --- record ---
    std::vector<FileDialogRequest> dialogs;
    std::vector<std::pair<std::string, std::string>> messages;  // text, title
    std::vector<std::string> errors;
    std::vector<std::string> opened;
    int explanations = 0, abouts = 0;
    bool ended = false;

    // Queues the answer of one future dialog, a relative path taken from baseDir; "" cancels.
    void queueDialogAnswer(const std::string& path);

    std::string openFileDialog(const FileDialogRequest& request) override;
    void messageBox(const std::string& text, const std::string& title) override;
    void showError(const std::string& text) override;
    bool openWithViewer(const std::string& path) override;
    void showExplanation() override;
    void showAbout() override;
    void endProgram() override;
    std::string programFolder() override { return folder; }

  private:
    void report(const std::string& line) {
        if (log) log(line);
    }
};

}  // namespace ostrel::form
