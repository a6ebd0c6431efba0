#include "commandline.h"
#include "headend.h"
#include "ptytransport.h"
#include "replay.h"
#include "stateio.h"
#include "tcptransport.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

// Test harnesses read these lines from stdout, so each goes out whole and at once.
void announce(const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "headend-sim: %s\n", qPrintable(message));
    return 1;
}

// SIGINT and SIGTERM end the event loop normally, so the state can still be dumped on the way out.
void quitOnTermination(QCoreApplication &app)
{
    sigset_t terminating;
    sigemptyset(&terminating);
    sigaddset(&terminating, SIGINT);
    sigaddset(&terminating, SIGTERM);
    sigprocmask(SIG_BLOCK, &terminating, nullptr);
    const int fd = signalfd(-1, &terminating, SFD_CLOEXEC);
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("headend-sim"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral(HEADEND_SIM_VERSION " (Qt %1)").arg(QLatin1String(qVersion())));
    const sim::Options options = sim::parseCommandLine(app);

    sim::Headend headend;
    QString error;
    if (!options.configFile.isEmpty() &&
        !loadStateFile(options.configFile, headend.state(), &error))
        return fail(error);
    applyIdentityShortcuts(options, headend.state());
    applyHealthShortcuts(options, headend.state());
    sim::Replay replay;
    if (!options.replayFile.isEmpty()) {
        if (!replay.load(options.replayFile, &error))
            return fail(error);
        headend.setReplay(&replay);
        QObject::connect(&headend, &sim::Headend::replayEnded, &app, [](const QString &report) {
            std::fprintf(stderr, "headend-sim: %s\n", qPrintable(report));
            QCoreApplication::exit(3);
        });
    }
    headend.setFault(options.fault);
    headend.setTiming(options.timing);
    headend.setThrottle(options.baud / 10);
    if (!options.transcriptFile.isEmpty() && !headend.setTranscriptFile(options.transcriptFile))
        return fail(QStringLiteral("cannot write %1").arg(options.transcriptFile));

    sim::TcpTransport tcp(headend);
    if (options.tcpPort) {
        if (!tcp.listen(options.bindAddress, *options.tcpPort))
            return fail(tcp.errorString());
        announce(
            QStringLiteral("LISTENING tcp %1 %2").arg(tcp.address().toString()).arg(tcp.port()));
        QObject::connect(
            &tcp, &sim::TcpTransport::restarted, [](const QHostAddress &address, quint16 port) {
                announce(QStringLiteral("RESTARTED tcp %1 %2").arg(address.toString()).arg(port));
            });
    }
    sim::PtyTransport pty(headend);
    if (options.pty) {
        if (!pty.open(options.ptyLink))
            return fail(pty.errorString());
        announce(QStringLiteral("PTY %1").arg(pty.slavePath()));
        QObject::connect(&pty, &sim::PtyTransport::reopened,
                         [](const QString &path) { announce(QStringLiteral("PTY %1").arg(path)); });
    }

    quitOnTermination(app);
    int status = app.exec();
    if (headend.replay() && status == 0) {
        // A request sent just before the end still counts: take in what has arrived, then the
        // dialogue must have held every recorded request.
        QCoreApplication::processEvents();
        if (!headend.replayFailed() && !replay.complete())
            std::fprintf(stderr, "headend-sim: %s\n", qPrintable(replay.missingReport()));
        if (headend.replayFailed() || !replay.complete())
            status = 3;
    }
    if (!options.dumpStateFile.isEmpty() &&
        !saveStateFile(options.dumpStateFile, headend.state(), &error)) {
        return fail(error);
    }
    return status;
}
