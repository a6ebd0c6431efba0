#pragma once

#include "update/upload.h"

#include <QDateTime>
#include <QString>

namespace keldor {

class Session;

// "backup-YYYYMMDD-HHMMSS.kdr", sorting by time; the second and later backups of the same
// second add "_2", "_3", ... before the extension.
QString backupFileName(const QDateTime &when, int sequence = 1);

// Reads the whole configuration of the connected headend into a unit image of its own, so
// the program's image of the headend stays as the operator left it, and saves it as a
// settings file in folder under a name no earlier backup holds. The update's BackupHook.
BackupResult backupConfiguration(Session &session, const QString &folder);

} // namespace keldor
