// Pictures of the windows for the documentation; runs only when OSTREL_SCREENSHOT_DIR is set.
//
//   export QT_QPA_PLATFORM=xcb OSTREL_SCREENSHOT_DIR=docs
//   xvfb-run -a -s "-screen 0 1024x768x24" build/tests/test_ui --gtest_filter='Screenshot*'
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>

#include "UiTestSupport.h"
#include "ui/HelpWindows.h"
#include "ui/QtHost.h"

namespace ostrel::test {
namespace {

void settle() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// A prepared burn mask as Load leaves it: a ring and a bar in black on white.
void drawMask(form::PictureBox& box) {
    QImage mask(box.ScaleWidth(), box.ScaleHeight(), QImage::Format_RGB32);
    mask.fill(Qt::white);
    QPainter p(&mask);
    p.setPen(QPen(Qt::black, 9));
    p.drawEllipse(QPointF(63, 51), 32, 32);
    p.fillRect(QRect(14, 86, 99, 8), Qt::black);
    p.end();
    box.setPicture(mask);
}

using Screenshot = WindowTest;

TEST_F(Screenshot, MainWindowAndExplanation) {
    const QByteArray folder = qgetenv("OSTREL_SCREENSHOT_DIR");
    if (folder.isEmpty()) GTEST_SKIP() << "set OSTREL_SCREENSHOT_DIR to take the pictures";
    const QDir out(QString::fromLocal8Bit(folder));

    // After homing, in manual mode with a picture loaded.
    form::Form1& f = h.form();
    drawMask(f.Picture2);
    drawMask(f.Picture3);
    f.Label1[0].caption = "0";
    f.Option1.value = 1;
    for (form::Control& jog : f.Command1) jog.enabled = true;
    f.Command2_6.backColor = form::kLightGreen;
    window->renderNow();
    window->show();
    settle();
    ASSERT_TRUE(window->grab().save(out.filePath(QStringLiteral("main-window.png"))));

    ui::QtHost host;
    host.showExplanation();
    settle();
    ASSERT_TRUE(
        host.explanationWindow()->grab().save(out.filePath(QStringLiteral("explanation.png"))));
    host.showAbout();
    settle();
    ASSERT_TRUE(host.aboutWindow()->grab().save(out.filePath(QStringLiteral("about.png"))));
}

}  // namespace
}  // namespace ostrel::test
