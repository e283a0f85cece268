// Where the program writes its files ("picture.bmp", "graver.jpg").
#pragma once

#include <QString>

namespace ostrel::ui {

// The executable's own folder when it can be written (running from the build tree), otherwise
// the per-user application data folder, created on first use.
QString programFolder();
// The same rule for a given executable folder.
QString programFolderFor(const QString& executableFolder);
// Whether a folder is a build tree (it holds CMakeCache.txt), where the program keeps its
// files beside itself.
bool isBuildTree(const QString& folder);

}  // namespace ostrel::ui
