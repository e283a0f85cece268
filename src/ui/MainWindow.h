// The main window: draws Form1 and forwards the operator's events to the core, nothing more.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <string>
#include <vector>

#include "engraver/Engraver.h"

class QAction;
class QMenu;

namespace ostrel::ui {

// Every control of Form1 becomes one widget whose objectName is the control's name
// ("Command2(6)", "Label1(0)"); the menu items are QActions named "shema", "explan", "about".
// After every event the loop dispatches and after every event forwarded from a widget, the
// window renders Form1 again, setting only what differs. It keeps no state of the system and
// writes no port byte; any event loop may run under it.
class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(engraver::Engraver& engraver, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Brings every widget in line with Form1 now.
    void renderNow();
    // Asks for one render as soon as the event loop is free; requests that come before it
    // runs make no further render (a job ticking every 5 ms repaints once per loop pass).
    void scheduleRender();
    // The "View" menu beside "Help", made on first use: the windows of our own that show the
    // machine put their items into it.
    QMenu* viewMenu();
    // The "Job" menu beside "Help", made on first use: pause (Ctrl+P), which turns into
    // Continue while the job is paused, enabled only when it can act.
    QMenu* jobMenu();

  signals:
    // An operator event went to the core. The Machine window looks at the job's inputs then,
    // rather than polling them while nothing runs.
    void operatorEventForwarded();
    // Pause or Continue from the Job menu was refused; `why` is the core's reason.
    void jobCommandRefused(const QString& why);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The close box puts the machine at rest before the program ends.
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Binding {
        form::Control* control = nullptr;
        QWidget* widget = nullptr;  // null for the menu
        QAction* action = nullptr;  // the menu and its items
    };

    void buildClient();
    QWidget* makeWidget(form::Control& control, QWidget* parent);
    void buildMenu();
    void render(const Binding& binding);

    void forwardClick(const std::string& name);
    void forwardSet(const std::string& name, const std::string& value);
    void jogPressed(const std::string& name, Qt::MouseButton button);
    void jogReleased(const std::string& name);
    // Stops the jog the operator holds, as its mouse-up would: for a press that ends without
    // one (the pointer left the button, the window lost focus, a dialog opened, the button was
    // disabled).
    void releaseHeldJog();
    void afterForward();
    void renderJobMenu();

    engraver::Engraver& engraver_;
    QWidget* client_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QMenu* jobMenu_ = nullptr;
    QAction* pauseItem_ = nullptr;
    std::vector<Binding> bindings_;
    QTimer renderTimer_;
    runtime::HookId renderHook_ = 0;
    // The jog button under a held mouse press, "" when none: input state of the view, which
    // only says where the coming mouse-up belongs.
    std::string heldJog_;
    bool rendering_ = false;
};

}  // namespace ostrel::ui
