// The help windows: the start-up guide and the About window, each built when it is opened.
#include "ui/HelpWindows.h"

#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QVersionNumber>
#include <array>

#include "Version.h"
#include "ui/Look.h"

namespace ostrel::ui {

namespace {

constexpr int kTwipsPerPixel = 15;

// NOTE: the doubled blanks in the second and fourth lines belong to the text.
constexpr std::array<const char*, 19> kGuideLines{
    "1.Click Go Home(X)",
    "Wait for the  responding.",
    "2.Click Go Home(Y)",
    "Wait for the  responding.",
    "If the stepper motor connection good then the x, y coordinate counter must be zero",
    "otherwise verify wiring of the stepper motors or micro switches.",
    "After the problem can be resolved, because that's for sure that there will be.",
    "3.Click Manual.",
    "Try the manual control.",
    "If all good works then you can try the picture engraving.",
    "There are two engraving mode (Coarse-Burning and Precise-Burning).",
    "4.Choose one of them.",
    "5.Click Picture engraving.",
    "6.Click Load.",
    "7.Click Run.",
    "The program automatically completes the operation.",
    "The operation time for 127X103 pixel image is 30-50 min.",
    "The duration of the operation can be shortened if you use 1000mW laser or stronger and a "
    "small change in the software.",
    "If you want to expand the software, please contact with...",
};

constexpr char kAboutTitle[] = "Ostrel Laser Engraver";
constexpr std::array<const char*, 3> kCredits{
    "Controller for a home-built laser engraver",
    "Written by the Ostrel developers",
    "Free to use, study and change",
};

QRect twips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

void makeWhite(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, Qt::black);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// A transparent label at a place in twips, sized to its text.
QLabel* autoLabel(QWidget* parent, const char* name, int left, int top, const QString& text,
                  Qt::Alignment align = Qt::AlignHCenter | Qt::AlignTop) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(align);
    label->move(left / kTwipsPerPixel, top / kTwipsPerPixel);
    label->adjustSize();
    return label;
}

}  // namespace

QString explanationText() {
    QStringList lines;
    for (const char* line : kGuideLines) lines << QString::fromLatin1(line);
    return lines.join(QStringLiteral("\r\n"));
}

QString creditsText() {
    QStringList lines;
    for (const char* line : kCredits) lines << QString::fromLatin1(line);
    return lines.join(QStringLiteral("\r\n"));
}

QString warningText() {
    // Four pieces, the first with two blanks: the notice is blank in this version.
    return QStringLiteral("  ") + QStringLiteral(" ") + QStringLiteral(" ") + QString();
}

QString versionText(const QString& version) {
    const QVersionNumber v = QVersionNumber::fromString(version);
    return QStringLiteral("Version %1.%2.%3")
        .arg(v.majorVersion())
        .arg(v.minorVersion())
        .arg(v.microVersion(), 2, 10, QLatin1Char('0'));
}

// --- Form2 ---

ExplanationWindow::ExplanationWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    loadPictures();
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Explanation"));
    setWindowIcon(QIcon(QStringLiteral(":/ui/help.png")));
    setAttribute(Qt::WA_DeleteOnClose);  // closing unloads it; the next use builds it anew
    makeWhite(this);
    setFont(sansFont(kSmallPx));
    resize(12675 / kTwipsPerPixel, 6870 / kTwipsPerPixel);

    // Form2 Load: the guide. A label breaks lines at "\n"; the text itself keeps CR LF.
    QString shown = explanationText();
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Label1_ = autoLabel(this, "Label1", 120, 120, QString(), Qt::AlignLeft | Qt::AlignTop);
    Label1_->setFont(sansFont(kCaptionPx, true));
    Label1_->setText(shown);
    Label1_->adjustSize();

    Text1_ = new QLineEdit(QString::fromLatin1(kContactAddress), this);
    Text1_->setObjectName(QStringLiteral("Text1"));
    Text1_->setReadOnly(true);  // nothing reacts to it; the address can still be copied
    Text1_->setGeometry(twips(120, 4800, 1455, 255));
    Text1_->setStyleSheet(
        QStringLiteral("QLineEdit { background: rgb(224,224,224); color: black;"
                       " border: 1px solid rgb(128,128,128); padding: 0px 1px; }"));
}

// --- Form3 ---

AboutWindow::AboutWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    loadPictures();
    setObjectName(QStringLiteral("Form3"));
    setWindowIcon(QIcon(QStringLiteral(":/ui/help.png")));
    setAttribute(Qt::WA_DeleteOnClose);
    makeWhite(this);
    setFont(sansFont(kSmallPx));
    setFixedSize(7425 / kTwipsPerPixel, 3810 / kTwipsPerPixel);

    // Form3 Load, in its order.
    setWindowTitle(QStringLiteral("About "));  // NOTE: the trailing blank is part of the title
    lblVersion_ =
        autoLabel(this, "lblVersion", 4680, 240, versionText(QString::fromLatin1(kVersion)));
    lblTitle_ = autoLabel(this, "lblTitle", 2400, 240, QString::fromLatin1(kAboutTitle));
    lblTitle_->setFont(sansFont(kSmallPx, true));
    lblTitle_->adjustSize();
    lblWarning_ = new QLabel(warningText(), this);
    lblWarning_->setObjectName(QStringLiteral("lblWarning"));
    lblWarning_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblWarning_->setWordWrap(true);
    lblWarning_->setGeometry(twips(120, 2280, 7215, 2415));
    lblDescription_ = autoLabel(this, "lblDescription", 3240, 720, QStringLiteral("Full version"));
    QString shown = creditsText();
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));  // a label breaks at LF
    publisher_ = autoLabel(this, "publisher", 3360, 1320, shown);
}

}  // namespace ostrel::ui
