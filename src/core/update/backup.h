#pragma once

#include "update/upload.h"

#include <QDateTime>
#include <QString>

namespace keldor {

class Session;

// "backup-YYYYMMDD-HHMMSS.kdr": sorts by time and never overwrites an earlier backup taken
// in another second.
QString backup_file_name(const QDateTime &when);

// Reads the whole configuration of the connected headend into a unit image of its own, so
// the program's image of the headend stays as the operator left it, and saves it as a
// settings file in folder. The update's BackupHook.
BackupResult backup_configuration(Session &session, const QString &folder);

} // namespace keldor
