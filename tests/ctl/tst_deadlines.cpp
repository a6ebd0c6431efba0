// Deadlines on the command line: a headend that answers each request just before its wait runs
// out holds neither a fleet nor a check beyond its time-out, and the message names the stage.
#include "ctlrunner.h"
#include "files.h"
#include "simfixture.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

class TestDeadlines : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SimHeadend m_healthy;
    SimHeadend m_slow;
    // A proxy that takes the connection and never answers its request.
    QTcpServer m_mute;

private slots:
    void initTestCase()
    {
        QVERIFY(m_healthy.listen() && m_slow.listen() && m_mute.listen(QHostAddress::LocalHost));
        const milliseconds answerLimit = Timing::fast().answerLimit;
        m_slow.headend.setFault({sim::Fault::Slow, -1, -1, 0, 3 * answerLimit / 4});
        const QByteArray list = "slow 127.0.0.1:" + m_slow.portText().toLatin1() +
                                "\nhealthy 127.0.0.1:" + m_healthy.portText().toLatin1() +
                                "\nproxied 127.0.0.1:1 127.0.0.1:" +
                                QByteArray::number(m_mute.serverPort()) + '\n';
        QVERIFY(writeFile(m_dir.filePath("fleet.list"), list));
    }

    void timeouts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const QString list = m_dir.filePath("fleet.list");
        const QString slow = "127.0.0.1:" + m_slow.portText();
        const QStringList backup{"fleet", "backup", m_dir.filePath("b"), "--list", list};
        // clang-format off
        QTest::addRow("fleet member") << backup + QStringList{"--only", "slow", "--timeout", "1.5"} << 1
            << "slow  127.0.0.1:" + m_slow.portText() + "  FAILED  timed out after 1.5 s during identity; Connect Error: Connection aborted!\n";
        QTest::addRow("proxy that never answers") << backup + QStringList{"--only", "proxied", "--timeout", "0.5"} << 1
            << "FAILED  timed out after 0.5 s during proxy; Download Error: Connection to host could not be established!\n";
        QTest::addRow("the run, jobs one at a time") << QStringList{"fleet", "check", "--list", list, "--only", "slow,healthy", "--jobs", "1", "--run-timeout", "1"} << 1
            << "slow     UNKNOWN - the run timed out after 1 s during identity; Connect Error: Connection aborted!\n"
               "healthy  UNKNOWN - not started: the run timed out after 1 s\n";
        QTest::addRow("check") << QStringList{"--lan", slow, "check", "--timeout", "1"} << 3 << "UNKNOWN - timed out after 1 s during identity\n";
        QTest::addRow("check over a mute proxy") << QStringList{"--lan", "127.0.0.1:1", "--proxy", "127.0.0.1:" + QString::number(m_mute.serverPort()), "check", "--timeout", "0.3"} << 3
            << "UNKNOWN - timed out after 0.3 s during proxy\n";
        QTest::addRow("check: no time") << QStringList{"--lan", slow, "check", "--timeout", "0"} << 3 << "UNKNOWN - keldor-ctl: --timeout needs a number of seconds";
        QTest::addRow("fleet: no time") << backup + QStringList{"--timeout", "nan"} << 2 << "--timeout needs a number of seconds";
        QTest::addRow("fleet: a run beyond a week") << backup + QStringList{"--run-timeout", "604801"} << 2 << "--run-timeout needs a number of seconds";
        // clang-format on
    }
    void timeouts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        const CtlRun run = runCtl(arguments);
        QVERIFY2(run.status == status && (run.out + run.err).contains(said),
                 qPrintable(QString::number(run.status) + '\n' + run.out + run.err));
        // Nothing of the slow headend's was written, not even a folder for it.
        QVERIFY(!QFileInfo::exists(m_dir.filePath("b/slow")));
    }
};

QTEST_MAIN(TestDeadlines)
#include "tst_deadlines.moc"
