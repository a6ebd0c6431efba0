#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QString>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Files as a test looks at them: whole contents in and out, and a hash to show that a file
// was left exactly as it was.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// With a valid modified, the file bears that time of its last change.
inline bool writeFile(const QString &path, const QByteArray &bytes, const QDateTime &modified = {})
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
           (!modified.isValid() ||
            (file.flush() && file.setFileTime(modified, QFileDevice::FileModificationTime)));
}

// Empty when the file can't be read.
inline QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Every file below folder, relative to it, links and hidden files included, in name order.
inline QStringList filesIn(const QString &folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::System | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        files.append(it.next().mid(folder.size() + 1));
    files.sort();
    return files;
}

// Runs the work in a child process after prepare has set that process up, and returns what
// the work reported ("no child" when the child could not run or crashed).
inline QByteArray inChild(const std::function<void()> &prepare,
                          const std::function<QByteArray()> &work)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        prepare();
        const QByteArray report = work();
        [[maybe_unused]] const auto written = write(pipeEnds[1], report.constData(), report.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t n; child > 0 && (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, n);
    close(pipeEnds[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return "no child";
    return report;
}

// The work in a child process whose files can't grow past limit bytes, as on a full disk.
inline QByteArray onFullDisk(const std::function<QByteArray()> &work, rlim_t limit = 1024)
{
    return inChild(
        [limit] {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit size{limit, limit};
            setrlimit(RLIMIT_FSIZE, &size);
        },
        work);
}
