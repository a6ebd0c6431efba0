// Measures the start of keldor-station up to its first shown main window: the wall time from
// spawning it until it exits (KELDOR_EXIT_WHEN_SHOWN makes it quit right after the show) and
// its peak resident memory at that point, as the kernel reports it for the finished child.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <vector>

extern char **environ;

namespace {

struct Start {
    double seconds = 0;
    long peakKib = 0;
    bool ok = false;
};

Start startOnce(const QByteArray &program)
{
    Start start;
    char *argv[] = {const_cast<char *>(program.constData()), nullptr};
    QElapsedTimer clock;
    clock.start();
    // The program's start-up chatter on stderr is not what is measured.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return start;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return start;
    start.seconds = clock.nsecsElapsed() / 1e9;
    start.peakKib = usage.ru_maxrss; // kilobytes on Linux: VmHWM of the child when it ended
    start.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return start;
}

} // namespace

// Argument: how many starts (default 5); the first one is reported apart as the coldest.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int runs = qMax(1, argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5);
    const QByteArray program =
        (qEnvironmentVariable("KELDOR_BIN_DIR", QCoreApplication::applicationDirPath()) +
         QStringLiteral("/keldor-station"))
            .toLocal8Bit();

    // The program's settings and folder belong to this run alone.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toLocal8Bit());
    qputenv("KELDOR_PROGRAM_DIR", home.path().toLocal8Bit());
    qputenv("KELDOR_EXIT_WHEN_SHOWN", "1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    std::vector<Start> starts;
    for (int i = 0; i < runs; ++i) {
        const Start start = startOnce(program);
        if (!start.ok) {
            out << "keldor-station did not start and quit cleanly\n";
            return 1;
        }
        starts.push_back(start);
    }
    std::vector<Start> sorted = starts;
    std::sort(sorted.begin(), sorted.end(),
              [](const Start &a, const Start &b) { return a.seconds < b.seconds; });
    const Start &median = sorted[sorted.size() / 2];
    long peak = 0;
    for (const Start &start : starts)
        peak = std::max(peak, start.peakKib);
    out << QStringLiteral("keldor-station start to shown main window (%1, %2 runs): first %3 s, "
                          "median %4 s; peak resident memory %5 MiB\n")
               .arg(qEnvironmentVariable(
                   "QT_QPA_PLATFORM",
                   QStringLiteral("display %1").arg(qEnvironmentVariable("DISPLAY"))))
               .arg(runs)
               .arg(starts.front().seconds, 0, 'f', 3)
               .arg(median.seconds, 0, 'f', 3)
               .arg(peak / 1024.0, 0, 'f', 1);
    return 0;
}
