#include "gitrepository.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>

#include <optional>

namespace keldor {

ProgramRun runProgram(const QString &program, const QStringList &arguments, const QByteArray &input,
                      std::chrono::milliseconds limit, const QProcessEnvironment &environment)
{
    ProgramRun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForStarted(int(limit.count()))) {
        run.problem =
            QStringLiteral("%1 could not be started: %2").arg(program, process.errorString());
        return run;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(int(limit.count()))) {
        process.kill();
        process.waitForFinished();
        run.problem = QStringLiteral("%1 did not end within %2 s")
                          .arg(program)
                          .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count());
        return run;
    }
    run.out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError().trimmed();
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (!run.ok())
        run.problem =
            QStringLiteral("%1 failed (exit status %2)%3")
                .arg(program)
                .arg(run.status)
                .arg(err.isEmpty() ? QString()
                                   : QStringLiteral(": ") +
                                         QString::fromUtf8(err).section(QLatin1Char('\n'), 0, 0));
    return run;
}

GitRepository::GitRepository(QString dir, std::chrono::milliseconds limit)
    : m_dir(std::move(dir))
    , m_limit(limit)
{}

ProgramRun GitRepository::run(const QStringList &arguments) const
{
    auto environment = QProcessEnvironment::systemEnvironment();
    // Nobody is there to type a password, and the texts we read are git's own.
    environment.insert(QStringLiteral("GIT_TERMINAL_PROMPT"), QStringLiteral("0"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    return runProgram(QStringLiteral("git"), QStringList{QStringLiteral("-C"), m_dir} + arguments,
                      {}, m_limit, environment);
}

QString GitRepository::create(const QStringList &ignored) const
{
    // A folder inside another repository gets one of its own: the backups are not the
    // enclosing project's business.
    if (QFileInfo::exists(QDir(m_dir).filePath(QStringLiteral(".git"))))
        return {};
    const ProgramRun init = run({QStringLiteral("init"), QStringLiteral("--quiet")});
    if (!init.ok())
        return init.problem;
    // Commits need a name; a system user of its own has none configured.
    for (const auto &[key, value] :
         {std::pair{QStringLiteral("user.name"), QStringLiteral("keldor-ctl fleet backup")},
          {QStringLiteral("user.email"),
           QStringLiteral("keldor-ctl@") + QSysInfo::machineHostName()}}) {
        const ProgramRun set = run({QStringLiteral("config"), key, value});
        if (!set.ok())
            return set.problem;
    }
    QFile exclude(QDir(m_dir).filePath(QStringLiteral(".git/info/exclude")));
    const QByteArray lines = ignored.join(QLatin1Char('\n')).toUtf8() + '\n';
    if (!exclude.open(QIODevice::Append) || exclude.write(lines) != lines.size())
        return QStringLiteral("%1 could not be written: %2")
            .arg(exclude.fileName(), exclude.errorString());
    return {};
}

bool GitRepository::commitChanges(const QStringList &paths, const QString &message,
                                  QString &problem) const
{
    const ProgramRun add = run(QStringList{QStringLiteral("add"), QStringLiteral("--")} + paths);
    if (!add.ok()) {
        problem = add.problem;
        return false;
    }
    const ProgramRun same = run(QStringList{QStringLiteral("diff"), QStringLiteral("--cached"),
                                            QStringLiteral("--quiet"), QStringLiteral("--")} +
                                paths);
    if (same.status == 0)
        return false;
    if (same.status != 1) {
        problem = same.problem;
        return false;
    }
    const ProgramRun commit = run(QStringList{QStringLiteral("commit"), QStringLiteral("--quiet"),
                                              QStringLiteral("-m"), message, QStringLiteral("--")} +
                                  paths);
    problem = commit.problem;
    return commit.ok();
}

std::optional<QByteArray> GitRepository::storedFile(const QString &revision, const QString &path,
                                                    QString &problem) const
{
    // A revision is never taken for an option.
    if (revision.isEmpty() || revision.startsWith(QLatin1Char('-'))) {
        problem = QStringLiteral("%1 is no revision").arg(revision);
        return std::nullopt;
    }
    const ProgramRun show = run({QStringLiteral("show"), revision + QLatin1Char(':') + path});
    if (!show.ok()) {
        problem = show.problem;
        return std::nullopt;
    }
    return show.out;
}

} // namespace keldor
