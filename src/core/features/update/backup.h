#pragma once

#include "core/features/update/backupfolder.h"
#include "core/features/update/upload.h"

#include <QDateTime>
#include <QString>

namespace keldor {

class Session;
struct Configuration;

// Where backups go unless the operator names another folder: "backups" in the per-user data
// folder (~/.local/share/KELDOR/KELDOR Station/backups), for the station and keldor-ctl alike.
QString standardBackupFolder();

// "STEM-YYYYMMDD-HHMMSS.kdr" for a UTC time, so the names sort by time in every time zone and
// season; the second and later backups of the same second add "_2", "_3", ... before the
// extension.
QString backupFileName(const QString &stem, const QDateTime &utc, int sequence = 1);

// The one writer of backups: the configuration as a settings file with its report beside it,
// in folder, under the first name of that second that neither file holds. Each file appears
// whole under a name nobody else holds (BackupFolder::create), so a backup that runs at the
// same moment, in this program or another, takes the next number instead of replacing this
// one. A failed write leaves neither file. The path of the settings file, or why there is none.
BackupResult writeBackup(const Configuration &config, const BackupFolder &folder,
                         const QString &stem, const QDateTime &utc);
// The same into the folder at path, made when missing and opened as BackupFolder::open does.
BackupResult writeBackup(const Configuration &config, const QString &folder,
                         const QString &stem = QStringLiteral("backup"),
                         const QDateTime &utc = QDateTime::currentDateTimeUtc());

// Reads the connected headend's whole configuration, its service selections included, into data
// of its own, so the program's image of the headend stays as the operator left it, and writes
// it as a backup into folder. The update's BackupHook.
BackupResult backupConfiguration(Session &session, const QString &folder);

} // namespace keldor
