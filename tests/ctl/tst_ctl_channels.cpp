#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The channel commands of keldor-ctl as a script uses them: separate processes against
// headend-sim.
class TestCtlChannels : public QObject {
    Q_OBJECT

private:
    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    static QString bin(const QString &name)
    {
        return qEnvironmentVariable("KELDOR_BIN_DIR") + QLatin1Char('/') + name;
    }

    Run ctl(const QStringList &arguments) const
    {
        QProcess process;
        process.start(bin(QStringLiteral("keldor-ctl")),
                      QStringList{"--lan", "127.0.0.1:" + m_port} + arguments);
        Run run;
        if (!process.waitForFinished(60000))
            return run;
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    // The codes of every frame the simulator received, from its transcript file.
    QStringList transcriptCodes() const
    {
        QFile file(m_dir.filePath(QStringLiteral("transcript.jsonl")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList codes;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (entry.value("kind").toString() == QLatin1String("frame"))
                codes.append(entry.value("code").toString());
        }
        return codes;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath(QStringLiteral("transcript.jsonl")));
        m_sim.setProgram(bin(QStringLiteral("headend-sim")));
        m_sim.setArguments({"--tcp", "0", "--variant", "8", "--transcript",
                            m_dir.filePath(QStringLiteral("transcript.jsonl"))});
        m_sim.start();
        QElapsedTimer clock;
        clock.start();
        m_port.clear();
        while (m_port.isEmpty() && clock.elapsed() < 10000 && m_sim.waitForReadyRead(1000)) {
            while (m_sim.canReadLine()) {
                const QStringList words =
                    QString::fromLocal8Bit(m_sim.readLine()).simplified().split(' ');
                if (words.value(0) == QLatin1String("LISTENING"))
                    m_port = words.value(3);
            }
        }
        QVERIFY(!m_port.isEmpty());
    }

    void cleanup()
    {
        m_sim.terminate();
        m_sim.waitForFinished(3000);
    }

    void readAsJson()
    {
        const Run run = ctl({"read", "--json"});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(json.value("device_type").toString(), QStringLiteral("KELDOR QAM"));
        QCOMPARE(json.value("serial_number").toInt(), 123456);
        QCOMPARE(json.value("fpga_version").toString(), QStringLiteral("1.06"));
        QCOMPARE(json.value("device_variant").toInt(), 1);
        QCOMPARE(json.value("max_channel").toInt(), 7);
        const QJsonArray channels = json.value("channels").toArray();
        QCOMPARE(channels.size(), 8);
        const QJsonObject third = channels.at(2).toObject();
        QCOMPARE(third.value("channel").toInt(), 3);
        QCOMPARE(third.value("in_frequency").toInt(), 10784);
        QCOMPARE(third.value("out_frequency").toDouble(), 130.0);
        QCOMPARE(third.value("qam").toInt(), 5);
        QCOMPARE(third.value("lo_mode").toInt(), 0);
        QCOMPARE(third.value("service_count").toInt(), 0);
        QCOMPARE(third.value("status").toString(), QStringLiteral("Tuner Locked"));
        QCOMPARE(third.value("data_rate").toDouble(), 38.0);
        QCOMPARE(third.value("ber").toString(), QStringLiteral("2.3e-4"));
        QCOMPARE(third.value("snr").toString(), QStringLiteral("11"));
    }

    void outputRefusedByARule_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("frequency range") << QStringList{"output", "2", "--frequency", "900"}
                                         << "Error: Frequency must be in the range 112 to 858MHz";
        QTest::newRow("symbol rate")
            << QStringList{"output", "2", "--symbolrate", "7201"}
            << "Error: Output Symbolrate must be in the range 5152 to 7200kSym";
        QTest::newRow("channel not on the headend")
            << QStringList{"output", "9", "--on"}
            << "Error: This headend has 8 channels; there is no CHANNEL 9.";
    }
    void outputRefusedByARule()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run run = ctl(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
        QVERIFY(!transcriptCodes().contains(QStringLiteral("0x02")));
        QVERIFY(transcriptCodes().contains(QStringLiteral("0x55")));
    }

    void outputWarnsAboutACollisionAndSets()
    {
        const Run run = ctl({"output", "2", "--frequency", "118", "--off"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.err.contains("WARNING!!!: Collision with lower CHANNEL 1 at 114.00MHz!!!"));
        const QStringList codes = transcriptCodes();
        const qsizetype start = codes.indexOf(QStringLiteral("0x02"));
        QVERIFY(start > 0);
        QCOMPARE(codes.mid(start), (QStringList{"0x02", "0x03", "0x06", "0x07", "0x04", "0x05",
                                                "0x08", "0x73", "0x75", "0x74"}));
    }

    void usageErrorsTouchNothing()
    {
        QCOMPARE(ctl({"output", "0"}).exitCode, 2);
        QCOMPARE(ctl({"output", "3", "--qam", "QAM-17"}).exitCode, 2);
        QCOMPARE(ctl({"output", "3", "--on", "--off"}).exitCode, 2);
        QCOMPARE(ctl({"tune", "3", "--lo"}).exitCode, 2);
        QVERIFY(transcriptCodes().isEmpty());
    }

private:
    QTemporaryDir m_dir;
    QProcess m_sim;
    QString m_port;
};

QTEST_GUILESS_MAIN(TestCtlChannels)
#include "tst_ctl_channels.moc"
