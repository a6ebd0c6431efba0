#pragma once

#include <QString>

namespace keldor {

// The folder that holds "headend.mdb", the icons and the firmware images. In order: the
// override, the environment variable KELDOR_PROGRAM_DIR, then programFolderBeside() the
// executable's folder.
QString programFolder();

// The executable's folder when it is writable and no installed copy (a portable copy or a build
// keeps everything beside itself), else the per-user data folder, which is made if need be.
QString programFolderBeside(const QString &executableFolder);

// "../share/keldor-station" beside the executable's folder, where an installed copy keeps its
// icons; an empty text when there is none.
QString installedDataFolder(const QString &executableFolder);

// Tests and the demo point the program at their own folder; an empty text removes the override.
void setProgramFolderOverride(const QString &folder);

// A file of the given name in the program folder.
QString programFile(const QString &name);

} // namespace keldor
