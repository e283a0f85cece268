// Bad input the operator or the system may give: what it leads to, and that nothing is lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "app/SafetyChild.h"
#include "picture/PictureLoader.h"
#include "picture/PictureTestFiles.h"
#include "ui/ProgramFolder.h"
#include "ui/UiTestSupport.h"

namespace ostrel::test {
namespace {

// --- The step-period and pulse-period boxes ---

struct PeriodBoxTest : WindowTest {
    PeriodBoxTest() : WindowTest(awayFromHome()) {}

    QComboBox* box(const char* name) { return widget<QComboBox>(name); }
    // The operator types a text into the box.
    void type(const char* name, const QString& text) {
        box(name)->setEditText(text);
        window->renderNow();
    }
    bool shownRed(const char* name) {
        return box(name)->palette().color(QPalette::Text) == QColor(Qt::red);
    }
};

// The texts that give no interval: the previous one is kept and the box shows the text in red
// until it is valid again; "10.5" is valid and rounds half to even.
TEST_F(PeriodBoxTest, ATextThatGivesNoIntervalIsShownRedAndKeepsThePreviousInterval) {
    struct Box {
        const char* name;
        runtime::Timer& timer;
        const char* start;  // a press that starts the timer that reads the box
    };
    form::Form1& f = h.form();
    h.engraver->click("Command2(6)");  // manual mode: the pulse box and the jog buttons
    const Box boxes[] = {{"Combo1", f.Timer1, "Command1(2)"}, {"Combo2", f.Timer3, "Command1(5)"}};
    for (const Box& b : boxes) {
        SCOPED_TRACE(b.name);
        ASSERT_EQ(h.engraver->mouseDown(b.start), engraver::EventResult::Handled);
        type(b.name, "40");
        h.wait(200);
        EXPECT_FALSE(shownRed(b.name));
        ASSERT_EQ(b.timer.Interval(), 40);
        for (const char* bad : {"", "letters", "0", "-5", "70000"}) {
            SCOPED_TRACE(bad);
            type(b.name, bad);
            EXPECT_EQ(f.control(b.name)->caption, bad) << "the text is the operator's";
            EXPECT_TRUE(shownRed(b.name));
            h.wait(200);
            EXPECT_EQ(b.timer.Interval(), 40);
            EXPECT_TRUE(b.timer.Enabled()) << "a bad text must not stop what runs";
        }
        type(b.name, "10.5");
        EXPECT_FALSE(shownRed(b.name));
        h.wait(200);
        EXPECT_EQ(b.timer.Interval(), 10);
    }
    h.engraver->click("Command2(5)");
}

// --- Picture headers that claim absurd sizes (found by fuzzing) ---

TEST(PictureHeader, ASizeWhoseAreaOverflowsIsRefusedAsTooLarge) {
    QTemporaryDir dir;
    for (uint32_t side : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu}) {
        SCOPED_TRACE(side);
        const std::string path =
            writeFile(dir.path().toStdString(), "huge.png", pngHeader(side, side));
        const picture::DecodedPicture decoded = picture::decodePictureFile(path, QSize(127, 103));
        EXPECT_TRUE(decoded.image.isNull());
        EXPECT_NE(decoded.error.find("too large"), std::string::npos) << decoded.error;
    }
}

// --- A program folder that cannot be written ---

// Makes a folder read-only even for root (immutable) while it lives.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const QString& path) : path_(path) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        if (::geteuid() == 0) immutable_ = QProcess::execute("chattr", {"+i", path}) == 0;
    }
    ~ReadOnlyFolder() {
        if (immutable_) QProcess::execute("chattr", {"-i", path_});
        QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool readOnly() const { return !QFileInfo(path_).isWritable(); }

  private:
    QString path_;
    bool immutable_ = false;
};

