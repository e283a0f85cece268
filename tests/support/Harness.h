// A whole core on the virtual loop and the simulated engraver, for the tests of every subsystem.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "machine/Registers.h"
#include "machine/SimEngraver.h"
#include "machine/TracingPort.h"
#include "panel/Engraver.h"
#include "runtime/VirtualEventLoop.h"

namespace ostrel::test {

// Records what the core asks of the platform, and answers file dialogs from a queue.
class FakeHost final : public form::Host {
  public:
    std::vector<std::string> dialogAnswers;  // each answers one dialog; none left = cancel
    std::vector<form::FileDialogRequest> dialogs;
    std::vector<std::pair<std::string, std::string>> messages;  // text, title
    std::vector<std::string> errors;
    std::vector<std::string> opened;
    bool viewerWorks = true;
    int explanations = 0, abouts = 0;
    bool ended = false;
    std::string folder;  // program folder; a fresh temporary folder by default

    std::string openFileDialog(const form::FileDialogRequest& request) override {
        dialogs.push_back(request);
        if (dialogAnswers.empty()) return "";
        std::string answer = dialogAnswers.front();
        dialogAnswers.erase(dialogAnswers.begin());
        return answer;
    }
    void messageBox(const std::string& text, const std::string& title) override {
        messages.emplace_back(text, title);
    }
    void showError(const std::string& text) override { errors.push_back(text); }
    bool openWithViewer(const std::string& path) override {
        opened.push_back(path);
        return viewerWorks;
    }
    void showExplanation() override { ++explanations; }
    void showAbout() override { ++abouts; }
    void endProgram() override { ended = true; }
    std::string programFolder() override { return folder; }
};

struct Harness {
    explicit Harness(const machine::SimConfig& config = {});
    ~Harness();

    // Creates the window in its design state and runs its load procedure.
    void start();
    // Advances virtual time by ms, dispatching everything due.
    void wait(int64_t ms) { loop.advance(ms); }
    // Advances until Timer1 ... Timer9 are all off, or maxMs have passed; true if idle.
    bool untilIdle(int64_t maxMs = 24LL * 3600 * 1000);

    form::Form1& form() { return engraver->form(); }
    // The port writes since the start (or the last clearTrace()), as (address, value).
    std::vector<std::pair<int, int>> writes() const;
    void clearTrace() { trace->clear(); }
    // Last byte written to a register (the latch of the simulated engraver).
    int data() const { return sim->data(); }
    int control() const { return sim->control(); }

    runtime::VirtualEventLoop loop;
    std::unique_ptr<machine::SimEngraver> sim;
    std::unique_ptr<machine::TracingPort> trace;
    FakeHost host;
    std::unique_ptr<panel::Engraver> engraver;
    std::string tempDir;
};

}  // namespace ostrel::test
