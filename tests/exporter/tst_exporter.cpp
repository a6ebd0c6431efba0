#include "exporteroptions.h"
#include "exporterserver.h"
#include "files.h"
#include "probeservice.h"
#include "simfixture.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <list>
#include <set>

using namespace keldor;

// The exporter in this process in front of simulated headends, each listed by name, scraped
// over loopback as Prometheus scrapes it.
class TestExporter : public QObject {
    Q_OBJECT

private:
    // A scrape: what Prometheus gets back, and after how long.
    struct Scrape {
        int status = 0;
        QString body;
        qint64 ms = 0;
    };

    std::list<SimHeadend> m_sims;
    std::optional<ProbeService> m_probes;
    std::optional<ExporterServer> m_server;
    QNetworkAccessManager m_network;
    QStringList m_answers; // every exposition-format answer, for the parser at the end

    // Headends named in order, then the exporter in front of them. Every answer of a
    // dropped request takes 3 s, beyond any scrape's time-out here.
    void startExporter(const QStringList &names, std::chrono::milliseconds minInterval = {})
    {
        QString list;
        for (const QString &name : names) {
            SimHeadend &sim = m_sims.emplace_back();
            QVERIFY(sim.listen());
            list += name + QStringLiteral(" 127.0.0.1:") + sim.portText() + QLatin1Char('\n');
        }
        const auto members = parseFleetList(list, QStringLiteral("fleet.list"));
        QVERIFY(std::holds_alternative<QList<FleetMember>>(members));
        Timing timing = Timing::fast();
        timing.answerLimit = 3s;
        m_probes.emplace(std::get<QList<FleetMember>>(members), timing, minInterval);
        m_server.emplace(*m_probes);
        QVERIFY(m_server->listen(QHostAddress::LocalHost, 0) != 0);
    }
    SimHeadend &sim(int index) { return *std::next(m_sims.begin(), index); }

    QNetworkReply *get(const QString &pathAndQuery, const QByteArray &scrapeTimeout = "2")
    {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2")
                                         .arg(m_server->serverPorts().value(0))
                                         .arg(pathAndQuery)));
        if (!scrapeTimeout.isEmpty())
            request.setRawHeader("X-Prometheus-Scrape-Timeout-Seconds", scrapeTimeout);
        return m_network.get(request);
    }
    Scrape finish(QNetworkReply *reply, const QElapsedTimer &clock)
    {
        if (!reply->isFinished())
            QSignalSpy(reply, &QNetworkReply::finished).wait(10000);
        Scrape scrape{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                      QString::fromUtf8(reply->readAll()), clock.elapsed()};
        reply->deleteLater();
        if (scrape.status == 200 && reply->url().path() != QLatin1String("/"))
            m_answers.append(scrape.body);
        return scrape;
    }
    Scrape scrape(const QString &pathAndQuery, const QByteArray &scrapeTimeout = "2")
    {
        QElapsedTimer clock;
        clock.start();
        return finish(get(pathAndQuery, scrapeTimeout), clock);
    }
    int connections(int index)
    {
        std::set<int> seen;
        for (const auto &entry : sim(index).headend.transcript())
            seen.insert(entry.connection);
        return int(seen.size());
    }

