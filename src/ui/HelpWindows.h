// The help windows: the start-up guide (Form2, "Explanation") and the About window (Form3).
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;

namespace ostrel::ui {

// The guide: nineteen lines joined by CR LF, no line break after the last.
QString explanationText();
// The About window's three credit lines joined by CR LF.
QString creditsText();
// The About window's warning notice: four blanks.
QString warningText();
// The address shown under the guide for those who want to extend the program.
inline constexpr char kContactAddress[] = "info@example.org";
// "Version 1.0.00" for "1.0.0": major and minor as plain numbers, the revision with the
// pattern "0#" (at least two digits).
QString versionText(const QString& version);

// Form2: a white, resizable window with the guide and the contact address.
class ExplanationWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit ExplanationWindow(QWidget* parent = nullptr);

  private:
    QLabel* Label1_;
    QLineEdit* Text1_;
};

// Form3: a white window of fixed size with the title, version, description and credits.
class AboutWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit AboutWindow(QWidget* parent = nullptr);

  private:
    QLabel* lblTitle_;
    QLabel* lblVersion_;
    QLabel* lblDescription_;
    QLabel* publisher_;
    QLabel* lblWarning_;
};

}  // namespace ostrel::ui
