// Shared set-up of the window tests: a real MainWindow over the harness's core.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>
#include <memory>

#include "support/Harness.h"
#include "ui/MainWindow.h"

namespace ostrel::test {

class WindowTest : public ::testing::Test {
  public:
    void SetUp() override {
        // NOTE: the graphical buttons show their colour through Fusion's button palette, as
        // the program itself sets it.
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        h.start();
        window = std::make_unique<ui::MainWindow>(*h.engraver);
    }

    template <typename W = QWidget>
    W* widget(const char* name) {
        return window->findChild<W*>(QString::fromLatin1(name));
    }

    // The event table of the core: the tests put recording handlers into it where the
    // subsystem behind a control is not the window's business.
    form::EventTable& events() { return const_cast<form::EventTable&>(h.engraver->events()); }

    Harness h;
    std::unique_ptr<ui::MainWindow> window;
};

}  // namespace ostrel::test
