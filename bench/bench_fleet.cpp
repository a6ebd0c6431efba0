// Measures keldor-ctl's fleet backup against the backup of one headend alone: 32 headend-sim
// processes on loopback with their real timings, one backed up by itself and then all 32 with
// --jobs 32, in the same run. Waiting headends cost nothing, so the fleet should take little
// longer than one; the client's CPU time (keldor-ctl and its threads) is printed beside it.
// Then the fleet goes into git twice: the second run, with nothing changed, must add no commit.
#include "simprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

#include <array>
#include <cstdio>

namespace {

constexpr int fleetSize = 32;

// User and system time of the children that have ended, keldor-ctl among them; the simulators
// are still running, so theirs is not in it.
double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
};

Run backup(const QStringList &arguments, QTextStream &out)
{
    QProcess ctl;
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    ctl.start(qEnvironmentVariable("KELDOR_BIN_DIR", QCoreApplication::applicationDirPath()) +
                  QStringLiteral("/keldor-ctl"),
              QStringList{QStringLiteral("fleet"), QStringLiteral("backup")} + arguments);
    const bool ended = ctl.waitForFinished(300000);
    Run run{ended && ctl.exitStatus() == QProcess::NormalExit && ctl.exitCode() == 0,
            clock.nsecsElapsed() / 1e9, childCpuSeconds() - cpuBefore};
    if (!run.ok)
        out << "keldor-ctl fleet backup " << arguments.join(' ') << " failed:\n"
            << ctl.readAllStandardOutput() << ctl.readAllStandardError();
    return run;
}

// How many commits the repository at path holds.
QString commitCount(const QString &path)
{
    QProcess git;
    git.start(QStringLiteral("git"), {QStringLiteral("-C"), path, QStringLiteral("rev-list"),
                                      QStringLiteral("--count"), QStringLiteral("HEAD")});
    git.waitForFinished();
    return QString::fromUtf8(git.readAllStandardOutput()).trimmed();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    std::array<SimProcess, fleetSize> sims;
    QFile list(dir.filePath(QStringLiteral("fleet.list")));
    if (!list.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 0; i < fleetSize; ++i) {
        const QStringList listening = sims[i].start({QStringLiteral("--tcp"), QStringLiteral("0")},
                                                    QStringLiteral("LISTENING"));
        if (listening.size() < 4) {
            out << "could not start headend-sim " << i + 1 << '\n';
            return 1;
        }
        list.write(QStringLiteral("rack-%1 %2:%3\n")
                       .arg(i + 1, 2, 10, QLatin1Char('0'))
                       .arg(listening.at(2), listening.at(3))
                       .toUtf8());
    }
    list.close();

    const Run one = backup({dir.filePath(QStringLiteral("one")), QStringLiteral("--list"),
                            list.fileName(), QStringLiteral("--only"), QStringLiteral("rack-01")},
                           out);
    const Run all = backup({dir.filePath(QStringLiteral("all")), QStringLiteral("--list"),
                            list.fileName(), QStringLiteral("--jobs"), QString::number(fleetSize)},
                           out);
    // The same fleet into git twice: the second run finds nothing changed and commits nothing.
    const QStringList git{dir.filePath(QStringLiteral("git")),
                          QStringLiteral("--git"),
                          QStringLiteral("--list"),
                          list.fileName(),
                          QStringLiteral("--jobs"),
                          QString::number(fleetSize)};
    const Run first = backup(git, out);
    const QString firstCommits = commitCount(git.first());
    const Run again = backup(git, out);
    if (!one.ok || !all.ok || !first.ok || !again.ok)
        return 1;
    out << QStringLiteral("fleet backup of %1 headends with --jobs %1: %2 s, one alone %3 s, "
                          "ratio %4 (target <= 2.0)\n")
               .arg(fleetSize)
               .arg(all.seconds, 0, 'f', 2)
               .arg(one.seconds, 0, 'f', 2)
               .arg(all.seconds / one.seconds, 0, 'f', 2);
    out << QStringLiteral("client CPU: %1 s for the fleet, %2 s for one alone\n")
               .arg(all.cpuSeconds, 0, 'f', 2)
               .arg(one.cpuSeconds, 0, 'f', 2);
    out << QStringLiteral("fleet backup --git: first run %1 s (%2 commits), unchanged again %3 s "
                          "(%4 commits after it)\n")
               .arg(first.seconds, 0, 'f', 2)
               .arg(firstCommits)
               .arg(again.seconds, 0, 'f', 2)
               .arg(commitCount(git.first()));
    return 0;
}
