#include "ctlrunner.h"
#include "simprocess.h"
#include "tinyproxy.h"

#include <QTest>

// keldor-ctl as a script runs it, against headend-sim as a separate process: once over each
// kind of link.
class TestCtlProcess : public QObject {
    Q_OBJECT

    static void verifyInfo(const QStringList &arguments)
    {
        const CtlRun run = runCtlProcess(arguments + QStringList{"info", "--json"});
        QVERIFY2(run.status == 0 && run.out.contains("\"device_type\": \"KELDOR QAM\""),
                 qPrintable(run.err));
    }

private slots:
    void tcpAndProxy()
    {
        SimProcess sim;
        const QStringList listening = sim.start({"--tcp", "0", "--variant", "8"}, "LISTENING");
        QCOMPARE(listening.size(), 4);
        const QString target = listening.at(2) + ':' + listening.at(3);
        verifyInfo({"--lan", target});

        TinyProxy proxy;
        QString error;
        QVERIFY2(proxy.start({quint16(listening.at(3).toUInt())}, &error), qPrintable(error));
        verifyInfo({"--lan", target, "--proxy", "127.0.0.1:" + QString::number(proxy.port())});
    }

    void pty()
    {
        SimProcess sim;
        const QStringList pty = sim.start({"--pty", "--variant", "8"}, "PTY");
        QCOMPARE(pty.size(), 2);
        verifyInfo({"--serial", pty.at(1)});
    }
};

QTEST_GUILESS_MAIN(TestCtlProcess)
#include "tst_ctl_process.moc"
