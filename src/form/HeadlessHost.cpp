// The headless platform: dialogs answered from a queue, every service recorded and reported.
#include "form/HeadlessHost.h"

#include <filesystem>

namespace ostrel::form {

void HeadlessHost::queueDialogAnswer(const std::string& path) {
    if (path.empty() || baseDir.empty() || std::filesystem::path(path).is_absolute()) {
        dialogAnswers.push_back(path);
        return;
    }
    dialogAnswers.push_back((std::filesystem::path(baseDir) / path).lexically_normal().string());
}

std::string HeadlessHost::openFileDialog(const FileDialogRequest& request) {
    dialogs.push_back(request);
    if (dialogAnswers.empty()) {
        report("dialog: cancel (no answer left)");
        return "";
    }
    std::string answer = std::move(dialogAnswers.front());
    dialogAnswers.erase(dialogAnswers.begin());
    report("dialog: " + (answer.empty() ? std::string("cancel") : answer));
    return answer;
}

void HeadlessHost::messageBox(const std::string& text, const std::string& title) {
    messages.emplace_back(text, title);
    report("message \"" + title + "\": " + text);
}

void HeadlessHost::showError(const std::string& text) {
    errors.push_back(text);
    report("error: " + text);
}

bool HeadlessHost::openWithViewer(const std::string& path) {
    opened.push_back(path);
    report("viewer: " + path);
    return viewerWorks;
}

void HeadlessHost::showExplanation() {
    ++explanations;
    report("window: Explanation");
}

void HeadlessHost::showAbout() {
    ++abouts;
    report("window: About");
}

void HeadlessHost::endProgram() {
    if (ended) return;
    ended = true;
    report("end of program");
    if (onEnd) onEnd();
}

}  // namespace ostrel::form
