// The program's folder: beside the executable in a build tree, else the user's data folder.
#include "ui/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ostrel::ui {

QString programFolder() {
    return programFolderFor(QCoreApplication::applicationDirPath());
}

QString programFolderFor(const QString& executableFolder) {
    const QFileInfo own(executableFolder);
    // NOTE: only a build tree (it holds CMakeCache.txt) counts as the program's own folder: an
    // installed program writes nothing beside itself, even where it could (root in /usr/bin).
    if (own.isWritable() && isBuildTree(executableFolder)) {
        return own.absoluteFilePath();
    }
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}

bool isBuildTree(const QString& folder) {
    return !folder.isEmpty() && QFileInfo(folder).isDir() &&
           QFileInfo::exists(folder + QStringLiteral("/CMakeCache.txt"));
}

}  // namespace ostrel::ui