private slots:
    void initTestCase() { m_network.setProxy(QNetworkProxy::NoProxy); }

    void cleanup()
    {
        m_server.reset();
        m_probes.reset();
        m_sims.clear();
    }

    // Each state a dashboard tells apart, read through /probe: the figures check prints, and
    // where a failed probe stopped; every answer comes before the scrape's own time-out.
    void probes()
    {
        using Set = std::function<void(sim::Headend &)>;
        // clang-format off
        struct Row { QString name; Set set; QString query; QByteArray timeout; QStringList lines; QStringList absent; };
        const QList<Row> rows{
            {"healthy", {}, "&module=inventory", "2",
             {"keldor_up{headend=\"healthy\"} 1", "keldor_health_status{headend=\"healthy\"} 0",
              "keldor_snr_decibels{headend=\"healthy\",channel=\"12\"} 10.5",
              "keldor_info{headend=\"healthy\",serial=\"123456\",device_type=\"KELDOR QAM\",controller=\"1.05\",fpga=\"1.06\",channels=\"12\"} 1",
              "keldor_reading_age_seconds{headend=\"healthy\"} 0.000"},
             {"keldor_probe_failure_info"}},
            {"warm", [](sim::Headend &h) { h.state().diagnostics.actualTemperatureRaw = 16 + 65; }, "", "",
             {"keldor_health_status{headend=\"warm\"} 1", "keldor_temperature_celsius{headend=\"warm\"} 65"},
             {"keldor_info"}},
            {"unlocked", [](sim::Headend &h) { h.state().channels[2].tuner.status = 0; }, "", "2",
             {"keldor_up{headend=\"unlocked\"} 1", "keldor_health_status{headend=\"unlocked\"} 2",
              "keldor_tuner_locked{headend=\"unlocked\",channel=\"3\"} 0"},
             {"keldor_snr_decibels{headend=\"unlocked\",channel=\"3\"}"}},
            {"silent", [](sim::Headend &h) { h.setFault({sim::Fault::Silent}); }, "", "2",
             {"keldor_up{headend=\"silent\"} 0", "keldor_health_status{headend=\"silent\"} 3",
              "keldor_probe_failure_info{headend=\"silent\",stage=\"connect\"} 1"},
             {"keldor_temperature_celsius"}},
            // The second channel's output switch is never answered.
            {"slow", [](sim::Headend &h) { h.setFault({sim::Fault::DropAnswer, 0x57, -1, 1}); }, "", "1.2",
             {"keldor_up{headend=\"slow\"} 0", "keldor_health_status{headend=\"slow\"} 3",
              "keldor_probe_failure_info{headend=\"slow\",stage=\"channel 2\"} 1"},
             {"keldor_temperature_celsius"}},
        };
        // clang-format on
        QStringList names;
        for (const Row &row : rows)
            names.append(row.name);
        startExporter(names);
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const Row &row = rows.at(i);
            if (row.set)
                row.set(sim(int(i)).headend);
            const Scrape got = scrape("/probe?target=" + row.name + row.query, row.timeout);
            const QByteArray what = (row.name + ": " + got.body).toUtf8();
            QVERIFY2(got.status == 200, what);
            const double timeout = row.timeout.isEmpty() ? 10 : row.timeout.toDouble();
            QVERIFY2(got.ms < timeout * 1000, what + QByteArray::number(got.ms));
            for (const QString &line : row.lines)
                QVERIFY2(got.body.split('\n').contains(line), what + "\nlacks " + line.toUtf8());
            for (const QString &absent : row.absent)
                QVERIFY2(!got.body.contains(absent), what + "\nholds " + absent.toUtf8());
        }
        // One answer per outcome, and the exporter's own figures count them.
        const Scrape own = scrape(QStringLiteral("/metrics"));
        for (const char *line : {"keldor_exporter_probes_total{result=\"success\"} 3",
                                 "keldor_exporter_sessions_total 5", "keldor_exporter_targets 5"})
            QVERIFY2(own.body.contains(QLatin1String(line)), qPrintable(own.body));
    }

    // Only a name from the list is ever dialled: whatever else the URL holds is refused with
    // one line and nothing is dialled.
    void refusedTargets()
    {
        startExporter({QStringLiteral("rack-a")});
        const QString address = QStringLiteral("127.0.0.1:") + sim(0).portText();
        // clang-format off
        const QList<std::pair<QString, QString>> rows{
            {"/probe?target=rack-b", "no headend is named \"rack-b\"; targets are the names of the fleet list, never addresses\n"},
            {"/probe?target=" + address, "no headend is named \"" + address + "\"; targets are the names of the fleet list, never addresses\n"},
            {"/probe?target=rack-a%0Ax", "no headend is named \"rack-a?x\"; targets are the names of the fleet list, never addresses\n"},
            {"/probe", "the probe needs ?target=NAME\n"},
            {"/probe?target=rack-a&module=snmp", "module is inventory or left out, not \"snmp\"\n"},
        };
        // clang-format on
        for (const auto &[query, reason] : rows) {
            const Scrape got = scrape(query);
            QCOMPARE(got.status, 400);
            QCOMPARE(got.body, reason);
        }
        QCOMPARE(scrape(QStringLiteral("/nothing")).status, 404);
        // A scrape that leaves no time after the margin is answered without dialling.
        QVERIFY(scrape(QStringLiteral("/probe?target=rack-a"), "0.5")
                    .body.contains(
                        "keldor_probe_failure_info{headend=\"rack-a\",stage=\"connect\"} 1"));
        QCOMPARE(m_probes->sessions(), 0);
        QCOMPARE(connections(0), 0);
        const Scrape page = scrape(QStringLiteral("/"));
        QVERIFY2(page.body.contains(QLatin1String("<a href=\"/probe?target=rack-a\">")),
                 qPrintable(page.body));
    }

    // A headend takes one session at a time: a scrape that comes while a probe runs shares
    // its answer, and one within the minimum interval is answered from that reading.
    void sharedProbes()
    {
        startExporter({QStringLiteral("rack-a")}, 30s);
        // Slow enough that the second scrape comes while the first probe runs.
        sim(0).headend.setThrottle(4000);
        QElapsedTimer clock;
        clock.start();
        QNetworkReply *first = get(QStringLiteral("/probe?target=rack-a"), "5");
        QNetworkReply *second = get(QStringLiteral("/probe?target=rack-a"), "5");
        const Scrape a = finish(first, clock);
        const Scrape b = finish(second, clock);
        QCOMPARE(a.status, 200);
        QCOMPARE(b.body, a.body);
        QVERIFY(a.body.contains(QLatin1String("keldor_up{headend=\"rack-a\"} 1")));
        QCOMPARE(connections(0), 1);
        QTest::qWait(20);
        const Scrape later = scrape(QStringLiteral("/probe?target=rack-a"));
        QCOMPARE(connections(0), 1);
        QCOMPARE(m_probes->sessions(), 1);
        const QString age =
            later.body.section(QStringLiteral("keldor_reading_age_seconds{headend=\"rack-a\"} "), 1)
                .section('\n', 0, 0);
        QVERIFY2(age.toDouble() > 0, qPrintable(later.body));
        QVERIFY(
            scrape(QStringLiteral("/metrics"))
                .body.contains(QLatin1String("keldor_exporter_probes_total{result=\"cached\"} 1")));
    }

    void options()
    {
        // clang-format off
        struct Row { QStringList args; QString problem; QString listen; int minInterval; };
        const QList<Row> rows{
            {{}, {}, "127.0.0.1:9745", 30},
            {{"--listen", "[::1]:80", "--min-interval", "0"}, {}, "::1:80", 0},
            {{"--listen", "0.0.0.0:9100", "--list", "f", "--min-interval", "86400"}, {}, "0.0.0.0:9100", 86400},
            {{"--listen", "localhost:9745"}, "--listen needs ADDRESS:PORT, such as 127.0.0.1:9745", {}, 0},
            {{"--listen", "127.0.0.1:65536"}, "--listen needs ADDRESS:PORT, such as 127.0.0.1:9745", {}, 0},
            {{"--min-interval", "86401"}, "--min-interval needs seconds, 0..86400", {}, 0},
            {{"--list", "a", "--directory", "b"}, "choose one of --directory and --list", {}, 0},
            {{"--target", "x"}, "unknown option --target", {}, 0},
        };
        // clang-format on
        for (const Row &row : rows) {
            const auto parsed = parseExporterOptions(row.args);
            if (const auto *problem = std::get_if<QString>(&parsed)) {
                QCOMPARE(*problem, row.problem);
                continue;
            }
            QVERIFY2(row.problem.isEmpty(), qPrintable(row.args.join(' ')));
            const auto &options = std::get<ExporterOptions>(parsed);
            QCOMPARE(options.address.toString() + ':' + QString::number(options.port), row.listen);
            QCOMPARE(options.minInterval.count(), row.minInterval);
        }
        // The scrape's time-out less half a second; Prometheus' default without the header.
        const QList<std::pair<std::optional<QByteArray>, qint64>> budgets{
            {std::nullopt, 9500}, {"1", 500},    {" 2.5 ", 2000}, {"0.5", 0},       {"0.2", 0},
            {"-3", 9500},         {"nan", 9500}, {"x", 9500},     {"1e12", 3599500}};
        for (const auto &[header, ms] : budgets)
            QCOMPARE(probeBudget(header).count(), ms);
    }

    // Prometheus' own parser reads every answer of the tests above.
    void cleanupTestCase()
    {
        QVERIFY(!m_answers.isEmpty());
        QTemporaryDir dir;
        QStringList arguments{QStringLiteral("-c"),
                              QStringLiteral("import sys\n"
                                             "from prometheus_client.parser import "
                                             "text_string_to_metric_families\n"
                                             "for name in sys.argv[1:]:\n"
                                             "    assert list(text_string_to_metric_families("
                                             "open(name).read())), name\n")};
        for (qsizetype i = 0; i < m_answers.size(); ++i) {
            QVERIFY(writeFile(dir.filePath(QString::number(i)), m_answers.at(i).toUtf8()));
            arguments.append(dir.filePath(QString::number(i)));
        }
        QProcess parser;
        // Debian's own interpreter, which holds Debian's package of the client.
        parser.start(QStringLiteral("/usr/bin/python3"), arguments);
        QVERIFY(parser.waitForFinished(20000));
        QVERIFY2(parser.exitCode() == 0, parser.readAllStandardError());
    }
};

QTEST_MAIN(TestExporter)
#include "tst_exporter.moc"
