// Measures keldor-exporter as Prometheus uses it: 64 headend-sim processes on loopback, each
// scraped through the exporter every 15 s for two minutes (bench_exporter [SECONDS] [MIN-INTERVAL]
// changes the length and the exporter's --min-interval, 0 by default so that every scrape reads
// its headend). Prints how long the scrapes took against the scrape time-out, how many came
// late (after the time-out) or with keldor_up 0, and the exporter's CPU time and peak memory.
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int headends = 64;
constexpr qint64 scrapeIntervalMs = 15000;
constexpr QByteArrayView scrapeTimeout = "10";
constexpr qint64 scrapeTimeoutMs = 10000;
constexpr quint16 exporterPort = 19745;

// User and system time of a running process, from /proc.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
    // After the name: state is field 3, utime and stime are fields 14 and 15.
    return (fields.value(12).toDouble() + fields.value(13).toDouble()) / sysconf(_SC_CLK_TCK);
}

QByteArray statusField(qint64 pid, const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).simplified();
    }
    return {};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const qint64 durationMs = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 120) * 1000;
    const QString minInterval = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("0");
    const QString bin = qEnvironmentVariable("KELDOR_BIN_DIR", app.applicationDirPath());

    std::vector<std::unique_ptr<SimProcess>> sims;
    QTemporaryDir dir;
    QFile list(dir.filePath(QStringLiteral("fleet.list")));
    if (!list.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 0; i < headends; ++i) {
        auto &sim = sims.emplace_back(std::make_unique<SimProcess>());
        const QStringList words =
            sim->start({QStringLiteral("--tcp"), QStringLiteral("0")}, QStringLiteral("LISTENING"));
        if (words.size() < 4) {
            out << "headend-sim " << i << " did not start\n";
            return 1;
        }
        list.write(QStringLiteral("headend-%1 127.0.0.1:%2\n").arg(i).arg(words.at(3)).toUtf8());
    }
    list.close();

    QProcess exporter;
    exporter.start(bin + QStringLiteral("/keldor-exporter"),
                   {QStringLiteral("--list"), list.fileName(), QStringLiteral("--listen"),
                    QStringLiteral("127.0.0.1:%1").arg(exporterPort),
                    QStringLiteral("--min-interval"), minInterval});
    // It says when it listens.
    exporter.setReadChannel(QProcess::StandardError);
    QByteArray said;
    while (!said.contains("listening") && exporter.waitForReadyRead(10000))
        said += exporter.readAllStandardError();
    if (!said.contains("listening")) {
        out << "keldor-exporter did not start: " << said << '\n';
        return 1;
    }
    const double cpuBefore = cpuSeconds(exporter.processId());

    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    std::vector<qint64> latencies;
    int late = 0;
    int down = 0;
    int pending = 0;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    std::vector<std::unique_ptr<QTimer>> timers;
    for (int i = 0; i < headends; ++i) {
        // Prometheus spreads the targets of a job over the interval.
        auto scrape = [&, i] {
            if (clock.elapsed() >= durationMs)
                return;
            QNetworkRequest request(
                QUrl(QStringLiteral("http://127.0.0.1:%1/probe?target=headend-%2")
                         .arg(exporterPort)
                         .arg(i)));
            request.setRawHeader("X-Prometheus-Scrape-Timeout-Seconds",
                                 scrapeTimeout.toByteArray());
            request.setTransferTimeout(int(scrapeTimeoutMs));
            QElapsedTimer *started = new QElapsedTimer;
            started->start();
            QNetworkReply *reply = network.get(request);
            ++pending;
            QObject::connect(reply, &QNetworkReply::finished, &loop, [&, reply, started] {
                const qint64 ms = started->elapsed();
                delete started;
                const QByteArray body = reply->readAll();
                latencies.push_back(ms);
                if (ms > scrapeTimeoutMs || reply->error() != QNetworkReply::NoError)
                    ++late;
                else if (!body.contains("keldor_up{headend=\"headend-"))
                    ++late;
                else if (!body.contains("} 1\n# HELP keldor_health_status"))
                    ++down;
                reply->deleteLater();
                if (--pending == 0 && clock.elapsed() >= durationMs)
                    loop.quit();
            });
        };
        auto &timer = timers.emplace_back(std::make_unique<QTimer>());
        timer->setInterval(int(scrapeIntervalMs));
        QObject::connect(timer.get(), &QTimer::timeout, &loop, scrape);
        QTimer::singleShot(int(scrapeIntervalMs * i / headends), &loop, [&, i, scrape] {
            scrape();
            timers.at(size_t(i))->start();
        });
    }
    QTimer::singleShot(int(durationMs + scrapeTimeoutMs + 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds(exporter.processId()) - cpuBefore;
    const QByteArray peak = statusField(exporter.processId(), "VmHWM");
    QNetworkRequest own(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(exporterPort)));
    QNetworkReply *metrics = network.get(own);
    QObject::connect(metrics, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray ownFigures = metrics->readAll();
    out << exporter.readAllStandardError();
    exporter.terminate();
    exporter.waitForFinished();

    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies.empty() ? 0 : latencies.at(size_t(q * double(latencies.size() - 1)));
    };
    out << headends << " headends scraped every " << scrapeIntervalMs / 1000 << " s for "
        << durationMs / 1000 << " s, scrape time-out " << scrapeTimeout.toByteArray()
        << " s, --min-interval " << minInterval << "\n"
        << "scrapes: " << latencies.size() << ", late or failed: " << late
        << ", answered keldor_up 0: " << down << "\n"
        << "answer time ms: median " << at(0.5) << ", 99th " << at(0.99) << ", longest " << at(1.0)
        << " (longest / time-out " << double(at(1.0)) / scrapeTimeoutMs << ")\n"
        << "exporter CPU: " << cpu << " s in " << wall << " s (" << 100 * cpu / wall
        << " % of one core), peak memory " << peak << "\n";
    for (const QByteArray &line : ownFigures.split('\n')) {
        if (line.startsWith("keldor_exporter_"))
            out << "  " << line << '\n';
    }
    return late == 0 ? 0 : 1;
}
