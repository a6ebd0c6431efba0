#include "link/session.h"
#include "protocol/parameters.h"

#include "recordingui.h"
#include "simfixture.h"
#include "tinyproxy.h"

#include <QTcpServer>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

const QString downloadError = QStringLiteral("Download Error");

LanTarget direct(const QString &port)
{
    LanTarget target;
    target.name = QStringLiteral("Rack 7");
    target.ip = QStringLiteral("127.0.0.1");
    target.port = port;
    return target;
}

} // namespace

class TestLan : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_ui = std::make_unique<RecordingUi>();
        m_session = std::make_unique<Session>(*m_ui, Timing::fast());
        m_session->exchange.setSerialSelected(false);
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
    }

    void directConnectionOpensTheSession()
    {
        QVERIFY(lan_connect(*m_session, direct(m_sim->portText())));
        QCOMPARE(m_ui->messages.size(), 0);
        QCOMPARE(m_ui->panels[2], QStringLiteral("Online"));
        QCOMPARE(m_ui->progressLabels, (QStringList{"Attempting to connect to Headend Rack 7...",
                                                    "Connection established, downloading Data!"}));
        QVERIFY(!m_ui->progressShown);
        QVERIFY(m_ui->connectionModeLocked);
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 1);

        ParamValue serial;
        QVERIFY(read_parameter(m_session->exchange, 0, 0x7A, 0, serial));
        QCOMPARE(serial.toInt(), 123456);
    }

    // The test suite's own guard: every test binary runs with it, so a host outside the
    // loopback range ends the process before its connection or name lookup starts. Each case
    // runs in a child, which announces the host and never dials it.
    void loopbackGuardRefusesEveryOtherHost_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("127.0.0.1") << "127.0.0.1" << true;
        QTest::newRow("another loopback host") << "127.0.0.2" << true;
        QTest::newRow("top of the range") << "127.255.255.254" << true;
        QTest::newRow("IPv6 loopback") << "::1" << true;
        QTest::newRow("localhost") << "localhost" << true;
        QTest::newRow("one past the range") << "128.0.0.1" << false;
        QTest::newRow("a headend's LAN address") << "192.168.1.20" << false;
        QTest::newRow("a private network") << "10.0.0.7" << false;
        QTest::newRow("a name needs a lookup") << "headend.example" << false;
    }
    void loopbackGuardRefusesEveryOtherHost()
    {
        QFETCH(QString, host);
        QFETCH(bool, allowed);
        QCOMPARE(qgetenv("KELDOR_LOOPBACK_ONLY"), QByteArray("1"));
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            LanLink::announceDial(host);
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        if (allowed)
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        else
            QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
    }

    void noHeadendChosen()
    {
        LanTarget target = direct(m_sim->portText());
        target.name = QStringLiteral("non");
        QVERIFY(!lan_connect(*m_session, target));
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().title, downloadError);
        QCOMPARE(m_ui->messages.first().text,
                 QStringLiteral("    Connection not possible!\rPlease select a headend first!"));
        QVERIFY(m_ui->progressLabels.isEmpty());
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 0);
    }

    void unreachableOrMalformedTargets_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("nobody listening") << QString::number(TinyProxy::freePort());
        QTest::newRow("port is not a number") << QStringLiteral("http");
        QTest::newRow("port out of range") << QStringLiteral("70000");
        QTest::newRow("empty port") << QString();
    }
    void unreachableOrMalformedTargets()
    {
        QFETCH(QString, port);
        QVERIFY(!lan_connect(*m_session, direct(port)));
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().title, downloadError);
        QCOMPARE(m_ui->messages.first().text,
                 QStringLiteral("Connection could not be established!"));
        QCOMPARE(m_ui->messages.first().icon, UserInterface::Icon::Critical);
        QVERIFY(!m_ui->progressShown);
        QCOMPARE(m_ui->busyDepth, 0);
        QVERIFY(!m_session->lan.isConnected());
    }

    void lateOkIsAcceptedOnALaterAttempt()
    {
        sim::FaultPlan late;
        late.fault = sim::Fault::LateOk;
        late.delay = 200ms; // longer than one attempt, shorter than all of them
        m_sim->headend.setFault(late);
        QVERIFY(lan_connect(*m_session, direct(m_sim->portText())));
        QVERIFY(m_sim->count(sim::TranscriptEntry::Kind::Open) >= 2);
    }

    void silentHeadendGivesUpAfterTheWindow()
    {
        sim::FaultPlan silent;
        silent.fault = sim::Fault::Silent;
        m_sim->headend.setFault(silent);
        QVERIFY(!lan_connect(*m_session, direct(m_sim->portText())));
        QCOMPARE(m_ui->texts(), QStringList{"Connection could not be established!"});
        QVERIFY(m_sim->count(sim::TranscriptEntry::Kind::Open) >= 3);
        QVERIFY(!m_session->lan.isConnected());
    }

    void okMustBeTheVeryEnd()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket *client = server.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, client, [client] {
                client->readAll();
                client->write("OK!");
            });
        });
        QVERIFY(!lan_connect(*m_session, direct(QString::number(server.serverPort()))));
        QCOMPARE(m_ui->texts(), QStringList{"Connection could not be established!"});
    }

    void tunnelThroughARealProxy()
    {
        TinyProxy proxy;
        QString error;
        QVERIFY2(proxy.start({m_sim->tcp.port()}, &error), qPrintable(error));
        LanTarget target = direct(m_sim->portText());
        target.proxy_use = 1;
        target.proxy_ip = QStringLiteral("127.0.0.1");
        target.proxy_port = QString::number(proxy.port());
        QVERIFY(lan_connect(*m_session, target));
        QCOMPARE(m_ui->messages.size(), 0);

        ParamValue version;
        QVERIFY(read_parameter(m_session->exchange, 0, 0x78, 0, version));
        QCOMPARE(version.text, QByteArray("1.05"));
        QVERIFY(set_parameter(m_session->exchange, 2, 0x03, QStringLiteral("346.00")));
        QCOMPARE(m_sim->headend.state().channels[2].outFrequency, 346.0f);
    }

    void proxyRefusingTheTunnel()
    {
        TinyProxy proxy;
        QString error;
        // Only some other port may be tunnelled, so tinyproxy answers 403.
        QVERIFY2(proxy.start({TinyProxy::freePort()}, &error), qPrintable(error));
        LanTarget target = direct(m_sim->portText());
        target.proxy_use = 1;
        target.proxy_ip = QStringLiteral("127.0.0.1");
        target.proxy_port = QString::number(proxy.port());
        QVERIFY(!lan_connect(*m_session, target));
        QCOMPARE(m_ui->texts(), QStringList{"Connection to host could not be established!"});
        QCOMPARE(m_ui->messages.first().title, downloadError);
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 0);
    }

    // An address or port from the directory that would break the proxy's request line must
    // never reach the proxy: it could smuggle in headers or a second request. A port that is no
    // port number is refused as on the direct path.
    void tunnelRefusesTargetsThatBreakTheRequestLine_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("port");
        QTest::newRow("line break in the address")
            << QStringLiteral("10.0.0.1:80 HTTP/1.0\r\nX-Injected: 1\r\n") << QStringLiteral("80");
        QTest::newRow("bare line feed") << QStringLiteral("10.0.0.1\n") << QStringLiteral("80");
        QTest::newRow("blank in the port") << QStringLiteral("10.0.0.1") << QStringLiteral("80 1");
        QTest::newRow("not ASCII") << QStringLiteral("r\u00e4ck.example") << QStringLiteral("80");
        QTest::newRow("port 0") << QStringLiteral("127.0.0.2") << QStringLiteral("0");
        QTest::newRow("port 65536") << QStringLiteral("127.0.0.2") << QStringLiteral("65536");
        QTest::newRow("negative port") << QStringLiteral("127.0.0.2") << QStringLiteral("-80");
    }
    void tunnelRefusesTargetsThatBreakTheRequestLine()
    {
        QFETCH(QString, ip);
        QFETCH(QString, port);
        QTcpServer proxy;
        QVERIFY(proxy.listen(QHostAddress::LocalHost));
        QByteArray seen;
        connect(&proxy, &QTcpServer::newConnection, &proxy, [&] {
            QTcpSocket *client = proxy.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, &proxy,
                    [&seen, client] { seen += client->readAll(); });
        });
        LanTarget target = direct(port);
        target.ip = ip;
        target.proxy_use = 1;
        target.proxy_ip = QStringLiteral("127.0.0.1");
        target.proxy_port = QString::number(proxy.serverPort());

        QVERIFY(!lan_connect(*m_session, target));
        QCOMPARE(m_ui->texts(), QStringList{"Connection to host could not be established!"});
        QTest::qWait(50);
        QCOMPARE(seen, QByteArray());
    }

    void proxyDown()
    {
        LanTarget target = direct(m_sim->portText());
        target.proxy_use = 1;
        target.proxy_ip = QStringLiteral("127.0.0.1");
        target.proxy_port = QString::number(TinyProxy::freePort());
        QVERIFY(!lan_connect(*m_session, target));
        QCOMPARE(m_ui->texts(),
                 QStringList{"Connection to proxy server could not be established!"});
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 0);
    }

    void proxyIgnoredUnlessChosen()
    {
        LanTarget target = direct(m_sim->portText());
        target.proxy_use = 2;
        target.proxy_ip = QStringLiteral("127.0.0.1");
        target.proxy_port = QString::number(TinyProxy::freePort());
        QVERIFY(lan_connect(*m_session, target));
    }

    void droppedConnectionMidAnswer()
    {
        QVERIFY(lan_connect(*m_session, direct(m_sim->portText())));
        sim::FaultPlan drop;
        drop.fault = sim::Fault::Disconnect;
        drop.code = 0x7A;
        m_sim->headend.setFault(drop);
        ParamValue value;
        QVERIFY(!read_parameter(m_session->exchange, 0, 0x7A, 0, value));
        QCOMPARE(m_ui->texts(), QStringList{"Connection aborted!"});
        QVERIFY(m_ui->mainWindowEnabled);
        QVERIFY(!m_ui->keepAliveRunning);

        // A write into the dropped link fails once with its message and doesn't resend forever.
        m_ui->clear();
        QVERIFY(!set_parameter(m_session->exchange, 0, 0x74, qint64(0)));
        QCOMPARE(
            m_ui->texts(),
            (QStringList{"Connection aborted!",
                         "An error occured while sending, data may be lost\rPlease try again."}));
        // The program stays usable: the next connection works.
        m_sim->headend.setFault({});
        QVERIFY(lan_connect(*m_session, direct(m_sim->portText())));
        QVERIFY(read_parameter(m_session->exchange, 0, 0x7A, 0, value));
        QCOMPARE(value.toInt(), 123456);
    }

    void garbageBeforeAnAnswerDoesNotBreakTheSession()
    {
        QVERIFY(lan_connect(*m_session, direct(m_sim->portText())));
        sim::FaultPlan garbage;
        garbage.fault = sim::Fault::Garbage;
        garbage.code = 0x52;
        garbage.count = 1;
        m_sim->headend.setFault(garbage);
        ParamValue value;
        read_parameter(m_session->exchange, 0, 0x52, 0, value);
        m_ui->clear();
        QVERIFY(read_parameter(m_session->exchange, 0, 0x7A, 0, value));
        QCOMPARE(value.toInt(), 123456);
        QVERIFY(m_ui->messages.isEmpty());
    }

    void babblingHeadendFailsCleanly()
    {
        Timing patient = Timing::fast();
        patient.answerLimit = 5s;
        Session session(*m_ui, patient);
        session.exchange.setSerialSelected(false);
        QVERIFY(lan_connect(session, direct(m_sim->portText())));
        sim::FaultPlan babble;
        babble.fault = sim::Fault::Babble;
        babble.code = 0x59;
        m_sim->headend.setFault(babble);
        ParamValue value;
        read_parameter(session.exchange, 0, 0x59, 0, value);

        // From now on the headend only streams noise: the read must give up as soon as it sees
        // more than an answer, not at its time limit ("Connection aborted!"), and hold no more
        // than the bound.
        sim::FaultPlan ignore;
        ignore.fault = sim::Fault::DropAnswer;
        m_sim->headend.setFault(ignore);
        m_ui->clear();
        QVERIFY(!read_parameter(session.exchange, 0, 0x7A, 0, value));
        QCOMPARE(
            m_ui->texts(),
            QStringList{"The headend's answer was garbled; it was not used.\rPlease try again."});
        QVERIFY(session.exchange.rx_buffer().size() <= Exchange::rxLimit);
    }

private:
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SimHeadend> m_sim;
};

QTEST_GUILESS_MAIN(TestLan)
#include "tst_lan.moc"
