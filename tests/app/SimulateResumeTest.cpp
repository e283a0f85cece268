// `ostrel simulate --resume JOURNAL` as a child process: what it reports, and the journals and
// options it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "app/ResumeChild.h"
#include "jobs/JobJournal.h"

namespace ostrel::test {
namespace {

// A journal left by Abort in the middle of the striped picture's job (a scenario in virtual
// time).
QString abortedJob(const QTemporaryDir& dir, const QString& picture) {
    QByteArray text = jobScenario(picture, 1);
    text.replace("click Command2(1)\nuntil-idle\n",
                 "click Command2(1)\nwait 3456\nclick Command2(5)\n");
    const QString script = writeFile(dir, "abort.scn", text);
    const Ran r = runOstrel({"script", script, "--folder", dir.path()}, dir.path());
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    return dir.filePath(jobs::kJournalFileName);
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(SimulateResume, ReportsWhatWasResumedOnlyWhenAskedAndLeavesTheJournalAsItWas) {
    QTemporaryDir dir;
    const QString picture = stripedPicture(dir);
    const QString journal = abortedJob(dir, picture);
    const QByteArray before = bytesOf(journal);
    const jobs::JournalContents kept = jobs::readJournal(journal.toStdString());
    ASSERT_EQ(kept.error, "");
    const QStringList job = simulateJob(picture, 1, kPowerOn);

    const Ran json = runOstrel(job + QStringList{"--resume", journal, "--json"}, dir.path());
    ASSERT_EQ(json.code, 0) << json.err.toStdString();
    const QJsonObject summary = QJsonDocument::fromJson(json.out).object();
    EXPECT_TRUE(summary["finished"].toBool());
    const QJsonObject r = summary["resumed"].toObject();
    EXPECT_EQ(r["journal"].toString(), journal);
    EXPECT_EQ(r["row"].toInt(), kept.point.row);
    EXPECT_EQ(r["column"].toInt(), kept.point.column);
    EXPECT_EQ(r["direction"].toString(), "+X");
    EXPECT_EQ(r["dotsDone"].toInteger(), kept.point.dots);
    EXPECT_EQ(r["dotsLeft"].toInteger(), 15 * 17 - qint64(kept.point.dots));
    EXPECT_EQ(r["dotsLeft"].toInteger(), summary["dotsDealt"].toInteger());
    EXPECT_EQ(r["owedMs"].toInt(), kept.point.owedMs);
    EXPECT_EQ(r["records"].toInteger(), qint64(kept.records));
    EXPECT_FALSE(r["tornTail"].toBool());
    EXPECT_EQ(bytesOf(journal), before);

    const Ran text = runOstrel(job + QStringList{"--resume", journal}, dir.path());
    ASSERT_EQ(text.code, 0) << text.err.toStdString();
    const QByteArray line = "\nresumed           " + journal.toUtf8() + " at row " +
                            QByteArray::number(kept.point.row) + ", column " +
                            QByteArray::number(kept.point.column) + " going +X, " +
                            QByteArray::number(kept.point.dots) + " dots done, " +
                            QByteArray::number(15 * 17 - kept.point.dots) + " to go";
    EXPECT_TRUE(text.out.contains(line)) << text.out.toStdString();

    // Without --resume: the summaries as they always were.
    const Ran plainJson = runOstrel(job + QStringList{"--json"}, dir.path());
    EXPECT_FALSE(QJsonDocument::fromJson(plainJson.out).object().contains("resumed"));
    EXPECT_FALSE(runOstrel(job, dir.path()).out.contains("resumed"));
    EXPECT_TRUE(runOstrel({"simulate", "--help"}, dir.path()).out.contains("--resume <JOURNAL>"));
}

TEST(SimulateResume, AJournalOrOptionThatDoesNotFitEndsWithTwoAndTheReason) {
    QTemporaryDir dir;
    const QString picture = stripedPicture(dir);
    const QString journal = abortedJob(dir, picture);
    const QByteArray before = bytesOf(journal);
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    const QString broken = writeFile(dir, "broken.journal", before.left(40));
    const QStringList job = simulateJob(picture, 1, kPowerOn);

    struct Case {
        QStringList args;
        QString reason;
    };
    const Case cases[] = {
        {job + QStringList{"--resume", journal, "--mode", "precise"},
         "picture.bmp is not the picture of the interrupted job"},
        {job + QStringList{"--resume", journal, "--hologram"},
         "The interrupted job ran with \"Hologram-Efect\" off; it is on now."},
        {job + QStringList{"--resume", broken},
         "The job journal's header is cut short or damaged."},
        {job + QStringList{"--resume", dir.filePath("none")},
         "There is no job journal to resume (" + dir.filePath("none") + ")."},
        {job + QStringList{"--resume", fifo}, "cannot read the journal " + fifo + ": not a file"},
        {job + QStringList{"--resume", ""}, "--resume needs a journal file name"},
        {job.mid(0, job.size() - 2) + QStringList{"--rotor", "8,0"},
         "the rotor angles 8,0 are outside 0-7"},
        {job.mid(0, job.size() - 2) + QStringList{"--rotor", "6"},
         "--rotor takes AX,AY, two angles 0-7"},
        {{"simulate", "--frame", "20x20", "--resume", journal},
         "--resume acts on a picture job only"},
        {job + QStringList{"--resume", journal, "--trace", journal}, "--trace"},
        {job + QStringList{"--resume", journal, "--resume", journal}, "--resume given twice"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Ran r = runOstrel(c.args, dir.path());
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.contains(c.reason.toUtf8())) << r.err.toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(bytesOf(journal), before);
    }
}

}  // namespace
}  // namespace ostrel::test
