// Test entry point: one application object on the offscreen platform for every test binary; the
// core's tests get one without widgets (QGuiApplication), the window tests a QApplication.
#include <gtest/gtest.h>

#include <cstdlib>

#ifdef OSTREL_CORE_TESTS
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
