// Measures the command exchange against its physical limits:
//  1. parameter reads over a pseudo-terminal at 9600 baud, against the time the bytes need on
//     the wire plus the pauses the protocol demands before every send;
//  2. the CPU the client burns while it waits for a headend that never answers.
#include "core/protocol/parameters.h"
#include "core/protocol/session.h"

#include "lansession.h"
#include "recordingui.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <sys/resource.h>

#include <cstdio>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

constexpr double lineBytesPerSecond = 960.0; // 9600 baud, 10 bits per byte
constexpr int requestBytes = 10;
constexpr int continueBytes = 1;
constexpr int endBytes = 2;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int benchReads(QTextStream &out, int reads, const QString &baud)
{
    SimProcess sim;
    const QStringList pty = sim.start({"--pty", "--baud", baud}, QStringLiteral("PTY"));
    if (pty.size() < 2) {
        out << "could not start headend-sim on a pty\n";
        return 1;
    }
    RecordingUi ui;
    Session session(ui);
    session.usbPorts = [&] {
        return QStringList{pty.at(1)};
    };
    if (!checkDevicePresent(session)) {
        out << "no session on " << pty.at(1) << '\n';
        return 1;
    }
    // A mix of the answer sizes a full read asks for.
    const std::array<quint8, 4> codes{0x59, 0x52, 0x51, 0x7A};
    double wireBytes = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < reads; ++i) {
        const quint8 code = codes[static_cast<size_t>(i) % codes.size()];
        ParamValue value;
        if (!readParameter(session.exchange, 0, code, 0, value)) {
            out << "read " << i << " failed\n";
            return 1;
        }
        wireBytes += requestBytes + answerLength(answerKind(code)) + continueBytes + endBytes;
    }
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const double pauses =
        reads * 2 * std::chrono::duration<double>(session.timing.sendPause).count();
    const double bound = wireBytes / lineBytesPerSecond + pauses;
    out << QStringLiteral("%1 reads over a pty at 9600 baud: %2 s, wire bound %3 s, ratio %4 "
                          "(target <= 1.05)\n")
               .arg(reads)
               .arg(elapsed, 0, 'f', 3)
               .arg(bound, 0, 'f', 3)
               .arg(elapsed / bound, 0, 'f', 3);
    endSession(session.exchange);
    return 0;
}

int benchSilentWait(QTextStream &out)
{
    SimProcess sim;
    const QStringList tcp =
        sim.start({"--tcp", "0", "--fault", "drop"}, QStringLiteral("LISTENING"));
    RecordingUi ui;
    Session session(ui);
    if (!connectToSim(session, tcp, out))
        return 1;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    ParamValue value;
    readParameter(session.exchange, 0, 0x59, 0, value); // the headend drops every request
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    out << QStringLiteral("silent headend wait: %1 s wall, %2 s CPU, ratio %3 (target <= 0.01)\n")
               .arg(wall, 0, 'f', 2)
               .arg(cpu, 0, 'f', 4)
               .arg(cpu / wall, 0, 'f', 5);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int reads = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    int failures = benchReads(out, reads > 0 ? reads : 200, qEnvironmentVariable("BAUD", "9600"));
    out.flush();
    failures += benchSilentWait(out);
    return failures == 0 ? 0 : 1;
}
