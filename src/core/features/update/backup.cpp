#include "core/features/update/backup.h"

#include "core/features/report/rtfreport.h"
#include "core/model/headendsettings.h"
#include "core/model/settingsfile.h"
#include "core/protocol/session.h"

#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

namespace keldor {

namespace {

// More backups than this in one second are no longer an operator at work.
constexpr int maxBackupsPerSecond = 100;

QString failure(const QString &path)
{
    return QStringLiteral("%1 could not be written: %2")
        .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

QString standardBackupFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("backups"));
}

QString backupFileName(const QString &stem, const QDateTime &utc, int sequence)
{
    const QString name =
        stem + QLatin1Char('-') + utc.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return sequence <= 1 ? name + QStringLiteral(".kdr")
                         : name + QStringLiteral("_%1.kdr").arg(sequence);
}

BackupResult writeBackup(const Configuration &config, const QString &folder, const QString &stem,
                         const QDateTime &utc)
{
    const BackupFolder::Opened opened = BackupFolder::open(folder);
    if (const auto *problem = std::get_if<QString>(&opened))
        return {{}, *problem};
    return writeBackup(config, std::get<BackupFolder>(opened), stem, utc);
}

BackupResult writeBackup(const Configuration &config, const BackupFolder &folder,
                         const QString &stem, const QDateTime &utc)
{
    const QByteArray report = renderReport(config);
    const QByteArray settings = encodeSettings(config.unit.channels);
    for (int sequence = 1; sequence <= maxBackupsPerSecond; ++sequence) {
        const QString name = backupFileName(stem, utc, sequence);
        // The report goes first, so a settings file that is there has its report beside it.
        if (!folder.create(reportFileName(name), report)) {
            if (errno == EEXIST)
                continue;
            return {{}, failure(folder.filePath(name))};
        }
        if (!folder.create(name, settings)) {
            const int error = errno;
            folder.remove(reportFileName(name));
            errno = error;
            if (errno == EEXIST)
                continue;
            return {{}, failure(folder.filePath(name))};
        }
        return {folder.filePath(name), {}};
    }
    return {{},
            QStringLiteral("%1 could not be written: %2 backups in one second.")
                .arg(QDir::toNativeSeparators(folder.filePath(backupFileName(stem, utc))))
                .arg(maxBackupsPerSecond)};
}

BackupResult backupConfiguration(Session &session, const QString &folder)
{
    Configuration config;
    if (!readConfiguration(session.exchange, config))
        return {{}, QStringLiteral("The headend's configuration could not be read.")};
    return writeBackup(config, folder);
}

} // namespace keldor
