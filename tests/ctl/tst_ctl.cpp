#include "simprocess.h"
#include "tinyproxy.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

// keldor-ctl as a script would use it: a separate process against headend-sim.
class TestCtl : public QObject {
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

    static Run ctl(const QStringList &arguments)
    {
        QProcess process;
        process.start(bin(QStringLiteral("keldor-ctl")), arguments);
        Run run;
        if (!process.waitForFinished(60000))
            return run;
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    static void verifyInfo(const Run &run)
    {
        QCOMPARE(run.exitCode, 0);
        const QJsonObject info = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(info.value("device_type").toString(), QStringLiteral("KELDOR QAM"));
        QCOMPARE(info.value("serial_number").toInt(), 123456);
        QCOMPARE(info.value("hardware_version").toString(), QStringLiteral("1.00"));
        QCOMPARE(info.value("controller_version").toString(), QStringLiteral("1.05"));
        QCOMPARE(info.value("fpga_version").toString(), QStringLiteral("1.06"));
        QCOMPARE(info.value("polarisation_supported").toBool(), true);
        QCOMPARE(info.value("device_variant").toInt(), 1);
        QCOMPARE(info.value("max_channel").toInt(), 7);
    }

private slots:
    void infoOverTcpDirectAndThroughTheProxy()
    {
        SimProcess sim;
        const QStringList listening =
            sim.start({"--tcp", "0", "--variant", "8"}, QStringLiteral("LISTENING"));
        QCOMPARE(listening.size(), 4);
        const QString target = listening.at(2) + ':' + listening.at(3);
        verifyInfo(ctl({"--lan", target, "info", "--json"}));

        TinyProxy proxy;
        QString error;
        QVERIFY2(proxy.start({quint16(listening.at(3).toUInt())}, &error), qPrintable(error));
        verifyInfo(ctl({"--lan", target, "--proxy", "127.0.0.1:" + QString::number(proxy.port()),
                        "info", "--json"}));
    }

    void infoOverAPseudoTerminal()
    {
        SimProcess sim;
        const QStringList pty = sim.start({"--pty", "--variant", "8"}, QStringLiteral("PTY"));
        QCOMPARE(pty.size(), 2);
        verifyInfo(ctl({"--serial", pty.at(1), "info", "--json"}));
    }

    void getAndSetRoundTrip()
    {
        SimProcess sim;
        const QStringList listening = sim.start({"--tcp", "0"}, QStringLiteral("LISTENING"));
        const QString target = listening.value(2) + ':' + listening.value(3);
        QCOMPARE(ctl({"--lan", target, "set", "2", "0x03", "346.5"}).exitCode, 0);
        const Run get = ctl({"--lan", target, "get", "2", "81"});
        QCOMPARE(get.exitCode, 0);
        QCOMPARE(get.out.trimmed(), QByteArray("346.5"));
        QCOMPARE(ctl({"--lan", target, "get", "0", "0x78"}).out.trimmed(), QByteArray("1.05"));

        const Run overflow = ctl({"--lan", target, "set", "2", "0x07", "40000"});
        QCOMPARE(overflow.exitCode, 1);
        QVERIFY(overflow.err.contains("Overflow"));
    }

    void failuresAndUsageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stderrHas");
        const QString closed = "127.0.0.1:" + QString::number(TinyProxy::freePort());
        QTest::newRow("nobody listening") << QStringList{"--lan", closed, "info"} << 1
                                          << "Download Error: Connection could not be established!";
        QTest::newRow("proxy down")
            << QStringList{"--lan", "127.0.0.1:5000", "--proxy", closed, "info"} << 1
            << "Connection to proxy server could not be established!";
        QTest::newRow("no serial device")
            << QStringList{"--serial", "/dev/nonexistent", "info"} << 1 << "No Device found!";
        QTest::newRow("no link") << QStringList{"info"} << 2 << "choose a link";
        QTest::newRow("two links")
            << QStringList{"--usb", "--lan", "h:1", "info"} << 2 << "choose one";
        QTest::newRow("unknown command")
            << QStringList{"--usb", "frobnicate"} << 2 << "unknown command";
        QTest::newRow("bad code") << QStringList{"--usb", "get", "0", "0x1FF"} << 2 << "CODE";
        QTest::newRow("bad channel") << QStringList{"--usb", "get", "16", "1"} << 2 << "CHANNEL";
        QTest::newRow("missing value")
            << QStringList{"--usb", "set", "0", "1"} << 2 << "wrong number";
        QTest::newRow("bad list string")
            << QStringList{"--usb", "set", "0", "0xA0", "0g"} << 2 << "hex bytes";
        QTest::newRow("LAN settings with port 0")
            << QStringList{"--usb",  "lan-settings", "--ip",   "127.0.0.9",
                           "--mask", "255.0.0.0",    "--port", "0"}
            << 2 << "--port must be 1..65535";
        QTest::newRow("lan without port")
            << QStringList{"--lan", "localhost", "info"} << 2 << "HOST:PORT";
        QTest::newRow("option in the device's place")
            << QStringList{"--serial", "--usb", "info"} << 2 << "incomplete option --serial";
    }
    void failuresAndUsageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, stderrHas);
        const Run run = ctl(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(stderrHas.toUtf8()), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
