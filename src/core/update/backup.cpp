#include "update/backup.h"

#include "channels/channeltextsview.h"
#include "link/session.h"
#include "model/settingsfile.h"
#include "model/unitdata.h"
#include "protocol/devicetype.h"
#include "protocol/readunitdata.h"

#include <QDir>
#include <QFile>

namespace keldor {

namespace {

// More backups than this in one second are no longer an operator at work.
constexpr int maxBackupsPerSecond = 100;

// Claims a name that nobody holds by creating the file, so a second backup in the same second,
// from this program or another, gets a name of its own instead of replacing the first.
// Empty when the folder takes no file at all.
QString claimBackupFile(const QString &folder, const QDateTime &when)
{
    for (int sequence = 1; sequence <= maxBackupsPerSecond; ++sequence) {
        QFile file(QDir(folder).filePath(backupFileName(when, sequence)));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return file.fileName();
        if (!file.exists())
            return {};
    }
    return {};
}

} // namespace

QString backupFileName(const QDateTime &when, int sequence)
{
    const QString stamp = when.toString(QStringLiteral("'backup-'yyyyMMdd-HHmmss"));
    return sequence <= 1 ? stamp + QStringLiteral(".kdr")
                         : stamp + QStringLiteral("_%1.kdr").arg(sequence);
}

BackupResult backupConfiguration(Session &session, const QString &folder)
{
    UnitData unit;
    ChannelTextsView texts;
    // No window shows this reading, so it has nothing to tell the operator about the channels.
    if (!checkDeviceType(session.exchange, unit) ||
        !readUnitData(session.exchange, unit, texts, ReadNotices::Hidden)) {
        return {{}, QStringLiteral("The headend's configuration could not be read.")};
    }
    const QDateTime now = QDateTime::currentDateTime();
    const QString path = claimBackupFile(folder, now);
    if (path.isEmpty()) {
        return {{},
                QStringLiteral("%1 could not be written.")
                    .arg(QDir::toNativeSeparators(QDir(folder).filePath(backupFileName(now))))};
    }
    if (!saveSettingsFile(session.ui, path, unit)) {
        QFile::remove(path);
        return {{}, QStringLiteral("%1 could not be written.").arg(QDir::toNativeSeparators(path))};
    }
    return {path, {}};
}

} // namespace keldor
