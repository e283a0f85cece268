// The headless platform of `ostrel script`: dialogs answered from the script, messages printed.
#include "app/ScriptHost.h"

#include <filesystem>
#include <ostream>

#include "app/Inputs.h"

namespace ostrel::app {

namespace {
// The texts carry file names from the script; a whole path fits, a runaway one is cut.
constexpr size_t kShownLimit = 2000;
}  // namespace

ScriptHost::ScriptHost(std::ostream& out, std::string folder, std::string baseDir)
    : out_(out), folder_(std::move(folder)), baseDir_(std::move(baseDir)) {}

void ScriptHost::queueDialogAnswer(const std::string& path) {
    if (path.empty() || baseDir_.empty() || std::filesystem::path(path).is_absolute()) {
        answers_.push_back(path);
        return;
    }
    answers_.push_back((std::filesystem::path(baseDir_) / path).lexically_normal().string());
}

std::string ScriptHost::openFileDialog(const form::FileDialogRequest&) {
    if (answers_.empty()) {
        out_ << "dialog: cancel (no answer left)\n";
        return "";
    }
    std::string answer = std::move(answers_.front());
    answers_.pop_front();
    out_ << "dialog: " << (answer.empty() ? "cancel" : shown(answer, kShownLimit)) << '\n';
    return answer;
}

void ScriptHost::messageBox(const std::string& text, const std::string& title) {
    out_ << "message \"" << shown(title, kShownLimit) << "\": " << shown(text, kShownLimit) << '\n';
}

void ScriptHost::showError(const std::string& text) {
    out_ << "error: " << shown(text, kShownLimit) << '\n';
}

bool ScriptHost::openWithViewer(const std::string& path) {
    opened_.push_back(path);
    out_ << "viewer: " << shown(path, kShownLimit) << '\n';
    return true;
}

void ScriptHost::showExplanation() {
    out_ << "window: Explanation\n";
}

void ScriptHost::showAbout() {
    out_ << "window: About\n";
}

void ScriptHost::endProgram() {
    if (ended_) return;
    ended_ = true;
    out_ << "end of program\n";
    if (onEnd_) onEnd_();
}

}  // namespace ostrel::app
