#include "rawclient.h"

#include "sim/bigendian.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

class TestSimExecutable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void servesConfiguredDeviceAndDumpsStateOnTermination();
    void refusesBadOptions_data();
    void refusesBadOptions();

private:
    QString nextLine(QProcess &process);

    QString m_program;
};

void TestSimExecutable::initTestCase()
{
    m_program = qEnvironmentVariable("KELDOR_BIN_DIR") + "/headend-sim";
    QVERIFY2(QFileInfo(m_program).isExecutable(), qPrintable(m_program));
}

QString TestSimExecutable::nextLine(QProcess &process)
{
    QSignalSpy output(&process, &QProcess::readyReadStandardOutput);
    while (!process.canReadLine()) {
        if (!output.wait(5000))
            return {};
    }
    return QString::fromLatin1(process.readLine()).trimmed();
}

void TestSimExecutable::servesConfiguredDeviceAndDumpsStateOnTermination()
{
    QTemporaryDir dir;
    QFile config(dir.filePath("config.json"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(R"({"identity": {"device_type": "SIM-8"}, "channels": [{"qam": 2}]})");
    config.close();

    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 newPort = probe.serverPort();
    probe.close();

    QProcess sim;
    sim.start(m_program,
              {"--tcp", "0", "--variant", "8", "--serial", "42", "--config", config.fileName(),
               "--dump-state", dir.filePath("dump.json"), "--transcript",
               dir.filePath("transcript.jsonl"), "--restart-delay", "200"});
    const QRegularExpressionMatch listening =
        QRegularExpression(R"(^LISTENING tcp 127\.0\.0\.1 (\d+)$)").match(nextLine(sim));
    QVERIFY(listening.hasMatch());

    RawClient client;
    QVERIFY(client.connectTo(listening.captured(1).toUShort()));
    QCOMPARE(client.exchange("RM", 2), QByteArray("OK"));
    QCOMPARE(client.exchange(frame(0, 0xA3), 1), QByteArray(1, char(1)));
    QCOMPARE(client.exchange("N", 2), QByteArray("EN"));
    QCOMPARE(client.exchange(frame(0, 0x7A), 4), QByteArray::fromHex("0000002A"));
    QCOMPARE(client.exchange("N", 2), QByteArray("EN"));
    QCOMPARE(client.exchange(frame(0, 0x79), 1), QByteArray(1, char(5)));
    QCOMPARE(client.exchange("N", 5), QByteArray("SIM-8"));
    QCOMPARE(client.exchange("N", 2), QByteArray("EN"));

    QCOMPARE(client.exchange(frame(0, 0x8F, sim::bigEndian16(newPort)), 2), QByteArray("EN"));
    QCOMPARE(client.exchange(frame(0, 0x96), 2), QByteArray("EN"));
    QCOMPARE(nextLine(sim), QStringLiteral("RESTARTED tcp 127.0.0.1 %1").arg(newPort));
    RawClient again;
    QVERIFY(again.connectTo(newPort));
    QCOMPARE(again.exchange("RM", 2), QByteArray("OK"));

    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);

    QFile dumpFile(dir.filePath("dump.json"));
    QVERIFY(dumpFile.open(QIODevice::ReadOnly));
    const QJsonObject dump = QJsonDocument::fromJson(dumpFile.readAll()).object();
    QCOMPARE(dump["identity"]["variant"].toInt(), 1);
    QCOMPARE(dump["identity"]["serial_number"].toInt(), 42);
    QCOMPARE(dump["lan"]["port"].toInt(), newPort);
    QCOMPARE(dump["channels"][0]["qam"].toInt(), 2);

    QFile transcript(dir.filePath("transcript.jsonl"));
    QVERIFY(transcript.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = transcript.readAll().split('\n');
    QCOMPARE(QJsonDocument::fromJson(lines[0])["kind"].toString(), QStringLiteral("open"));
    QCOMPARE(QJsonDocument::fromJson(lines[1])["code"].toString(), QStringLiteral("0xa3"));
}

void TestSimExecutable::refusesBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no transport") << QStringList{"--variant", "8"};
    QTest::newRow("unknown fault") << QStringList{"--tcp", "0", "--fault", "sleepy"};
    QTest::newRow("odd variant") << QStringList{"--tcp", "0", "--variant", "9"};
    QTest::newRow("code out of range") << QStringList{"--tcp", "0", "--fault-code", "0x100"};
}

void TestSimExecutable::refusesBadOptions()
{
    QFETCH(QStringList, arguments);
    QProcess sim;
    sim.start(m_program, arguments);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestSimExecutable)
#include "tst_simexecutable.moc"
