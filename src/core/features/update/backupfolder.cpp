#include "core/features/update/backupfolder.h"

#include "core/features/report/rtfreport.h"
#include "core/model/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keldor {

namespace {

// A lock file's text is one line; more is not read.
constexpr qint64 holderLimit = 1024;
// A report is tens of kilobytes; its serial number is near its start.
constexpr qint64 reportLimit = 1024 * 1024;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Opens the folder name relative to at (AT_FDCWD: name is a path) without following a link at
// its end, and checks who may write it. The descriptor, or why it can't be used.
std::variant<int, QString> openFolder(int at, const QString &name, const QString &shownPath)
{
    const QByteArray encoded = QFile::encodeName(name);
    const int fd =
        ::openat(at, encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        struct stat link {};
        if (::fstatat(at, encoded.constData(), &link, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(link.st_mode))
            return QStringLiteral("%1 is a symbolic link; backups are written into a real folder "
                                  "only.")
                .arg(shown(shownPath));
        return QStringLiteral("%1 could not be opened: %2").arg(shown(shownPath), systemError());
    }
    struct stat folder {};
    if (::fstat(fd, &folder) != 0 ||
        ((folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 && folder.st_uid != ::geteuid())) {
        ::close(fd);
        return QStringLiteral("%1 may be written by others and belongs to another user; backups "
                              "are not written there.")
            .arg(shown(shownPath));
    }
    return fd;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    QFile file;
    return file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                     QFileDevice::DontCloseHandle) &&
           file.write(bytes) == bytes.size() && ::fsync(fd) == 0;
}

} // namespace

struct BackupFolder::Handle {
    int fd = -1;
    int lockFd = -1;
    ~Handle()
    {
        if (lockFd >= 0)
            ::close(lockFd);
        if (fd >= 0)
            ::close(fd);
    }
};

BackupFolder::BackupFolder(std::shared_ptr<Handle> handle, QString path)
    : m_handle(std::move(handle))
    , m_path(std::move(path))
{}

BackupFolder::Opened BackupFolder::open(const QString &path)
{
    if (!QDir().mkpath(path))
        return QStringLiteral("%1 could not be created.").arg(shown(path));
    auto opened = openFolder(AT_FDCWD, path, path);
    if (const auto *problem = std::get_if<QString>(&opened))
        return *problem;
    auto handle = std::make_shared<Handle>();
    handle->fd = std::get<int>(opened);
    return BackupFolder(std::move(handle), path);
}

BackupFolder::Opened BackupFolder::subfolder(const QString &name) const
{
    const QString path = filePath(name);
    if (::mkdirat(m_handle->fd, QFile::encodeName(name).constData(), 0755) != 0 && errno != EEXIST)
        return QStringLiteral("%1 could not be created: %2").arg(shown(path), systemError());
    auto opened = openFolder(m_handle->fd, name, path);
    if (const auto *problem = std::get_if<QString>(&opened))
        return *problem;
    auto handle = std::make_shared<Handle>();
    handle->fd = std::get<int>(opened);
    return BackupFolder(std::move(handle), path);
}

QString BackupFolder::filePath(const QString &name) const
{
    return QDir(m_path).filePath(name);
}

std::optional<QByteArray> BackupFolder::writePending(const QString &name,
                                                     const QByteArray &bytes) const
{
    // Unique within this process by the counter and across processes by the process number;
    // a name someone planted is passed over.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray pending = QFile::encodeName(
            QStringLiteral(".%1.pending-%2-%3").arg(name).arg(::getpid()).arg(counter++));
        const int fd = ::openat(m_handle->fd, pending.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return std::nullopt;
        const bool written = writeAll(fd, bytes);
        const int error = errno;
        if (::close(fd) == 0 && written)
            return pending;
        ::unlinkat(m_handle->fd, pending.constData(), 0);
        errno = written ? errno : error;
        return std::nullopt;
    }
    errno = EEXIST;
    return std::nullopt;
}

bool BackupFolder::create(const QString &name, const QByteArray &bytes) const
{
    const auto pending = writePending(name, bytes);
    if (!pending)
        return false;
    const QByteArray target = QFile::encodeName(name);
    const int fd = m_handle->fd;
    int placed = ::renameat2(fd, pending->constData(), fd, target.constData(), RENAME_NOREPLACE);
    // A file system without an exclusive rename still has an exclusive link.
    if (placed != 0 && (errno == EINVAL || errno == ENOSYS))
        placed = ::linkat(fd, pending->constData(), fd, target.constData(), 0);
    const int error = errno;
    ::unlinkat(fd, pending->constData(), 0);
    errno = error;
    return placed == 0 && ::fsync(fd) == 0;
}

