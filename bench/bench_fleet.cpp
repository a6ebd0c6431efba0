// Measures keldor-ctl's fleet backup against the backup of one headend alone: 32 headend-sim
// processes on loopback with their real timings, one backed up by itself and then all 32 with
// --jobs 32, in the same run. Waiting headends cost nothing, so the fleet should take little
// longer than one; the client's CPU time (keldor-ctl and its threads) is printed beside it.
// Then 256 simulators, backed up 64 at a time, against one of them alone, with the client's
// CPU time and peak memory.
#include "simprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int fleetSize = 32;
constexpr int largeFleetSize = 256;
constexpr int largeFleetJobs = 64;

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
    qint64 peakKib = 0; // the most memory keldor-ctl held at once
};

// The process's peak resident memory so far, from the kernel's high-water mark.
qint64 peakMemoryKib(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

Run backup(const QStringList &arguments, QTextStream &out)
{
    QProcess ctl;
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    ctl.start(qEnvironmentVariable("KELDOR_BIN_DIR", QCoreApplication::applicationDirPath()) +
                  QStringLiteral("/keldor-ctl"),
              QStringList{QStringLiteral("fleet"), QStringLiteral("backup")} + arguments);
    // The high-water mark only rises; reading it as the program runs misses at most what it
    // takes on in its last tenth of a second.
    qint64 peakKib = 0;
    const qint64 pid = ctl.processId();
    bool ended = false;
    while (!ended && clock.elapsed() < 600000) {
        peakKib = std::max(peakKib, peakMemoryKib(pid));
        ended = ctl.waitForFinished(100);
    }
    Run run{ended && ctl.exitStatus() == QProcess::NormalExit && ctl.exitCode() == 0,
            clock.nsecsElapsed() / 1e9, childCpuSeconds() - cpuBefore, peakKib};
    if (!run.ok)
        out << "keldor-ctl fleet backup " << arguments.join(' ') << " failed:\n"
            << ctl.readAllStandardOutput() << ctl.readAllStandardError();
    return run;
}

// count headend-sim processes with their real timings, listed one a line as "rack-N HOST:PORT"
// (N with as many digits as count) in the file at listPath; none when one would not start.
std::vector<std::unique_ptr<SimProcess>> startSimulators(int count, const QString &listPath,
                                                         QTextStream &out)
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    QFile list(listPath);
    if (!list.open(QIODevice::WriteOnly))
        return {};
    const int digits = int(QString::number(count).size());
    for (int i = 0; i < count; ++i) {
        sims.push_back(std::make_unique<SimProcess>());
        const QStringList listening = sims.back()->start(
            {QStringLiteral("--tcp"), QStringLiteral("0")}, QStringLiteral("LISTENING"));
        if (listening.size() < 4) {
            out << "could not start headend-sim " << i + 1 << '\n';
            return {};
        }
        list.write(QStringLiteral("rack-%1 %2:%3\n")
                       .arg(i + 1, digits, 10, QLatin1Char('0'))
                       .arg(listening.at(2), listening.at(3))
                       .toUtf8());
    }
    return sims;
}

// The first headend of the list backed up alone, then all of them, jobs at a time.
std::pair<Run, Run> backupOneThenAll(const QTemporaryDir &dir, const QString &list,
                                     const QString &first, int jobs, QTextStream &out)
{
    const Run one = backup({dir.filePath(QStringLiteral("one")), QStringLiteral("--list"), list,
                            QStringLiteral("--only"), first},
                           out);
    const Run all = backup({dir.filePath(QStringLiteral("all")), QStringLiteral("--list"), list,
                            QStringLiteral("--jobs"), QString::number(jobs)},
                           out);
    return {one, all};
}

// 256 headends backed up 64 at a time against one of them alone: four rounds of waiting, so a
// client that costs nothing while it waits takes about four times as long as for one.
bool benchLargeFleet(QTextStream &out)
{
    // Each simulator's pipes are open files of ours.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("large.list"));
    const auto sims = startSimulators(largeFleetSize, list, out);
    if (sims.empty())
        return false;
    const auto [one, all] =
        backupOneThenAll(dir, list, QStringLiteral("rack-001"), largeFleetJobs, out);
    if (!one.ok || !all.ok)
        return false;
    const double rounds = double(largeFleetSize) / largeFleetJobs;
    out << QStringLiteral("fleet backup of %1 headends with --jobs %2: %3 s, one alone %4 s, "
                          "ratio %5 (%6 rounds: target <= %7)\n")
               .arg(largeFleetSize)
               .arg(largeFleetJobs)
               .arg(all.seconds, 0, 'f', 2)
               .arg(one.seconds, 0, 'f', 2)
               .arg(all.seconds / one.seconds, 0, 'f', 2)
               .arg(rounds)
               .arg(2 * rounds);
    out << QStringLiteral("client CPU: %1 s for the %2, %3 s for one alone; peak memory: "
                          "%4 MiB for the %2, %5 MiB for one alone\n")
               .arg(all.cpuSeconds, 0, 'f', 2)
               .arg(largeFleetSize)
               .arg(one.cpuSeconds, 0, 'f', 2)
               .arg(all.peakKib / 1024.0, 0, 'f', 1)
               .arg(one.peakKib / 1024.0, 0, 'f', 1);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("fleet.list"));
    const auto sims = startSimulators(fleetSize, list, out);
    if (sims.empty())
        return 1;
    const auto [one, all] = backupOneThenAll(dir, list, QStringLiteral("rack-01"), fleetSize, out);
    if (!one.ok || !all.ok)
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
    return benchLargeFleet(out) ? 0 : 1;
}