TEST(ProgramFolderReadOnly, PicturesAndSchematicGoToTheUsersDataFolder) {
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir tree;  // a build tree: the one place the program writes beside itself
    QFile cache(tree.filePath("CMakeCache.txt"));
    ASSERT_TRUE(cache.open(QIODevice::WriteOnly));
    cache.close();
    ASSERT_EQ(ui::programFolderFor(tree.path()), QFileInfo(tree.path()).absoluteFilePath());

    const ReadOnlyFolder readOnly(tree.path());
    if (!readOnly.readOnly()) GTEST_SKIP() << "this user can write any folder";
    const QString data = ui::programFolderFor(tree.path());
    EXPECT_EQ(data, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    ASSERT_TRUE(QFileInfo(data).isDir() && QFileInfo(data).isWritable());

    Harness h;
    h.host.folder = data.toStdString();
    h.start();
    h.host.dialogAnswers.push_back(
        writeFile(h.tempDir, "grey.png", encode(solid(30, 20, qRgb(60, 60, 60)), "PNG")));
    h.engraver->click("Command2(0)");
    h.engraver->click("shema");
    EXPECT_TRUE(h.host.errors.empty());
    EXPECT_EQ(h.form().Picture2.Point(10, 10), 100) << "the preparation is complete";
    EXPECT_EQ(h.form().Picture3.Point(10, 10), 100);
    EXPECT_TRUE(QFileInfo::exists(data + "/picture.bmp"));
    EXPECT_TRUE(QFileInfo::exists(data + "/graver.jpg"));
    EXPECT_EQ(QDir(tree.path()).entryList(QDir::Files), QStringList{"CMakeCache.txt"});
    QFile::remove(data + "/picture.bmp");
    QFile::remove(data + "/graver.jpg");
}

// --- Files the core cannot read, and ports the program cannot use, as a child process ---

struct Ended {
    int code = -1;
    QByteArray out, err;
};

// Runs `ostrel ARGS` as the user `nobody` when the test runs as root, so that permissions hold.
Ended ostrelAs(bool nobody, const QStringList& args, const QString& workDir) {
    QProcess child;
    startOstrel(child, args, workDir);
    if (nobody) {
        child.close();
        child.setChildProcessModifier([] {
            const rlimit none{0, 0};
            ::setrlimit(RLIMIT_CORE, &none);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(120);
        });
        child.start(OSTREL_BINARY, args);
    }
    Ended e;
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit) return e;
    e.code = child.exitCode();
    e.out = child.readAllStandardOutput();
    e.err = child.readAllStandardError();
    return e;
}

bool nobodyCanRun() {
    return ::geteuid() == 0 && ostrelAs(true, {"--version"}, QDir::tempPath()).code == 0;
}

TEST(UnreadablePicture, LoadSaysSoAndChangesNothing) {
    const bool asNobody = ::geteuid() == 0;
    if (asNobody && !nobodyCanRun()) GTEST_SKIP() << "nobody cannot run the build's binary";
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
    const std::string picture =
        writeFile(dir.path().toStdString(), "locked.png", encode(solid(5, 5, 0x102030), "PNG"));
    QFile::setPermissions(QString::fromStdString(picture), QFile::Permissions{});
    QFile script(dir.filePath("load.scn"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("start\ndialog locked.png\nclick Command2(0)\nexpect Picture1.ScaleWidth 0\n");
    script.close();
    QFile::setPermissions(script.fileName(), QFile::ReadOwner | QFile::ReadOther);
    const Ended e =
        ostrelAs(asNobody, {"script", script.fileName(), "--folder", dir.path()}, dir.path());
    EXPECT_EQ(e.code, 0) << e.out.toStdString() << e.err.toStdString();
    EXPECT_TRUE(e.out.contains("cannot be read")) << e.out.toStdString();
    EXPECT_TRUE(e.out.contains("locked.png")) << e.out.toStdString();
}

TEST(PortOption, EveryPortThatCannotBeUsedNamesTheDeviceAndTheFixAndExitsWithTwo) {
    QTemporaryDir dir;
    struct Case {
        const char* port;
        bool asNobody;
        const char* message;
    };
    const Case cases[] = {
        {"lpt1", false, "bad --port value 'lpt1': use 'sim' or 'ppdev:/dev/parportN'"},
        {"ppdev:/dev/ostrel-no-such-port", false,
         "no parallel port at /dev/ostrel-no-such-port: load the driver with 'sudo modprobe "
         "ppdev'"},
        {"ppdev:/dev/console", true,
         "no permission to use /dev/console: add yourself to the lp group"},
    };
    const bool nobody = nobodyCanRun();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        if (c.asNobody && !nobody && ::geteuid() == 0) continue;  // root may open anything
        if (c.asNobody && ::geteuid() != 0 && access("/dev/console", R_OK | W_OK) == 0) continue;
        const Ended e = ostrelAs(c.asNobody && nobody, {"--port", c.port}, dir.path());
        EXPECT_EQ(e.code, 2);
        EXPECT_TRUE(e.err.contains(c.message)) << e.err.toStdString();
    }
}

}  // namespace
}  // namespace ostrel::test
