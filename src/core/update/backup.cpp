#include "update/backup.h"

#include "link/session.h"
#include "model/settingsfile.h"
#include "protocol/headendsettings.h"
#include "report/rtfreport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace keldor {

namespace {

// More backups than this in one second are no longer an operator at work.
constexpr int maxBackupsPerSecond = 100;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// One file of a backup, created by this writer and nobody else.
class ClaimedFile {
public:
    explicit ClaimedFile(QString path)
        : m_path(std::move(path))
    {}
    ~ClaimedFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_fd >= 0 && !m_kept)
            ::unlink(QFile::encodeName(m_path).constData());
    }
    ClaimedFile(const ClaimedFile &) = delete;
    ClaimedFile &operator=(const ClaimedFile &) = delete;

    // Creates the file unless something of that name is there; errno tells why not.
    bool claim()
    {
        m_fd = ::open(QFile::encodeName(m_path).constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        return m_fd >= 0;
    }
    bool write(const QByteArray &bytes)
    {
        QFile file;
        return file.open(m_fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                         QFileDevice::DontCloseHandle) &&
               file.write(bytes) == bytes.size() && ::fsync(m_fd) == 0;
    }
    // Closes the file and keeps it; a claimed file not kept goes when this ends.
    bool keep()
    {
        m_kept = ::close(m_fd) == 0;
        m_fd = m_kept ? -1 : m_fd;
        return m_kept;
    }
    const QString &path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_kept = false;
};

QString failure(const QString &path)
{
    return QStringLiteral("%1 could not be written: %2")
        .arg(shown(path), QString::fromLocal8Bit(std::strerror(errno)));
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
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return {{}, QStringLiteral("%1 could not be created.").arg(shown(folder))};
    for (int sequence = 1; sequence <= maxBackupsPerSecond; ++sequence) {
        const QString path = dir.filePath(backupFileName(stem, utc, sequence));
        ClaimedFile settings(path);
        ClaimedFile report(reportFileName(path));
        if (!settings.claim() || !report.claim()) {
            if (errno == EEXIST)
                continue;
            return {{}, failure(path)};
        }
        if (!report.write(renderReport(config)) || !report.keep())
            return {{}, failure(report.path())};
        if (!settings.write(encodeSettings(config.unit.channels)) || !settings.keep()) {
            QFile::remove(report.path());
            return {{}, failure(path)};
        }
        return {path, {}};
    }
    return {{},
            QStringLiteral("%1 could not be written: %2 backups in one second.")
                .arg(shown(dir.filePath(backupFileName(stem, utc))))
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
