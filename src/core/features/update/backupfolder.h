#pragma once

#include "core/features/update/upload.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <tuple>
#include <variant>

namespace keldor {

// A folder that backups are written into, held open, so nothing planted in it while a backup
// runs can redirect a write: every file is created, renamed and removed relative to the open
// folder, never through a symbolic link, and a new file never replaces one that is there. A
// folder may be shared; one that others may write but the operator does not own is refused,
// because anyone who may write it could plant names in it.
class BackupFolder {
public:
    using Opened = std::variant<BackupFolder, QString>;

    // Opens path, made when missing, refusing a symbolic link in its place.
    static Opened open(const QString &path);
    // Opens the folder name inside this one, made when missing, under the same rules.
    Opened subfolder(const QString &name) const;

    const QString &path() const { return m_path; }
    QString filePath(const QString &name) const;

    // Puts bytes under name, which must not exist yet: they are written to a pending file of
    // their own first, so the name appears whole or not at all. False with errno set otherwise;
    // errno is EEXIST when the name was taken.
    bool create(const QString &name, const QByteArray &bytes) const;
    // Puts bytes under name, replacing a file (or a link) of that name, whole or not at all.
    bool replace(const QString &name, const QByteArray &bytes) const;
    bool remove(const QString &name) const;
    // A regular file's bytes, up to limit; nothing for a link or anything but a regular file.
    std::optional<QByteArray> read(const QString &name, qint64 limit) const;
    // The names of the regular files in the folder, links left out, in no particular order.
    QStringList files() const;

    // Holds the folder for this process until it ends, with holder written into the lock file
    // for the next run to read. Empty when held; otherwise who holds it, or why it can't be
    // held.
    QString lock(const QString &holder) const;
    // The lock file's name in the folder.
    static QString lockName();

private:
    struct Handle;
    BackupFolder(std::shared_ptr<Handle> handle, QString path);
    // Writes bytes to a new pending file and gives its name, or nothing (errno set).
    std::optional<QByteArray> writePending(const QString &name, const QByteArray &bytes) const;

    std::shared_ptr<Handle> m_handle;
    QString m_path;
};

// "STEM-YYYYMMDD-HHMMSS[_N].kdr" split into its time stamp and sequence number (1 without
// "_N"), so the backups of one headend sort by time and _10 after _2; nothing for another name.
struct BackupStamp {
    QString time;
    int sequence = 1;
    bool operator<(const BackupStamp &other) const
    {
        return std::tie(time, sequence) < std::tie(other.time, other.sequence);
    }
};
std::optional<BackupStamp> backupStamp(const QString &stem, const QString &fileName);

// Removes the older backups of one headend beyond keep, both files of each: the backups of
// stem whose reports name the serial number the report of current names, so two headends that
// share a name in one folder never prune each other. A backup whose serial number can't be read
// is kept. The settings files removed; those that could not be removed go to stuck.
QStringList pruneBackups(const BackupFolder &folder, const QString &stem, const QString &current,
                         int keep, QStringList &stuck);

} // namespace keldor
