// The `ostrel` binary as a child process: exit codes, help, version, traces and the examples.
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>

namespace {

struct Result {
    int code = -1;
    QString out, err;
};

Result ostrel(const QStringList& args, const QString& workDir = {},
              const std::function<void(QProcess&)>& prepare = {}) {
    QProcess p;
    if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
    if (prepare) prepare(p);
    // A preparation may start another program (a shell) in the binary's place.
    if (p.program().isEmpty()) {
        p.start(OSTREL_BINARY, args);
    } else {
        p.start();
    }
    Result r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return f.fileName();
}

TEST(Cli, HelpListsTheOptionsAndTheSubcommands) {
    const Result r = ostrel({"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* part : {"--port", "--trace", "ostrel script FILE", "ostrel simulate"}) {
        EXPECT_TRUE(r.out.contains(part)) << part;
    }
    EXPECT_TRUE(r.err.isEmpty());
}

TEST(Cli, VersionPrintsTheVersion) {
    const Result r = ostrel({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "ostrel 1.0.0\n");
}

TEST(Cli, BadOptionsExitWithTwoAndAClearMessage) {
    Result r = ostrel({"--frobnicate"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("Unknown option 'frobnicate'")) << r.err.toStdString();
    r = ostrel({"--port", "com1"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("'sim' or 'ppdev:/dev/parportN'")) << r.err.toStdString();
    r = ostrel({"script", "--nope", "x.scn"});
    EXPECT_EQ(r.code, 2);
}

TEST(Cli, ScriptExitCodes) {
    QTemporaryDir dir;
    const QString pass = writeFile(dir, "pass.scn", "start\nexpect Timer10.Enabled False\n");
    const QString fail = writeFile(dir, "fail.scn", "start\nexpect Timer10.Enabled True\n");
    const QString bad = writeFile(dir, "bad.scn", "start\nexpect Timer10.Enabled\n");

    Result r = ostrel({"script", pass});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();

    r = ostrel({"script", fail});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains("line 2: expect Timer10.Enabled: expected \"True\", got \"False\""))
        << r.out.toStdString();

    r = ostrel({"script", bad});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("line 2: wrong argument count")) << r.err.toStdString();

    r = ostrel({"script", dir.filePath("missing.scn")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("cannot read")) << r.err.toStdString();
}

TEST(Cli, ScriptWritesTheTraceAsCsv) {
    QTemporaryDir dir;
    const QString script = writeFile(dir, "s.scn", "port 7 202\nstart\nwait 20\n");
    const QString trace = dir.filePath("out.csv");
    const Result r = ostrel({"script", script, "--trace", trace, "--trace-reads"});
    ASSERT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    QFile f(trace);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = f.readAll().split('\n');
    ASSERT_GE(rows.size(), 3);
    EXPECT_EQ(rows[0], "t_ms,op,port,value");
    EXPECT_EQ(rows[1], "0,in,888,7");
    EXPECT_EQ(rows[2], "0,in,890,202");
}

TEST(Cli, ScriptWritesTheDumpAndUsesTheProgramFolder) {
    QTemporaryDir dir;
    const QString script = writeFile(dir, "s.scn", "head 2 1\nstart\n");
    const QString dump = dir.filePath("state.json");
    const Result r = ostrel({"script", script, "--dump", dump, "--folder", dir.path()});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QFile f(dump);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray json = f.readAll();
    EXPECT_TRUE(json.contains("\"sim.x\":\"4\"")) << json.toStdString();
    EXPECT_TRUE(json.contains("\"sim.y\":\"2\""));
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A 20 x 20 PNG to hand to `simulate --picture` and to `dialog` lines.
QString writePicture(const QTemporaryDir& dir, const QString& name) {
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(qRgb(90, 90, 90));
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

// --- The files the headless commands read and write ---

// An output that names an input (directly, through a link, or as another output) is refused
// before anything is opened: the input keeps every byte.
TEST(CliFiles, AnOutputThatNamesAnInputIsRefusedAndTheInputKept) {
    QTemporaryDir dir;
    const QString script = writeFile(dir, "s.scn", "dialog p.png\nstart\nwait 10\n");
    const QString picture = writePicture(dir, "p.png");
    ASSERT_EQ(::symlink("s.scn", dir.filePath("link.scn").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::link(script.toLocal8Bit().constData(),
                     dir.filePath("hard.scn").toLocal8Bit().constData()),
              0);
    const QByteArray scriptBytes = readFile(script), pictureBytes = readFile(picture);
    const QString out = dir.filePath("out.png");
    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        {{"script", script, "--trace", script}, "--trace "},
        {{"script", script, "--dump", script}, "is the scenario"},
        {{"script", script, "--dump", dir.filePath("link.scn")}, "is the scenario"},
        {{"script", script, "--trace", dir.filePath("hard.scn")}, "is the scenario"},
        {{"script", dir.filePath("link.scn"), "--trace", script}, "is the scenario"},
        {{"script", script, "--trace", picture}, "is the picture"},
        {{"script", script, "--trace", out, "--dump", out}, "name the same file"},
        {{"simulate", "--picture", picture, "--trace", picture}, "is the picture"},
        {{"simulate", "--picture", picture, "--burn", picture}, "is the picture"},
        {{"simulate", "--picture", picture, "--burn",
          dir.filePath("../" + QFileInfo(dir.path()).fileName() + "/p.png")},
         "is the picture"},
        {{"simulate", "--frame", "20x20", "--burn", out, "--trace", out}, "name the same file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Result r = ostrel(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("choose")) << r.err.toStdString();
        EXPECT_EQ(readFile(script), scriptBytes);
        EXPECT_EQ(readFile(picture), pictureBytes);
        EXPECT_FALSE(QFile::exists(out));
    }
}

// A write that fails anywhere (here a full device) is reported and the exit status is not 0.
TEST(CliFiles, AFailedWriteOfAnyOutputIsReported) {
    QTemporaryDir dir;
    const QString script = writeFile(dir, "s.scn", "start\nwait 100\ndump\n");
    auto toFull = [](QProcess& p) { p.setStandardOutputFile("/dev/full"); };
    const struct {
        QStringList args;
        bool stdoutFull;
        const char* message;
    } cases[] = {
        {{"script", script, "--trace", "/dev/full"},
         false,
         "cannot write the trace file /dev/full"},
        {{"script", script, "--dump", "/dev/full"}, false, "cannot write the dump file /dev/full"},
        {{"script", script}, true, "cannot write the results on standard output"},
        {{"simulate", "--frame", "20x20", "--trace", "/dev/full"},
         false,
         "cannot write the trace file /dev/full"},
        {{"simulate", "--frame", "20x20", "--burn", "/dev/full"},
         false,
         "cannot write the burn picture /dev/full"},
        {{"simulate", "--frame", "20x20", "--json"}, true, "cannot write the summary"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Result r =
            ostrel(c.args, {}, c.stdoutFull ? std::function<void(QProcess&)>(toFull) : nullptr);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    }
}

// Folders, FIFOs and sockets are refused at once; none of them makes a command wait.
TEST(CliFiles, FoldersAndFifosAreRefusedWithoutWaiting) {
    QTemporaryDir dir;
    const QString script = writeFile(dir, "s.scn", "start\nwait 10\n");
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        {{"script", dir.path()}, "it is a folder"},
        {{"script", fifo}, "not a regular file"},
        {{"script", "/dev/null"}, "not a regular file"},
        {{"script", script, "--trace", fifo}, "no process reads"},
        {{"script", script, "--dump", fifo}, "no process reads"},
        {{"script", script, "--dump", dir.path()}, "is a folder"},
        {{"script", script, "--trace", dir.path()}, "is a folder"},
        {{"simulate", "--frame", "20x20", "--burn", fifo}, "no process reads"},
        {{"simulate", "--frame", "20x20", "--trace", fifo}, "no process reads"},
        {{"simulate", "--frame", "20x20", "--burn", dir.path() + "/"}, "is a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Result r = ostrel(c.args);
        EXPECT_EQ(r.code, 2) << "-1 is a run that did not end in time";
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    }
}

// The burn picture is written in the format its name says, or refused before the job runs.
TEST(CliFiles, TheBurnPictureHasTheFormatItsNameSays) {
    QTemporaryDir dir;
    const struct {
        const char* name;
        QByteArray magic;
    } cases[] = {{"b.png", "\x89PNG"}, {"b.JPG", "\xFF\xD8\xFF"}, {"b.jpeg", "\xFF\xD8\xFF"},
                 {"b.bmp", "BM"},      {"b", "\x89PNG"},          {"b.ppm", "P6"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = ostrel({"simulate", "--frame", "15x15", "--burn", dir.filePath(c.name)});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(readFile(dir.filePath(c.name)).startsWith(c.magic));
    }
    const Result r = ostrel({"simulate", "--frame", "15x15", "--burn", dir.filePath("b.gif")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("name a .png, .bmp, .jpg")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("b.gif")));
}

// Messages show the script's bytes escaped and cut: no terminal escape and no 50 MB line
// reaches the terminal; a file of garbage gets a few lines, not one per line.
TEST(CliFiles, MessagesShowInputBytesEscapedAndCut) {
    QTemporaryDir dir;
    const QString escapes =
        writeFile(dir, "esc.scn", "start\n\x1b]0;owned\x07\x1b[2J \x9b\xc2\x9b x\n");
    Result r = ostrel({"script", escapes});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("\\x1B]0;owned\\x07\\x1B[2J")) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QChar(0x1b)));
    EXPECT_FALSE(r.err.contains(QChar(0x9b)));

    const QString huge = writeFile(dir, "huge.scn", QByteArray(50'000'000, 'x') + "\n");
    r = ostrel({"script", huge});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("(50000000 bytes)")) << r.err.left(300).toStdString();
    EXPECT_LT(r.err.size(), 1000);

    const QString garbage =
        writeFile(dir, "garbage.scn", QByteArray("nonsense\n").repeated(100000));
    r = ostrel({"script", garbage});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("... and 99980 more malformed lines"))
        << r.err.right(300).toStdString();
    EXPECT_LT(r.err.count('\n'), 30);

    const QString bom =
        writeFile(dir, "bom.scn", "\xEF\xBB\xBFstart\r\nexpect Timer10.Enabled False\r\n");
    r = ostrel({"script", bom});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
}

// A file name that is not UTF-8 names its file: the scenario runs, and an output named the
// same is still known to be the scenario.
TEST(CliFiles, ANameThatIsNotUtf8NamesItsFile) {
    QTemporaryDir dir;
    auto shell = [&](const QString& command) {
        return ostrel({}, dir.path(), [command](QProcess& p) {
            p.setProgram("/bin/sh");
            p.setArguments({"-c", command, OSTREL_BINARY});
        });
    };
    const QString make =
        "f=$(printf 's\\377.scn'); printf 'start\\nexpect Timer10.Enabled False\\n' >\"$f\"; ";
    Result r = shell(make + "exec \"$0\" script \"$f\"");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    r = shell(make + "exec \"$0\" script \"$f\" --trace \"$f\"");
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("s\\xFF.scn is the scenario")) << r.err.toStdString();
}

// Qt sets the C library's locale from the environment; under a comma locale an operator's
// "1.5" still means 2 ms, not 1.
TEST(CliFiles, IntervalTextsMeanTheSameUnderACommaLocale) {
    const locale_t comma = ::newlocale(LC_ALL_MASK, "de_DE.UTF-8", nullptr);
    if (!comma) GTEST_SKIP() << "de_DE.UTF-8 is not installed (locale-gen de_DE.UTF-8)";
    ::freelocale(comma);
    QTemporaryDir dir;
    const QString script = writeFile(dir, "step.scn",
                                     "head 50 40\nstart\nclick Command2(6)\nset Combo1 1.5\n"
                                     "mousedown Command1(2)\nwait 100\n"
                                     "expect Timer1.Interval 2\nmouseup Command1(2)\n");
    const Result r = ostrel({"script", script}, {}, [](QProcess& p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "de_DE.UTF-8");
        p.setProcessEnvironment(env);
    });
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
}

// The example scenarios of the project. They pass once motion, laser and the command panel are
// built; until then their events report "not available yet".
TEST(Scenarios, ExamplesPass) {
    const QDir folder(OSTREL_SOURCE_DIR "/tests/scenarios");
    const QStringList scripts = folder.entryList({"*.scn"}, QDir::Files, QDir::Name);
    ASSERT_FALSE(scripts.isEmpty());
    QTemporaryDir work;
    for (const QString& name : scripts) {
        SCOPED_TRACE(name.toStdString());
        const Result r =
            ostrel({"script", folder.filePath(name), "--folder", work.path()}, work.path());
        EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    }
}

}  // namespace
