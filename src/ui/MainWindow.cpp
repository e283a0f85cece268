// The main window: builds a widget for every Form1 control, renders Form1, forwards events.
#include "ui/MainWindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <array>
#include <map>
#include <string_view>

#include "runtime/EventLoop.h"
#include "ui/ClassicStyle.h"
#include "ui/JobCommands.h"
#include "ui/Look.h"
#include "ui/Widgets.h"

namespace ostrel::ui {

using form::Kind;

namespace {

constexpr int kTwipsPerPixel = 15;

// Why a speed or pulse text shows red.
constexpr char kInvalidPeriodTip[] =
    "Not a period the timers can take: a number of milliseconds from 1 to 65535 (a fraction "
    "rounds to whole ones). The previous period stays in force.";

enum class Face { Sans, Heavy };

// The looks that differ from the window's default font ("MS Sans Serif" 8.25 pt, black text,
// the kind's own alignment and background).
struct Look {
    std::string_view name;
    Face face;
    int pixelSize;
    bool bold;
    form::Colour fore;  // -1: the platform's text colour
    int align;          // Qt::Alignment bits; 0: the kind's own
    bool opaque;        // labels: paint the back colour
    bool autoSize;      // labels: sized to the text
};

constexpr int kRight = Qt::AlignRight | Qt::AlignTop;
constexpr int kCentre = Qt::AlignHCenter | Qt::AlignTop;
constexpr int kLeft = Qt::AlignLeft | Qt::AlignTop;

constexpr std::array kLooks{
    // Frames: olive captions on dark grey; the jog pad's frame is grey with a black caption.
    Look{"Frame1", Face::Sans, kCaptionPx, false, kOlive, 0, true, false},
    Look{"Frame2", Face::Sans, kCaptionPx, false, kBlack, 0, true, false},
    Look{"Frame3", Face::Sans, kCaptionPx, false, kOlive, 0, true, false},
    Look{"Frame4", Face::Sans, kCaptionPx, false, kOlive, 0, true, false},
    Look{"Frame5", Face::Sans, kCaptionPx, false, kOlive, 0, true, false},
    Look{"Frame6", Face::Sans, kCaptionPx, false, kOlive, 0, true, false},
    // Counters: green on black, right-aligned.
    Look{"Label1(0)", Face::Heavy, kCounterPx, true, kCounterGreen, kRight, true, false},
    Look{"Label1(1)", Face::Heavy, kCounterPx, true, kCounterGreen, kRight, true, false},
    Look{"Label1(2)", Face::Heavy, kCounterPx, true, kCounterGreen, kRight, true, false},
    // Axis letters beside the counters.
    Look{"Label2(0)", Face::Heavy, kCounterPx, true, kOlive, kCentre, false, true},
    Look{"Label2(1)", Face::Heavy, kCounterPx, true, kOlive, kCentre, false, true},
    Look{"Label2(2)", Face::Heavy, kCounterPx, true, kOlive, kCentre, false, true},
    // "XY" and "Z" on the jog pad.
    Look{"Label3(0)", Face::Heavy, kCrossPx, true, kBlack, kCentre, false, false},
    Look{"Label3(1)", Face::Heavy, kCrossPx, true, kBlack, kCentre, false, false},
    Look{"Label4", Face::Sans, kCaptionPx, false, kOlive, kLeft, false, false},
    Look{"Label5", Face::Sans, kCaptionPx, false, kOlive, kLeft, false, false},
    Look{"Label6", Face::Sans, kCaptionPx, false, kOlive, kLeft, false, true},
    // The start-up notice: bold black on orange.
    Look{"Label7", Face::Sans, kCaptionPx, true, kBlack, kLeft, true, true},
    Look{"Check1", Face::Sans, kCheckPx, false, kBlack, 0, true, false},
    Look{"Command2(0)", Face::Sans, kSmallPx, true, -1, 0, true, false},
    Look{"Command2(1)", Face::Sans, kSmallPx, true, -1, 0, true, false},
    Look{"Command2(4)", Face::Sans, kSmallPx, true, -1, 0, true, false},
    Look{"Command2(5)", Face::Sans, kSmallPx, true, -1, 0, true, false},
    Look{"Command2(6)", Face::Sans, kSmallPx, true, -1, 0, true, false},
    Look{"Command3", Face::Sans, kSmallPx, true, -1, 0, true, false},
    Look{"Command4", Face::Sans, kSmallPx, true, -1, 0, true, false},
    Look{"Command5", Face::Sans, kSmallPx, true, -1, 0, true, false},
    Look{"Command6", Face::Sans, kSmallPx, true, -1, 0, true, false},
};

constexpr Look kDefaultLook{"", Face::Sans, kSmallPx, false, kBlack, kLeft, true, false};

const Look& lookOf(std::string_view name) {
    for (const Look& look : kLooks) {
        if (look.name == name) return look;
    }
    return kDefaultLook;
}

// The chevron of each jog button, by index: the way the head moves on the screen picture.
constexpr std::array<const char*, 6> kJogChevrons{
    ":/ui/jog-up.png",     // Command1(0) "Y -"
    ":/ui/jog-down.png",   // Command1(1) "Y +"
    ":/ui/jog-left.png",   // Command1(2) "X -"
    ":/ui/jog-right.png",  // Command1(3) "X +"
    ":/ui/jog-up.png",     // Command1(4) "Z-UP"
    ":/ui/jog-down.png",   // Command1(5) "Z-Down"
};

// The mouse button as the window's mouse events number it.
int buttonNumber(Qt::MouseButton button) {
    switch (button) {
        case Qt::RightButton:
            return 2;
        case Qt::MiddleButton:
            return 4;
        default:
            return 1;
    }
}

QRect pixelRect(const form::Control& c) {
    return {c.left / kTwipsPerPixel, c.top / kTwipsPerPixel, c.width / kTwipsPerPixel,
            c.height / kTwipsPerPixel};
}

void setRole(QWidget* w, QPalette::ColorRole role, const QColor& wanted) {
    const QColor colour = wanted.isValid() ? wanted : QApplication::palette(w).color(role);
    if (w->palette().color(role) == colour) return;
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

template <typename W>
void setText(W* w, const QString& text) {
    if (w->text() != text) w->setText(text);
}

}  // namespace

MainWindow::MainWindow(engraver::Engraver& engraver, QWidget* parent)
    : QMainWindow(parent), engraver_(engraver) {
    loadPictures();
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/ui/ostrel.png")));
    buildClient();
    buildMenu();
    // The operator cannot resize the window: client area plus menu bar, nothing else.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // NOTE: the window starts with the focus on its client area, not in the first speed list:
    // a text cursor blinking there would wake the program twice a second while nothing runs.
    client_->setFocusPolicy(Qt::ClickFocus);
    client_->setFocus();

    renderTimer_.setSingleShot(true);
    renderTimer_.setInterval(0);
    connect(&renderTimer_, &QTimer::timeout, this, &MainWindow::renderNow);
    renderHook_ = engraver_.loop().addAfterDispatch([this] { scheduleRender(); });
    renderNow();
}

MainWindow::~MainWindow() {
    engraver_.loop().removeAfterDispatch(renderHook_);
}

// --- Building ---

void MainWindow::buildClient() {
    form::Form1& f = engraver_.form();
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(f.form.width / kTwipsPerPixel, f.form.height / kTwipsPerPixel);
    client_->setAutoFillBackground(true);
    client_->setFont(sansFont(kSmallPx));
    setCentralWidget(client_);
    bindings_.push_back({&f.form, client_, nullptr});

    // Frames first: they contain the other controls.
    std::map<std::string, QWidget*, std::less<>> containers;
    for (form::Control* c : f.controls()) {
        if (c->kind != Kind::Frame) continue;
        QWidget* w = makeWidget(*c, client_);
        containers.emplace(c->name, w);
        bindings_.push_back({c, w, nullptr});
    }
    for (form::Control* c : f.controls()) {
        if (c->kind == Kind::Frame || c->kind == Kind::Form || c->kind == Kind::Menu) continue;
        const auto in = containers.find(c->container);
        QWidget* w = makeWidget(*c, in == containers.end() ? client_ : in->second);
        bindings_.push_back({c, w, nullptr});
    }
    // The start-up notice lies over whatever is under it.
    if (QWidget* notice = client_->findChild<QWidget*>(QStringLiteral("Label7"))) notice->raise();
}

QWidget* MainWindow::makeWidget(form::Control& c, QWidget* parent) {
    const Look& look = lookOf(c.name);
    const std::string name = c.name;
    QWidget* w = nullptr;
    switch (c.kind) {
        case Kind::Frame: {
            auto* frame = new FrameBox(parent);
            frame->setAutoFillBackground(true);
            w = frame;
            break;
        }
        case Kind::Label: {
            auto* label = new QLabel(parent);
            label->setAlignment(Qt::Alignment(look.align));
            label->setAutoFillBackground(look.opaque);
            label->setTextFormat(Qt::PlainText);
            w = label;
            break;
        }
        case Kind::Button:
        case Kind::GraphicalButton: {
            if (name.rfind("Command1(", 0) == 0) {
                const int index = name[9] - '0';
                auto* jog =
                    new JogButton(QPixmap(QString::fromLatin1(kJogChevrons.at(index))), parent);
                jog->installEventFilter(this);
                w = jog;
                break;
            }
            auto* button = new QPushButton(parent);
            button->setAutoDefault(false);
            connect(button, &QPushButton::clicked, this, [this, name] { forwardClick(name); });
            w = button;
            break;
        }
        case Kind::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            // NOTE: the drop-down list keeps black items when the text turns red.
            QPalette list = combo->view()->palette();
            list.setColor(QPalette::Text, Qt::black);
            combo->view()->setPalette(list);
            connect(combo, &QComboBox::editTextChanged, this,
                    [this, name](const QString& text) { forwardSet(name, text.toStdString()); });
            w = combo;
            break;
        }
        case Kind::CheckBox: {
            auto* box = new QCheckBox(parent);
            box->setAutoFillBackground(true);
            // NOTE: a button fills with its button colour; a box lies on its back colour.
            box->setBackgroundRole(QPalette::Window);
            connect(box, &QCheckBox::clicked, this, [this, name] { forwardClick(name); });
            w = box;
            break;
        }
        case Kind::OptionButton: {
            auto* option = new QRadioButton(parent);
            // NOTE: the core selects one option and deselects the other; Qt's own exclusive
            // group would keep a second copy of that state.
            option->setAutoExclusive(false);
            option->setAutoFillBackground(true);
            option->setBackgroundRole(QPalette::Window);
            connect(option, &QRadioButton::clicked, this, [this, name] { forwardClick(name); });
            w = option;
            break;
        }
        case Kind::HScrollBar:
        case Kind::VScrollBar: {
            auto* bar =
                new QScrollBar(c.kind == Kind::HScrollBar ? Qt::Horizontal : Qt::Vertical, parent);
            // A drag changes the value once, when the thumb is let go; the arrows and the track
            // change it at once.
            bar->setTracking(false);
            bar->setSingleStep(1);
            bar->setPageStep(1);
            connect(bar, &QScrollBar::valueChanged, this,
                    [this, name](int value) { forwardSet(name, std::to_string(value)); });
            w = bar;
            break;
        }
        case Kind::PictureBox: {
            auto* view = new PictureView(*engraver_.form().picture(name), parent);
            // The loaded picture shows the tone adjustments live, as the prepared one does.
            if (name == "Picture1")
                view->setToneSource([this] { return engraver_.pictureSettings().tone; });
            w = view;
            break;
        }
        case Kind::Form:
        case Kind::Timer:
        case Kind::Menu:
            return nullptr;
    }
    w->setObjectName(QString::fromStdString(name));
    if (c.kind == Kind::Button || c.kind == Kind::GraphicalButton || c.kind == Kind::ComboBox ||
        c.kind == Kind::CheckBox || c.kind == Kind::OptionButton) {
        if (!qobject_cast<JogButton*>(w)) w->setStyle(classicStyle());
    }
    w->setFont(look.face == Face::Heavy ? heavyFont(look.pixelSize)
                                        : sansFont(look.pixelSize, look.bold));
    if (look.fore >= 0) {
        setRole(w, QPalette::WindowText, toQColor(look.fore));
        // NOTE: a frame's caption colour is not its buttons' and lists' text colour: those
        // would take the olive from the frame.
        if (c.kind != Kind::Frame) {
            setRole(w, QPalette::ButtonText, toQColor(look.fore));
            setRole(w, QPalette::Text, toQColor(look.fore));
        }
    }
    return w;
}

void MainWindow::buildMenu() {
    form::Form1& f = engraver_.form();
    QMenu* menu = menuBar()->addMenu(QString());
    menu->setObjectName(QString::fromStdString(f.help.name));
    menu->menuAction()->setObjectName(QString::fromStdString(f.help.name));
    bindings_.push_back({&f.help, nullptr, menu->menuAction()});
    for (form::Control* item : {&f.shema, &f.explan, &f.about}) {
        QAction* action = menu->addAction(QString());
        const std::string name = item->name;
        action->setObjectName(QString::fromStdString(name));
        connect(action, &QAction::triggered, this, [this, name] { forwardClick(name); });
        bindings_.push_back({item, nullptr, action});
    }
}

QMenu* MainWindow::viewMenu() {
    if (!viewMenu_) {
        viewMenu_ = new QMenu(QStringLiteral("View"), this);
        viewMenu_->setObjectName(QStringLiteral("view"));
        viewMenu_->menuAction()->setObjectName(QStringLiteral("view"));
        menuBar()->addMenu(viewMenu_);
    }
    return viewMenu_;
}

QMenu* MainWindow::jobMenu() {
    if (!jobMenu_) {
        jobMenu_ = new QMenu(QStringLiteral("Job"), this);
        jobMenu_->setObjectName(QStringLiteral("job"));
        jobMenu_->menuAction()->setObjectName(QStringLiteral("job"));
        pauseItem_ = jobMenu_->addAction(QStringLiteral("Pause"));
        pauseItem_->setObjectName(QStringLiteral("pause"));
        pauseItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
        // NOTE: the shortcut works while the menu is closed, so the item follows the core at
        // every render, not only when the menu opens.
        pauseItem_->setShortcutContext(Qt::ApplicationShortcut);
        connect(pauseItem_, &QAction::triggered, this, [this] {
            const PauseCommand command = pauseCommand(engraver_);
            if (!command.enabled) return;
            postPauseCommand(engraver_, command.continues, this,
                             [this](const QString& why) { emit jobCommandRefused(why); });
        });
        menuBar()->addMenu(jobMenu_);
        renderJobMenu();
    }
    return jobMenu_;
}

void MainWindow::renderJobMenu() {
    if (!pauseItem_) return;
    const PauseCommand command = pauseCommand(engraver_);
    if (pauseItem_->text() != command.text()) pauseItem_->setText(command.text());
    if (pauseItem_->isEnabled() != command.enabled) pauseItem_->setEnabled(command.enabled);
}

// --- Rendering ---

void MainWindow::scheduleRender() {
    if (!renderTimer_.isActive()) renderTimer_.start();
}

void MainWindow::renderNow() {
    renderTimer_.stop();
    rendering_ = true;
    for (const Binding& b : bindings_) render(b);
    renderJobMenu();
    rendering_ = false;
}

void MainWindow::render(const Binding& b) {
    const form::Control& c = *b.control;
    if (b.action) {
        const QString text = QString::fromStdString(c.caption);
        if (b.action->text() != text) b.action->setText(text);
        if (b.action->isEnabled() != c.enabled) b.action->setEnabled(c.enabled);
        if (b.action->isVisible() != c.visible) b.action->setVisible(c.visible);
        return;
    }
    QWidget* w = b.widget;
    const QSignalBlocker quiet(w);  // what the core set is no operator's change
    if (c.kind == Kind::Form) {
        const QString title = QString::fromStdString(c.caption);
        if (windowTitle() != title) setWindowTitle(title);
        setRole(client_, QPalette::Window, toQColor(c.backColor));
        return;
    }
    const Look& look = lookOf(c.name);
    QRect place = pixelRect(c);
    switch (c.kind) {
        case Kind::Frame: {
            auto* frame = static_cast<FrameBox*>(w);
            const QString title = QString::fromStdString(c.caption);
            if (frame->title() != title) frame->setTitle(title);
            setRole(w, QPalette::Window, toQColor(c.backColor));
            break;
        }
        case Kind::Label: {
            auto* label = static_cast<QLabel*>(w);
            setText(label, labelText(c.caption));
            if (look.opaque) setRole(w, QPalette::Window, toQColor(c.backColor));
            if (look.autoSize) place.setSize(label->sizeHint());
            break;
        }
        case Kind::Button:
        case Kind::GraphicalButton:
            if (auto* button = qobject_cast<QPushButton*>(w)) {
                setText(button, QString::fromStdString(c.caption));
                if (c.kind == Kind::GraphicalButton) {
                    setRole(w, QPalette::Button, toQColor(c.backColor));
                }
            }
            break;
        case Kind::ComboBox: {
            auto* combo = static_cast<QComboBox*>(w);
            bool same = combo->count() == static_cast<int>(c.items.size());
            for (int i = 0; same && i < combo->count(); ++i) {
                same = combo->itemText(i).toStdString() == c.items[static_cast<size_t>(i)];
            }
            if (!same) {
                combo->clear();
                for (const std::string& item : c.items) {
                    combo->addItem(QString::fromStdString(item));
                }
            }
            const QString text = QString::fromStdString(c.caption);
            if (combo->currentText() != text) combo->setEditText(text);
            setRole(w, QPalette::Base, toQColor(c.backColor));
            setRole(w, QPalette::Button, toQColor(c.backColor));
            // A period the timers cannot take is shown in red until it is valid again, with
            // the valid range in the text field's tooltip; the timers keep their previous
            // interval meanwhile.
            {
                const bool valid = runtime::isValidIntervalText(c.caption);
                setRole(w, QPalette::Text, valid ? toQColor(look.fore) : QColor(Qt::red));
                if (QLineEdit* edit = combo->lineEdit()) {
                    const QString why = valid ? QString()
                                              : QString::fromStdString(c.toolTip) +
                                                    QStringLiteral("\n") +
                                                    QString::fromLatin1(kInvalidPeriodTip);
                    if (edit->toolTip() != why) edit->setToolTip(why);
                }
            }
            break;
        }
        case Kind::CheckBox:
        case Kind::OptionButton: {
            auto* box = static_cast<QAbstractButton*>(w);
            setText(box, QString::fromStdString(c.caption));
            if (box->isChecked() != (c.value != 0)) box->setChecked(c.value != 0);
            setRole(w, QPalette::Window, toQColor(c.backColor));
            break;
        }
        case Kind::HScrollBar:
        case Kind::VScrollBar: {
            auto* bar = static_cast<QScrollBar*>(w);
            if (bar->minimum() != c.min || bar->maximum() != c.max) bar->setRange(c.min, c.max);
            if (bar->value() != c.value) bar->setValue(c.value);
            break;
        }
        case Kind::PictureBox:
            static_cast<PictureView*>(w)->refresh();
            break;
        case Kind::Form:
        case Kind::Timer:
        case Kind::Menu:
            break;
    }
    if (w->geometry() != place) w->setGeometry(place);
    const QString tip = QString::fromStdString(c.toolTip);
    if (w->toolTip() != tip) w->setToolTip(tip);
    if (w->isEnabled() != c.enabled) w->setEnabled(c.enabled);
    if (w->isHidden() == c.visible) w->setHidden(!c.visible);
}

// --- Forwarding ---

void MainWindow::afterForward() {
    // A forward that arrives while rendering (a button disabled under a held press) must not
    // render inside the render.
    if (rendering_) {
        scheduleRender();
    } else {
        renderNow();
    }
    emit operatorEventForwarded();
}

void MainWindow::forwardClick(const std::string& name) {
    engraver_.click(name);
    afterForward();
}

void MainWindow::forwardSet(const std::string& name, const std::string& value) {
    engraver_.set(name, value);
    afterForward();
}

void MainWindow::jogPressed(const std::string& name, Qt::MouseButton button) {
    auto* jog = client_->findChild<JogButton*>(QString::fromStdString(name));
    // Held before the core hears of it: a release that comes while the handler lets events
    // run must find where it belongs.
    heldJog_ = name;
    if (jog) jog->setDown(true);
    const engraver::EventResult result = engraver_.mouseDown(name, buttonNumber(button));
    if (result == engraver::EventResult::Disabled || result == engraver::EventResult::Unknown) {
        heldJog_.clear();  // refused: its release has nothing to stop
        if (jog) jog->setDown(false);
    }
    afterForward();
}

void MainWindow::jogReleased(const std::string& name) {
    heldJog_.clear();
    if (auto* jog = client_->findChild<JogButton*>(QString::fromStdString(name))) {
        jog->setDown(false);
    }
    engraver_.mouseUp(name);
    afterForward();
}

void MainWindow::releaseHeldJog() {
    const bool viewHeld = !heldJog_.empty();
    if (viewHeld) {
        if (auto* jog = client_->findChild<JogButton*>(QString::fromStdString(heldJog_))) {
            jog->setDown(false);
        }
        heldJog_.clear();
    }
    // The core knows which jogs it holds; it ends them even on a button disabled meanwhile,
    // where a mouse-up would be refused.
    if (!viewHeld && engraver_.motion().heldJog() < 0) return;
    engraver_.motion().releaseHeldJog();
    afterForward();
}

// --- Events ---

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    auto* jog = qobject_cast<JogButton*>(watched);
    if (!jog) return QMainWindow::eventFilter(watched, event);
    const std::string name = jog->objectName().toStdString();
    const bool held = heldJog_ == name;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:  // a quick second press is a press too
            if (heldJog_.empty()) {
                jogPressed(name, static_cast<QMouseEvent*>(event)->button());
            }
            return true;
        case QEvent::MouseButtonRelease:
            if (held) jogReleased(name);
            return true;
        case QEvent::MouseMove:
            if (held &&
                !jog->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
                releaseHeldJog();
            }
            return true;
        case QEvent::Leave:
        case QEvent::FocusOut:
        case QEvent::Hide:
            if (held) releaseHeldJog();
            break;
        case QEvent::EnabledChange:
            if (held && !jog->isEnabled()) releaseHeldJog();
            break;
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::WindowDeactivate:
        case QEvent::WindowBlocked:  // a modal dialog opened
        case QEvent::Hide:           // minimised
            releaseHeldJog();
            break;
        default:
            break;
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    releaseHeldJog();
    // NOTE: the close box must not leave a burning laser or powered coils: rest first, then
    // end. A tick under way (inside "let events run") sees the abort and starts nothing again.
    engraver_.restNow();
    ++engraver_.context().abortGeneration;
    event->accept();
    QCoreApplication::exit(0);
}

}  // namespace ostrel::ui
