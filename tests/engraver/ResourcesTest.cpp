// Writing the carried schematic to a file: new, rewritten, longer old file, unwritable folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <string>

#include "engraver/Resources.h"

using ostrel::engraver::kSchematicResource;
using ostrel::engraver::SaveResourceToFile;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The picture the program carries, straight from the source tree.
QByteArray carriedSchematic() {
    return readFile(OSTREL_SOURCE_DIR "/resources/graver.jpg");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList folderContents(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

TEST(SaveResourceToFile, WritesANewFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("graver.jpg");
    std::string error = "stale";
    ASSERT_TRUE(SaveResourceToFile(kSchematicResource, path.toStdString(), error)) << error;
    EXPECT_EQ(error, "");
    const QByteArray expected = carriedSchematic();
    ASSERT_GT(expected.size(), 0);
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(folderContents(dir.path()), QStringList{"graver.jpg"});  // no temporary left
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_TRUE(reader.canRead());
}

TEST(SaveResourceToFile, RewritesTheSameContent) {
    QTemporaryDir dir;
    const QString path = dir.filePath("graver.jpg");
    writeFile(path, carriedSchematic());
    std::string error;
    ASSERT_TRUE(SaveResourceToFile(kSchematicResource, path.toStdString(), error)) << error;
    ASSERT_TRUE(SaveResourceToFile(kSchematicResource, path.toStdString(), error)) << error;
    EXPECT_EQ(readFile(path), carriedSchematic());
    EXPECT_EQ(folderContents(dir.path()), QStringList{"graver.jpg"});
}

TEST(SaveResourceToFile, ReplacesALongerFileWithNoTail) {
    QTemporaryDir dir;
    const QString path = dir.filePath("graver.jpg");
    const QByteArray old(carriedSchematic().size() * 3 + 1000, 'x');
    writeFile(path, old);
    std::string error;
    ASSERT_TRUE(SaveResourceToFile(kSchematicResource, path.toStdString(), error)) << error;
    EXPECT_EQ(readFile(path), carriedSchematic());
}

TEST(SaveResourceToFile, UnknownResourceWritesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("inpout32.dll");
    std::string error;
    EXPECT_FALSE(SaveResourceToFile(102, path.toStdString(), error));
    EXPECT_NE(error.find("102"), std::string::npos) << error;
    EXPECT_NE(error.find(path.toStdString()), std::string::npos) << error;
    EXPECT_FALSE(QFile::exists(path));
}

TEST(SaveResourceToFile, MissingFolderGivesAnErrorNamingThePath) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("no-such-folder/graver.jpg").toStdString();
    std::string error;
    EXPECT_FALSE(SaveResourceToFile(kSchematicResource, path, error));
    EXPECT_EQ(error.rfind("cannot write " + path + ": ", 0), 0u) << error;
    EXPECT_GT(error.size(), ("cannot write " + path + ": ").size()) << "a reason is given";
}

TEST(SaveResourceToFile, UnwritableFolderKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("graver.jpg");
    const QByteArray old("an older, longer schematic that must stay as it was");
    writeFile(path, old);
    // The old file itself stays writable: only the folder refuses new files, as a read-only
    // program folder with a file copied in by hand would.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0666), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);

    // Root writes anywhere, so the attempt runs in a child without root's rights.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
        std::string error;
        const bool ok = SaveResourceToFile(kSchematicResource, path.toStdString(), error);
        const bool named = error.rfind("cannot write " + path.toStdString() + ": ", 0) == 0;
        ::_exit(ok ? 11 : named ? 0 : 12);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop rights, 11: reported success, "
                                         "12: the error does not name the path";
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(folderContents(dir.path()), QStringList{"graver.jpg"});
}
