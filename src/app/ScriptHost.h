// The platform services of a headless scenario run: scripted dialog answers, printed messages.
#pragma once

#include <deque>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "form/Host.h"

namespace ostrel::app {

// Every service the core asks for prints one line on `out`, so that a run leaves a readable
// record of what the operator would have seen.
class ScriptHost final : public form::Host {
  public:
    // `folder` is the program's folder; relative dialog answers are taken from `baseDir`.
    ScriptHost(std::ostream& out, std::string folder, std::string baseDir);

    // Queues the answer of one future file dialog; "" cancels it.
    void queueDialogAnswer(const std::string& path);
    size_t pendingDialogAnswers() const { return answers_.size(); }
    // Called once when the program ends (Exit); the runner stops the loop and the script.
    void setOnEnd(std::function<void()> onEnd) { onEnd_ = std::move(onEnd); }
    bool ended() const { return ended_; }
    const std::vector<std::string>& opened() const { return opened_; }

    std::string openFileDialog(const form::FileDialogRequest& request) override;
    void messageBox(const std::string& text, const std::string& title) override;
    void showError(const std::string& text) override;
    bool openWithViewer(const std::string& path) override;
    void showExplanation() override;
    void showAbout() override;
    void endProgram() override;
    std::string programFolder() override { return folder_; }

  private:
    std::ostream& out_;
    std::string folder_;
    std::string baseDir_;
    std::deque<std::string> answers_;
    std::vector<std::string> opened_;
    std::function<void()> onEnd_;
    bool ended_ = false;
};

}  // namespace ostrel::app