bool BackupFolder::replace(const QString &name, const QByteArray &bytes) const
{
    const auto pending = writePending(name, bytes);
    if (!pending)
        return false;
    const int fd = m_handle->fd;
    if (::renameat(fd, pending->constData(), fd, QFile::encodeName(name).constData()) != 0) {
        const int error = errno;
        ::unlinkat(fd, pending->constData(), 0);
        errno = error;
        return false;
    }
    return ::fsync(fd) == 0;
}

bool BackupFolder::remove(const QString &name) const
{
    return ::unlinkat(m_handle->fd, QFile::encodeName(name).constData(), 0) == 0 || errno == ENOENT;
}

std::optional<QByteArray> BackupFolder::read(const QString &name, qint64 limit) const
{
    const int fd = ::openat(m_handle->fd, QFile::encodeName(name).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat file {};
    QFile reader;
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &file) == 0 && S_ISREG(file.st_mode) &&
        reader.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        bytes = reader.read(limit);
    ::close(fd);
    return bytes;
}

QStringList BackupFolder::files() const
{
    QStringList names;
    const int fd = ::openat(m_handle->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        struct stat file {};
        if (::fstatat(m_handle->fd, entry->d_name, &file, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(file.st_mode))
            names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

QString BackupFolder::lockName()
{
    return QStringLiteral(".keldor-lock");
}

QString BackupFolder::lock(const QString &holder) const
{
    const int fd = ::openat(m_handle->fd, QFile::encodeName(lockName()).constData(),
                            O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return QStringLiteral("%1 could not be opened: %2")
            .arg(shown(filePath(lockName())), systemError());
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK)
            return QStringLiteral("%1 could not be locked: %2")
                .arg(shown(filePath(lockName())), QString::fromLocal8Bit(std::strerror(error)));
        const QString held =
            QString::fromUtf8(read(lockName(), holderLimit).value_or(QByteArray())).trimmed();
        return QStringLiteral("%1 is in use by another backup run (%2)")
            .arg(shown(m_path), held.isEmpty() ? QStringLiteral("unknown") : held);
    }
    const QByteArray text = holder.toUtf8() + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.constData(), size_t(text.size()), 0) < 0) {
        ::close(fd);
        return QStringLiteral("%1 could not be written: %2")
            .arg(shown(filePath(lockName())), systemError());
    }
    if (m_handle->lockFd >= 0)
        ::close(m_handle->lockFd);
    m_handle->lockFd = fd;
    return {};
}

std::optional<BackupStamp> backupStamp(const QString &stem, const QString &fileName)
{
    if (!fileName.startsWith(stem + QLatin1Char('-')))
        return std::nullopt;
    static const QRegularExpression stamp(
        QStringLiteral("^(\\d{8}-\\d{6})(?:_(\\d{1,9}))?\\.kdr$"));
    const auto match = stamp.match(QStringView(fileName).mid(stem.size() + 1));
    if (!match.hasMatch())
        return std::nullopt;
    return BackupStamp{match.captured(1), match.hasCaptured(2) ? match.captured(2).toInt() : 1};
}

QStringList pruneBackups(const BackupFolder &folder, const QString &stem, const QString &current,
                         int keep, QStringList &stuck)
{
    const auto serialOf = [&](const QString &settings) {
        return reportSerialNumber(
            folder.read(reportFileName(settings), reportLimit).value_or(QByteArray()));
    };
    const std::optional<QString> serial = serialOf(current);
    if (!serial)
        return {};
    std::vector<std::pair<BackupStamp, QString>> older;
    for (const QString &file : folder.files()) {
        const auto stamp = backupStamp(stem, file);
        if (stamp && file != current && serialOf(file) == serial)
            older.emplace_back(*stamp, file);
    }
    std::sort(older.begin(), older.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList removed;
    for (qsizetype i = 0; i < qsizetype(older.size()) - (keep - 1); ++i) {
        const QString &settings = older[size_t(i)].second;
        if (folder.remove(settings) && folder.remove(reportFileName(settings)))
            removed.append(folder.filePath(settings));
        else
            stuck.append(folder.filePath(settings));
    }
    return removed;
}

} // namespace keldor
