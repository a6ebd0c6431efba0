#include "link/reconnect.h"
#include "link/session.h"
#include "link/usbports.h"
#include "protocol/parameters.h"

#include "scriptedlink.h"
#include "sessionfixture.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

LanTarget direct(const QString &port)
{
    LanTarget target;
    target.name = QStringLiteral("Rack 7");
    target.ip = QStringLiteral("127.0.0.1");
    target.port = port;
    return target;
}

} // namespace

// The link primitives on a scripted link, the LAN opening and its tunnel, discovery over ptys
// and the restart wait. A headend or proxy that fails is a row of the fault matrix.
class TestLink : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_timing = Timing::fast();
        m_link.emplace();
        m_f.emplace();
        m_f->exchange().setSerialSelected(false);
        m_exchange.emplace(m_f->ui, m_timing, m_f->session.serial, *m_link);
        m_exchange->setSerialSelected(false);
    }

    void answersCompleteAtLengthAndEndOnlyWithEn()
    {
        m_link->reply("\x01", 5ms);
        m_link->reply(QByteArray("\x02\x03", 2), 15ms);
        m_link->reply("\x04", 25ms);
        QVERIFY(m_exchange->get_data(4));
        QCOMPARE(m_exchange->rx_buffer(), QByteArray("\x01\x02\x03\x04"));
        m_exchange->clear_rx();
        m_link->reply("xxEN", 5ms);
        QVERIFY(m_exchange->command_quit());
        QVERIFY(m_f->ui.messages.isEmpty());
        m_exchange->clear_rx();
        m_link->reply("ENx", 5ms);
        QVERIFY(!m_exchange->command_quit());
    }

    void droppedLinkEndsTheWaitAtOnce()
    {
        // The rest of the answer comes long after the drop and long before the limit: only a
        // wait that ends with the link misses it.
        m_timing.answerLimit = 1h;
        m_link->reply("\x01", 5ms);
        QTimer::singleShot(20ms, &*m_link, [this] { m_link->drop(); });
        m_link->reply(QByteArray("\x02\x03\x04"), 30s);
        QVERIFY(!m_exchange->get_data(4));
        QCOMPARE(m_exchange->rx_buffer(), QByteArray("\x01"));
        QCOMPARE(m_f->ui.texts(), QStringList{"Connection aborted!"});
    }

    void sendGoesToTheSelectedLinkAndClosingOnLanSendsNothing()
    {
        m_f->ui.keepAliveRunning = true;
        QVERIFY(!m_exchange->com_end());
        QVERIFY(!m_f->ui.keepAliveRunning);
        m_exchange->send("abc");
        m_exchange->setSerialSelected(true);
        m_exchange->send("def"); // the serial port is closed: nothing may reach the LAN link
        QCOMPARE(m_link->written, QByteArrayList{"abc"});
    }

    void waitSecondsLetsEventsRun()
    {
        // An event due just before the end runs inside the wait, which lasts until its end.
        bool fired = false;
        QTimer::singleShot(25ms, Qt::PreciseTimer, [&] { fired = true; });
        m_exchange->wait_seconds(30ms);
        QVERIFY(fired);
    }

    void handshake_data()
    {
        QTest::addColumn<QByteArrayList>("answer");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<bool>("resent");
        QTest::newRow("OK") << QByteArrayList{"OK"} << true << false;
        QTest::newRow("OK after an echo") << QByteArrayList{"RMOK"} << true << false;
        QTest::newRow("OK is not the end") << QByteArrayList{"OK!"} << false << true;
        // One attempt is over before the "K" comes: still the answer to the first "RM".
        QTest::newRow("late OK across attempts") << QByteArrayList{"O", "K"} << true << true;
    }
    void handshake()
    {
        QFETCH(QByteArrayList, answer);
        QFETCH(bool, opened);
        QFETCH(bool, resent);
        for (int i = 0; i < answer.size(); ++i)
            m_link->reply(answer[i], i * 4 * m_timing.handshakeAttempt / 3);
        QCOMPARE(lan_handshake(*m_exchange, *m_link, m_timing), opened);
        QCOMPARE(m_link->written.size() > 1, resent);
        QCOMPARE(m_link->written.count("RM"), m_link->written.size());
    }

    // The CONNECT request and the proxy's reply: the tunnel opens on a whole reply header with
    // "200" in its first 20 characters. An address or port that would break the request line
    // never reaches the proxy (no reply in the row): it could smuggle in headers or a request.
    void tunnel_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QByteArrayList>("reply");
        QTest::addColumn<bool>("opened");
        const QByteArrayList granted{"HTTP/1.1 200 Connection established\r\n\r\n"};
        struct Row {
            const char *name, *ip, *port;
            QByteArrayList reply;
            bool opened;
        };
        const Row rows[] = {
            {"granted", "127.0.0.2", "5000", granted, true},
            {"a name", "localhost", "80", granted, true},
            {"bare line feeds", "127.0.0.2", "80", {"HTTP/1.0 200 OK\n\n"}, true},
            {"header in pieces", "127.0.0.2", "80", {"HTTP/1.1 200", " OK\r\n", "\r\n"}, true},
            {"403", "127.0.0.2", "80", {"HTTP/1.1 403 Forbidden\r\n\r\n"}, false},
            {"200 too late", "127.0.0.2", "80", {"HTTP/1.1 403 Denied 200\r\n\r\n"}, false},
            {"no empty line", "127.0.0.2", "80", {"HTTP/1.1 200 OK\r\n"}, false},
            {"line break", "10.0.0.1:80 HTTP/1.0\r\nX: 1\r\n", "80", {}, false},
            {"bare line feed", "10.0.0.1\n", "80", {}, false},
            {"blank in the address", "10.0.0.1 x", "80", {}, false},
            {"blank in the port", "10.0.0.1", "80 1", {}, false},
            {"not ASCII", "räck.example", "80", {}, false},
            {"port 0", "127.0.0.2", "0", {}, false},
            {"port 65536", "127.0.0.2", "65536", {}, false},
            {"negative port", "127.0.0.2", "-80", {}, false}};
        for (const Row &row : rows)
            QTest::newRow(row.name) << QString::fromUtf8(row.ip) << QString::fromLatin1(row.port)
                                    << row.reply << row.opened;
    }
    void tunnel()
    {
        QFETCH(QString, ip);
        QFETCH(QString, port);
        QFETCH(QByteArrayList, reply);
        QFETCH(bool, opened);
        for (int i = 0; i < reply.size(); ++i)
            m_link->reply(reply[i], std::chrono::milliseconds(5 + 10 * i));
        LanTarget target = direct(port);
        target.ip = ip;
        QCOMPARE(open_tunnel(*m_exchange, *m_link, target, m_timing), opened);
        const QByteArrayList sent{"CONNECT " + ip.toLatin1() + ':' + port.toLatin1() +
                                      " HTTP/1.0\r\n",
                                  "Accept: */*\r\n", "\r\n"};
        QCOMPARE(m_link->written, reply.isEmpty() ? QByteArrayList() : sent);
    }

    void lanConnectionAndRestartWait()
    {
        QVERIFY(m_f->sim.listen());
        // A proxy filled in but not chosen is not used.
        LanTarget target = direct(m_f->sim.portText());
        target.proxy_use = 2;
        target.proxy_port = QString::number(freePort());
        QVERIFY(lan_connect(m_f->session, target));
        QCOMPARE(m_f->ui.panels[2], QStringLiteral("Online"));
        QCOMPARE(m_f->ui.progressLabels,
                 (QStringList{"Attempting to connect to Headend Rack 7...",
                              "Connection established, downloading Data!"}));
        QVERIFY(m_f->ui.connectionModeLocked);
        QCOMPARE(m_f->sim.count(sim::TranscriptEntry::Kind::Open), 1);
        checkSerialNumber();
        // The headend accepts at once, so the first look after the restart pause finds it: the
        // bar stops full and never starts over.
        QVERIFY(wait_for_restart(m_f->session, target, {}));
        QVERIFY(m_f->session.lan.isConnected());
        QCOMPARE(m_f->ui.progressValues, (QList<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
        QVERIFY(m_f->ui.messages.isEmpty());
        QVERIFY(!m_f->ui.progressShown);
    }

    void unusableTargets()
    {
        LanTarget target = direct(QStringLiteral("http"));
        QVERIFY(!lan_connect(m_f->session, target));
        QCOMPARE(m_f->ui.progressLabels.size(), 1);
        target.name = QStringLiteral("non");
        QVERIFY(!lan_connect(m_f->session, target));
        QCOMPARE(m_f->ui.progressLabels.size(), 1);
        QCOMPARE(m_f->ui.texts(),
                 (QStringList{"Connection could not be established!",
                              "    Connection not possible!\rPlease select a headend first!"}));
        for (const RecordingUi::Message &message : std::as_const(m_f->ui.messages)) {
            QCOMPARE(message.title, QStringLiteral("Download Error"));
            QCOMPARE(message.icon, UserInterface::Icon::Critical);
        }
        QVERIFY(!m_f->ui.progressShown);
        QCOMPARE(m_f->ui.busyDepth, 0);
    }

    // The test suite's own guard: every test binary runs with it, so a host outside the
    // loopback range ends the process before its connection or name lookup starts. Each host
    // is announced in a child, which never dials it.
    void loopbackGuardRefusesEveryOtherHost()
    {
        QCOMPARE(qgetenv("KELDOR_LOOPBACK_ONLY"), QByteArray("1"));
        const std::pair<const char *, bool> hosts[] = {
            {"127.0.0.1", true},     {"127.0.0.2", true}, {"127.255.255.254", true},
            {"::1", true},           {"localhost", true}, {"128.0.0.1", false},
            {"192.168.1.20", false}, {"10.0.0.7", false}, {"headend.example", false}};
        for (const auto &[host, allowed] : hosts) {
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                LanLink::announceDial(QString::fromLatin1(host));
                _exit(0);
            }
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY2(allowed ? WIFEXITED(status) && WEXITSTATUS(status) == 0
                             : WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT,
                     host);
        }
    }

    // Discovery tries every port and opens the one that answers; the wait for a restarting
    // headend only looks at its port, and the caller opens it again.
    void serialDiscoveryAndRestartWait()
    {
        SimHeadend silent;
        sim::FaultPlan quiet;
        quiet.fault = sim::Fault::Silent;
        silent.headend.setFault(quiet);
        SimHeadend good;
        QVERIFY2(silent.openPty() && good.openPty(), qPrintable(silent.pty.errorString()));
        m_f->session.usbPorts = [&] {
            return QStringList{"/dev/nonexistent-tty", silent.pty.slavePath(),
                               good.pty.slavePath()};
        };
        m_f->exchange().setSerialSelected(true);
        QVERIFY(check_device_present(m_f->session));
        QCOMPARE(m_f->session.serial.portName(), good.pty.slavePath());
        QVERIFY(m_f->ui.connectionModeLocked);
        QCOMPARE(silent.count(sim::TranscriptEntry::Kind::Open), 1);
        QCOMPARE(good.count(sim::TranscriptEntry::Kind::Open), 1);
        checkSerialNumber();
        QVERIFY(m_f->exchange().com_end());
        const auto closing = good.frames(0x50);
        QCOMPARE(closing.size(), 1);
        QCOMPARE(closing.first().bytes, QByteArray("\x00P\x00\x00\x00\x00\x00\x00\x00\x00", 10));
        m_f->session.serial.close();
        QVERIFY(wait_for_restart(m_f->session, {}, good.pty.slavePath()));
        QVERIFY(!m_f->session.serial.isOpen());
        QVERIFY(!wait_for_restart(m_f->session, {}, QStringLiteral("/dev/keldor-no-such-port")));
        QCOMPARE(m_f->ui.texts(), QStringList{"Reconnect to Headend failed, please try manually!"});
        QVERIFY(!m_f->ui.progressShown);
        QCOMPARE(m_f->ui.busyDepth, 0);
    }

    // Only USB ttys count, in natural order; a USB-serial converter's tty sits below a
    // usb-serial device below the interface. Platform and virtual ttys are no headends.
    void usbPortsFromSysfs()
    {
        QTemporaryDir sys;
        const QDir root(sys.path());
        const auto link = [&](const QString &target, const QString &at) {
            QVERIFY(QFile::link(target, root.filePath(at)));
        };
        for (const char *path : {"bus/usb", "bus/usb-serial", "bus/platform", "bus/pci",
                                 "class/tty", "devices/virtual/tty/tty0"})
            root.mkpath(path);
        link("../../devices/virtual/tty/tty0", "class/tty/tty0");
        const QString hub = "devices/pci0000:00/0000:00:14.0/usb1/";
        const std::tuple<QString, const char *, const char *> devices[] = {
            {"devices/pci0000:00/0000:00:14.0", "pci", nullptr},
            {hub + "1-2", "usb", nullptr},
            {hub + "1-2/1-2:1.0", "usb", "ttyACM10"},
            {hub + "1-3", "usb", nullptr},
            {hub + "1-3/1-3:1.0", "usb", "ttyACM2"},
            {hub + "1-4", "usb", nullptr},
            {hub + "1-4/1-4:1.0", "usb", nullptr},
            {hub + "1-4/1-4:1.0/ttyUSB0", "usb-serial", "ttyUSB0"},
            {"devices/platform/serial8250", "platform", "ttyS0"}};
        for (const auto &[device, bus, tty] : devices) {
            root.mkpath(device);
            link(QStringLiteral("../").repeated(device.count('/') + 1) + "bus/" + bus,
                 device + "/subsystem");
            if (!tty)
                continue;
            const QString node = device + "/tty/" + tty;
            root.mkpath(node);
            link("../../../" + device.section('/', -1), node + "/device");
            link("../../" + node, QStringLiteral("class/tty/") + tty);
        }
        QCOMPARE(list_usb_serial_ports({sys.path(), "/dev"}),
                 (QStringList{"/dev/ttyACM2", "/dev/ttyACM10", "/dev/ttyUSB0"}));
        QCOMPARE(list_usb_serial_ports({"/nonexistent/sysfs", "/dev"}), QStringList());
    }

private:
    void checkSerialNumber()
    {
        ParamValue serial;
        QVERIFY(read_parameter(m_f->exchange(), 0, 0x7A, 0, serial));
        QCOMPARE(serial.toInt(), 123456);
    }

    Timing m_timing;
    std::optional<ScriptedLink> m_link;
    std::optional<SessionFixture> m_f;
    std::optional<Exchange> m_exchange;
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
