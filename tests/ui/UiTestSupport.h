// Shared set-up of the window tests: a real MainWindow over the harness's core.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStyleFactory>
#include <memory>

#include "support/Harness.h"
#include "ui/MainWindow.h"

namespace ostrel::test {

class WindowTest : public ::testing::Test {
  public:
    explicit WindowTest(const machine::SimConfig& config = {}) : h(config) {}

    void SetUp() override {
        // NOTE: the graphical buttons show their colour through Fusion's button palette, as
        // the program itself sets it.
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        // What the windows remember goes to this test's own folder, not the user's settings.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(h.tempDir) + QStringLiteral("/config"));
        h.start();
        window = std::make_unique<ui::MainWindow>(*h.engraver);
    }

    template <typename W = QWidget>
    W* widget(const char* name) {
        return window->findChild<W*>(QString::fromLatin1(name));
    }

    // The event table of the core: the tests put recording handlers into it for controls whose
    // handlers are not built yet.
    form::EventTable& events() { return const_cast<form::EventTable&>(h.engraver->events()); }

    // The head away from both home switches, so that Go Home and the jogs move it.
    static machine::SimConfig awayFromHome() {
        machine::SimConfig config;
        config.headX = 50;
        config.headY = 40;
        return config;
    }

    Harness h;
    std::unique_ptr<ui::MainWindow> window;
};

}  // namespace ostrel::test
