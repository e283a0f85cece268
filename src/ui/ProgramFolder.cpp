// The program's folder: beside the executable when that is writable, else the user's data folder.
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
    if (!executableFolder.isEmpty() && own.isDir() && own.isWritable()) {
        return own.absoluteFilePath();
    }
    // An installed program (/usr/bin) may not write beside itself.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}

}  // namespace ostrel::ui
