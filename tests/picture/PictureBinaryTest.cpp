// Tests of picture files through the real binary: a name that is not UTF-8, a FIFO as the
// picture, and a FIFO or a link named picture.bmp; none may hang or write through a link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "picture/PictureTestFiles.h"

extern char** environ;

namespace ostrel::test {
namespace {

struct Ended {
    bool finished = false;  // false: still running at the deadline, and killed
    int exitCode = -1;
    std::string output;  // standard output and standard error
};

// Runs the binary with its arguments as the bytes they are (QProcess would take them as
// UTF-8 text), in `folder`, for at most 30 seconds.
Ended runOstrel(const std::vector<std::string>& arguments, const std::string& folder) {
    const std::string outputPath = folder + "/.output";
    std::vector<std::string> words{OSTREL_BINARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    Ended ended;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return ended;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    // NOTE: only a guard against a hang; a child that ends in time is not waited on longer.
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return ended;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ended.finished = true;
    ended.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    QFile output(QString::fromStdString(outputPath));
    if (output.open(QIODevice::ReadOnly)) ended.output = output.readAll().toStdString();
    return ended;
}

TEST(PictureThroughTheBinary, SimulatesAPictureWhoseNameIsNotUtf8) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string name = folder + "/caf\xE9-\xFF.png";
    const QByteArray png = encode(gradient(60, 40), "PNG");
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, png.constData(), static_cast<size_t>(png.size())), png.size());
    ::close(fd);
    const Ended ended =
        runOstrel({"simulate", "--picture", name, "--size", "20x15", "--step-ms", "1"}, folder);
    ::unlink(name.c_str());  // QTemporaryDir cannot name it
    ASSERT_TRUE(ended.finished);
    EXPECT_EQ(ended.exitCode, 0) << ended.output;
    EXPECT_EQ(ended.output.find("does not exist"), std::string::npos) << ended.output;
}

// A FIFO as the picture, and a FIFO or a symbolic link named picture.bmp in the program's
// folder: Load neither blocks nor writes through the link.
TEST(PictureThroughTheBinary, NeitherHangsOnAFifoNorWritesThroughALink) {
    QTemporaryDir dir, elsewhere;
    const std::string folder = dir.path().toStdString();
    const std::string fifo = folder + "/pipe.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string picture = writeFile(folder, "bands.png", encode(gradient(60, 40), "PNG"));
    const std::string target = writeFile(elsewhere.path().toStdString(), "precious.txt", "keep");
    const std::string output = folder + "/picture.bmp";
    auto script = [&](const std::string& pictureFile) {
        writeFile(
            folder, "load.scn",
            QByteArray::fromStdString("start\ndialog " + pictureFile + "\nclick Command2(0)\n"));
        return runOstrel({"script", folder + "/load.scn", "--folder", folder}, folder);
    };

    const Ended fromFifo = script(fifo);
    ASSERT_TRUE(fromFifo.finished) << "Load blocked on a FIFO";
    EXPECT_NE(fromFifo.output.find("it is not a regular file"), std::string::npos)
        << fromFifo.output;

    ASSERT_EQ(::mkfifo(output.c_str(), 0600), 0);
    const Ended intoFifo = script(picture);
    ASSERT_TRUE(intoFifo.finished) << "the preparation blocked on a FIFO named picture.bmp";
    EXPECT_EQ(intoFifo.exitCode, 0) << intoFifo.output;
    struct stat info {};
    ASSERT_EQ(::lstat(output.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));

    ASSERT_EQ(::unlink(output.c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), output.c_str()), 0);
    const Ended throughLink = script(picture);
    ASSERT_TRUE(throughLink.finished);
    EXPECT_EQ(throughLink.exitCode, 0) << throughLink.output;
    QFile kept(QString::fromStdString(target));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "keep");
    ASSERT_EQ(::lstat(output.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

}  // namespace
}  // namespace ostrel::test
