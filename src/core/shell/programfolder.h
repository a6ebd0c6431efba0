#pragma once

#include <QString>

namespace keldor {

// The folder that holds "headend.mdb", the icons and the firmware images. In order: the
// override, the environment variable KELDOR_PROGRAM_DIR, the executable's folder when it is
// writable (a portable copy keeps everything beside itself), else the per-user data folder.
QString programFolder();

// Tests and the demo point the program at their own folder; an empty text removes the override.
void setProgramFolderOverride(const QString &folder);

// A file of the given name in the program folder.
QString programFile(const QString &name);

} // namespace keldor
