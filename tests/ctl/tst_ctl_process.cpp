#include "ctlrunner.h"
#include "simprocess.h"
#include "tinyproxy.h"

#include <QTest>

// keldor-ctl as a script runs it, against headend-sim as a separate process: once over each
// kind of link.
class TestCtlProcess : public QObject {
    Q_OBJECT

private slots:
    void infoOverTcpProxyAndPty()
    {
        SimProcess tcpSim;
        SimProcess ptySim;
        const QStringList listening = tcpSim.start({"--tcp", "0", "--variant", "8"}, "LISTENING");
        const QStringList pty = ptySim.start({"--pty", "--variant", "8"}, "PTY");
        QVERIFY(listening.size() == 4 && pty.size() == 2);
        TinyProxy proxy;
        QString error;
        QVERIFY2(proxy.start({quint16(listening.at(3).toUInt())}, &error), qPrintable(error));

        const QString target = listening.at(2) + ':' + listening.at(3);
        for (const QStringList &link :
             {QStringList{"--lan", target},
              QStringList{"--lan", target, "--proxy", "127.0.0.1:" + QString::number(proxy.port())},
              QStringList{"--serial", pty.at(1)}}) {
            const CtlRun run = runCtlProcess(link + QStringList{"info", "--json"});
            QVERIFY2(run.status == 0 && run.out.contains("\"device_type\": \"KELDOR QAM\""),
                     qPrintable(link.join(' ') + ": " + run.err));
        }
    }
};

QTEST_GUILESS_MAIN(TestCtlProcess)
#include "tst_ctl_process.moc"
