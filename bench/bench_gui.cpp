// Measures how long the main window stops answering while the Program window reads a
// 16-channel headend over a pseudo-terminal at 9600 baud: the longest gap between two ticks of
// a 1 ms timer, from the moment the Program handler runs until the headend has heard nothing
// new for a while. Whatever window is registered for Program is measured; while none is, this
// is the shell's connection phase alone. Beside each gap stands the processor time the main
// thread spent in it: on a shared machine the gap's length also holds the time the thread
// waited for a core.
#include "core/features/shell/programfolder.h"
#include "core/features/shell/settingsstore.h"
#include "gui/app/mainwindow.h"
#include "gui/app/widgetui.h"
#include "gui/app/windowregistry.h"
#include "gui/station/station.h"

#include "simprocess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <ctime>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

// The read is over once the headend has heard nothing for this long.
constexpr auto quietEnd = 1500ms;
constexpr auto measureLimit = 180s;

qint64 threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString transcript = dir.filePath(QStringLiteral("gui.jsonl"));
    SimProcess sim;
    const QStringList pty = sim.start(
        {"--pty", "--variant", "16", "--baud", "9600", "--transcript", transcript}, "PTY");
    if (pty.size() < 2) {
        out << "could not start headend-sim on a pty\n";
        return 1;
    }

    setProgramFolderOverride(dir.path());
    QSettings ini(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Settings/USB-Control"), QStringLiteral("True"));
    ini.setValue(QStringLiteral("Settings/LAN-Control"), QStringLiteral("False"));
    SettingsStore store(ini);
    WidgetUi ui;
    Station station(ui, store);
    station.session.usbPorts = [&] {
        return QStringList{pty.at(1)};
    };
    MainWindow window(station);
    ui.attach(window);
    window.show();

    QElapsedTimer clock;
    qint64 lastTick = -1;
    qint64 lastCpu = 0;
    qint64 longestGap = 0;
    qint64 longestGapEnd = 0;
    qint64 longestGapCpu = 0;
    qint64 longestCpu = 0;
    qint64 ticks = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, &heartbeat, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNanoseconds();
        if (lastTick >= 0) {
            if (now - lastTick > longestGap) {
                longestGap = now - lastTick;
                longestGapEnd = now;
                longestGapCpu = cpu - lastCpu;
            }
            longestCpu = qMax(longestCpu, cpu - lastCpu);
        }
        lastTick = now;
        lastCpu = cpu;
        ++ticks;
    });

    // Done once the transcript has not grown for quietEnd after the handler returned.
    qint64 lastSize = -1;
    QElapsedTimer quiet;
    bool handlerReturned = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        const qint64 size = QFileInfo(transcript).size();
        if (size != lastSize) {
            lastSize = size;
            quiet.restart();
        }
        if ((handlerReturned && quiet.hasExpired(quietEnd.count())) ||
            clock.hasExpired(std::chrono::milliseconds(measureLimit).count()))
            app.quit();
    });

    QTimer::singleShot(0, &window, [&] {
        clock.start();
        quiet.start();
        heartbeat.start(1ms);
        watch.start(100ms);
        window.openProgramMenu();
        handlerReturned = true;
    });
    app.exec();
    heartbeat.stop();
    // The quiet tail is idle time, not part of the read.
    const double seconds =
        (clock.nsecsElapsed() / 1e9) - std::chrono::duration<double>(quietEnd).count();

    const bool registered = bool(standardWindows().factory(HeadendWindow::Program));
    out << QStringLiteral("GUI stall during %1 (%2 s, %3 ticks): longest gap %4 ms, %5 ms of it "
                          "busy, ending %7 s in; longest busy gap %6 ms (target <= 16 ms)\n")
               .arg(registered ? QStringLiteral("the Program window's read of a 16-channel headend")
                               : QStringLiteral("the connection phase (no Program window "
                                                "registered yet)"))
               .arg(seconds, 0, 'f', 1)
               .arg(ticks)
               .arg(longestGap / 1e6, 0, 'f', 1)
               .arg(longestGapCpu / 1e6, 0, 'f', 1)
               .arg(longestCpu / 1e6, 0, 'f', 1)
               .arg(longestGapEnd / 1e9, 0, 'f', 2);
    return 0;
}
