#include "core/common/fileaccess.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keldor {

namespace {

const QString notRegular = QStringLiteral("it is not a regular file.");

// Hands the descriptor to file; on failure it is closed and the reason returned.
QString adopt(QFile &file, int fd, QIODevice::OpenMode mode)
{
    if (file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return {};
    ::close(fd);
    return file.errorString();
}

// Opens an existing file at the path for replacing it, without following a link.
QString replaceExisting(QFile &file, const QByteArray &name)
{
    // Not waiting: a FIFO without a reader must not block the program.
    const int fd =
        ::open(name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    // A FIFO without a reader and a socket refuse to open for writing without waiting.
    if (fd < 0 && errno == ENXIO)
        return notRegular;
    if (fd < 0)
        return errno == ELOOP ? QStringLiteral("it is a symbolic link.") : qt_error_string(errno);
    struct stat status {};
    QString problem;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        problem = notRegular;
    // Private before it is emptied: a file that can't be made private keeps what it held.
    else if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0 || ::ftruncate(fd, 0) != 0)
        problem = qt_error_string(errno);
    if (!problem.isEmpty()) {
        ::close(fd);
        return problem;
    }
    return adopt(file, fd, QIODevice::WriteOnly);
}

} // namespace

std::variant<FileStart, QString> readFileStart(const QString &path, qint64 limit)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return qt_error_string(errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return notRegular;
    }
    QFile file;
    if (const QString problem = adopt(file, fd, QIODevice::ReadOnly); !problem.isEmpty())
        return problem;
    FileStart start;
    start.size = file.size();
    start.bytes = file.read(limit);
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return start;
}

QString createPrivateFile(QFile &file, const QString &path, ExistingFile existing)
{
    const QByteArray name = QFile::encodeName(path);
    // O_EXCL fails on whatever is there, a link included, so nothing is written through one.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd >= 0)
        return adopt(file, fd, QIODevice::WriteOnly);
    if (errno != EEXIST)
        return qt_error_string(errno);
    if (existing == ExistingFile::Replace)
        return replaceExisting(file, name);
    struct stat status {};
    return ::lstat(name.constData(), &status) == 0 && S_ISLNK(status.st_mode)
               ? QStringLiteral("it is a symbolic link.")
               : QStringLiteral("the file exists.");
}

} // namespace keldor
