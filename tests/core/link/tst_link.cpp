#include "core/features/traffic/traffictrace.h"
#include "core/link/seriallink.h"
#include "core/link/usbports.h"
#include "core/model/devicetype.h"
#include "core/model/readunitdata.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"
#include "core/protocol/reconnect.h"
#include "core/protocol/session.h"

#include "files.h"
#include "scriptedlink.h"
#include "sessionfixture.h"

#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace keldor;
using namespace std::chrono_literals;

// Link primitives, LAN opening and tunnel, pty discovery, restart wait; failures: fault matrix.
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

    // What arrives is cut under the expectation of the last send: a unit that more bytes follow
    // in the same arrival says so ("+"), an acknowledgement carries what came before it ("|"),
    // and what makes no unit waits ("~") until the noise limit gives it up.
    void unitsAreCutByExpectation()
    {
        const QByteArray noise(UnitCutter::noiseLimit, 'x');
        // clang-format off
        const std::tuple<const char *, Expectation, QByteArrayList, QString> rows[] = {
            {"answer in pieces", Expectation::bytes(4), {"a", "bc", "d"}, "B|abcd"}, {"answer and a stray byte", Expectation::bytes(2), {"abc"}, "B|ab+ ~1"},
            {"empty text", Expectation::bytes(0), {""}, "B|"}, {"end after noise", Expectation::ack(), {"xxE", "N"}, "Exx|EN"},
            {"end and more", Expectation::ack(), {"ENx"}, "E|EN+ ~1"}, {"two acknowledgements", Expectation::ack(), {"OKEN"}, "O|OK+ E|EN"},
            {"OK split", Expectation::ack(), {"O", "K"}, "O|OK"}, {"go-ahead, then end", Expectation::goAhead(), {"G", "EN"}, "G|G E|EN"},
            {"go-ahead OK whole", Expectation::goAhead(), {"OK"}, "O|OK"}, {"go-ahead is any byte", Expectation::goAhead(), {"E", "N"}, "G|E ~1"},
            {"nothing expected", Expectation::nothing(), {"EN"}, "~2"},
            {"proxy header", Expectation::proxyReply(), {"HTTP/1.0 200 OK\r\n", "\r\nOK"}, "P|HTTP/1.0 200 OK\r\n\r\n+ ~2"},
            {"noise at the limit", Expectation::ack(), {noise}, "~2048"}, {"noise past it", Expectation::ack(), {noise + 'x'}, "U|2049"}};
        // clang-format on
        for (const auto &[name, expectation, arrivals, expected] : rows) {
            UnitCutter cutter;
            cutter.expect(expectation);
            QStringList seen;
            for (const QByteArray &arrival : arrivals) {
                for (const RxUnit &unit : cutter.cut(arrival)) {
                    const QString bytes = unit.bytes.size() > 64
                                              ? QString::number(unit.bytes.size())
                                              : QString::fromLatin1(unit.bytes);
                    seen.append(QString("BOEGPU").at(int(unit.kind)) +
                                QString::fromLatin1(unit.before) + '|' + bytes +
                                (unit.followed ? "+" : ""));
                }
            }
            if (cutter.pendingSize() > 0)
                seen.append('~' + QString::number(cutter.pendingSize()));
            QCOMPARE(seen.join(' '), expected);
        }
    }

    // Waits take the units of the last send: an answer, an end that came with other bytes
    // first; sends go to the selected link only; waits run events and end at once when the link
    // drops or refuses a write, not at the limit, and say why without showing anything.
    void exchangePrimitives()
    {
        m_exchange->send("abc", Expectation::bytes(4));
        m_link->reply("\x01", 5ms);
        m_link->reply(QByteArray("\x02\x03", 2), 15ms);
        m_link->reply("\x04", 25ms);
        const std::optional<RxUnit> answer = m_exchange->waitForUnit();
        QVERIFY(answer && answer->bytes == "\x01\x02\x03\x04");
        m_exchange->send("N", Expectation::ack());
        m_link->reply("xxEN", 5ms);
        bool alone = true;
        QVERIFY(m_exchange->waitForEnd(&alone) && !alone && m_f->ui.messages.isEmpty());
        m_link->reply("ENx", 5ms);
        QVERIFY(!m_exchange->waitForEnd());
        m_f->ui.keepAliveRunning = true;
        QVERIFY(!endSession(*m_exchange) && !m_f->ui.keepAliveRunning);
        m_exchange->setSerialSelected(true);
        m_exchange->send("def");
        m_exchange->setSerialSelected(false);
        QCOMPARE(m_link->written, (QByteArrayList{"abc", "N"}));
        bool fired = false;
        QTimer::singleShot(25ms, Qt::PreciseTimer, [&] { fired = true; });
        m_exchange->waitSeconds(30ms);
        QVERIFY(fired);
        // Exactly the limit is no flood yet; one byte more is.
        m_exchange->discard();
        emit m_link->received(QByteArray(Exchange::rxLimit, 'x'));
        QVERIFY(!m_exchange->overflowed());
        emit m_link->received("x");
        QVERIFY(m_exchange->overflowed());
        m_exchange->discard();
        m_f->ui.clear();
        m_timing.answerLimit = 1h;
        QList<RxUnit> heard;
        connect(&*m_exchange, &Exchange::unitReceived,
                [&](Link *, const RxUnit &unit) { heard.append(unit); });
        m_exchange->send("abc", Expectation::bytes(4));
        m_link->reply("\x01", 5ms);
        // News of the other link leaves the half-said bytes alone; the loss of their own doesn't.
        QTimer::singleShot(10ms, [this] { emit m_f->session.serial.stateChanged(); });
        qsizetype heardBeforeDrop = -1;
        QTimer::singleShot(20ms, &*m_link, [&] { heardBeforeDrop = heard.size(), m_link->drop(); });
        m_link->reply(QByteArray("\x02\x03\x04"), 30s);
        QVERIFY(!m_exchange->waitForUnit() && heardBeforeDrop == 0);
        QVERIFY(heard.size() == 1 && heard[0].kind == RxUnit::Kind::Unexpected &&
                heard[0].bytes == "\x01");
        QCOMPARE(m_exchange->error(), ExchangeError::LinkLost);
        QVERIFY(m_f->ui.messages.isEmpty());

        m_link->open = true;
        m_link->refusesWrites = true;
        QVERIFY(!m_exchange->send("N", Expectation::ack()));
        QVERIFY(!m_exchange->waitForEnd());
        QCOMPARE(m_exchange->error(), ExchangeError::WriteFailed);
        m_link->refusesWrites = false;
        m_link->reply("EN", 5ms);
        QVERIFY(m_exchange->send("N", Expectation::ack()) && m_exchange->waitForEnd());
        QCOMPARE(m_exchange->error(), ExchangeError::None);
    }

    // The last row: one attempt is over before the "K" comes, still the answer to the first "RM".
    void handshake()
    {
        // clang-format off
        const std::tuple<const char *, QByteArrayList, bool, bool> rows[] = {
            {"OK", {"OK"}, true, false}, {"OK after an echo", {"RMOK"}, true, false},
            {"OK is not the end", {"OK!"}, false, true}, {"late OK across attempts", {"O", "K"}, true, true}};
        // clang-format on
        for (const auto &[name, answer, opened, resent] : rows) {
            init();
            for (int i = 0; i < answer.size(); ++i)
                m_link->reply(answer[i], i * 4 * m_timing.handshakeAttempt / 3);
            QVERIFY2(lanHandshake(*m_exchange, *m_link, m_timing) == opened, name);
            const QByteArrayList &sent = m_link->written;
            QVERIFY2(sent.count("RM") == sent.size() && (sent.size() > 1) == resent, name);
        }
    }

    // The CONNECT request and the proxy's reply: the tunnel opens on a whole reply header with
    // "200" in its first 20 characters. An address or port that would break the request line
    // never reaches the proxy (no reply in the row): it could smuggle in headers or a request.
    void tunnel()
    {
        const QByteArrayList granted{"HTTP/1.1 200 Connection established\r\n\r\n"};
        // clang-format off
        const std::tuple<const char *, const char *, const char *, QByteArrayList, bool> rows[] = {
            {"granted", "127.0.0.2", "5000", granted, true},
            {"a name", "localhost", "80", granted, true},
            {"bare line feeds", "127.0.0.2", "80", {"HTTP/1.0 200 OK\n\n"}, true},
            {"header in pieces", "127.0.0.2", "80", {"HTTP/1.1 200", " OK\r\n", "\r\n"}, true},
            {"403", "127.0.0.2", "80", {"HTTP/1.1 403 Forbidden\r\n\r\n"}, false},
            {"200 too late", "127.0.0.2", "80", {"HTTP/1.1 403 Denied 200\r\n\r\n"}, false},
            {"no empty line", "127.0.0.2", "80", {"HTTP/1.1 200 OK\r\n"}, false}, {"no empty line after two", "127.0.0.2", "80", {"HTTP/1.1 200 OK\r\nVia: x\r\n"}, false},
            {"line break", "10.0.0.1:80 HTTP/1.0\r\nX: 1\r\n", "80", {}, false},
            {"bare line feed", "10.0.0.1\n", "80", {}, false}, {"blank in the address", "10.0.0.1 x", "80", {}, false},
            {"blank in the port", "10.0.0.1", "80 1", {}, false}, {"not ASCII", "räck.example", "80", {}, false},
            {"port 0", "127.0.0.2", "0", {}, false}, {"port 65536", "127.0.0.2", "65536", {}, false},
            {"port 65535", "127.0.0.2", "65535", granted, true}, {"a DEL in the address", "10.0.0.1\x7f", "80", {}, false},
            {"negative port", "127.0.0.2", "-80", {}, false}};
        // clang-format on
        for (const auto &[name, ip, port, reply, opened] : rows) {
            init();
            for (int i = 0; i < reply.size(); ++i)
                m_link->reply(reply[i], std::chrono::milliseconds(5 + 10 * i));
            const LanTarget target{"Rack 7", QString::fromUtf8(ip), port, 0, {}, {}};
            QVERIFY2(openTunnel(*m_exchange, *m_link, target, m_timing) == opened, name);
            const QByteArray request = "CONNECT " + QByteArray(ip) + ':' + port + " HTTP/1.0\r\n";
            const QByteArrayList sent{request, "Accept: */*\r\n", "\r\n"};
            QVERIFY2(m_link->written == (reply.isEmpty() ? QByteArrayList() : sent), name);
        }
    }

    // A proxy filled in but not chosen is not used; the first look after the restart pause finds
    // the headend, so the bar stops full. A port that is no number, or no headend, never dials.
    void lanConnectionAndRestartWait()
    {
        QVERIFY(m_f->sim.listen());
        const LanTarget target{"Rack 7", "127.0.0.1", m_f->sim.portText(),
                               2,        {},          QString::number(freePort())};
        QVERIFY(lanConnect(m_f->session, target));
        QCOMPARE(m_f->ui.progressLabels,
                 (QStringList{"Attempting to connect to Headend Rack 7...",
                              "Connection established, downloading Data!"}));
        QVERIFY(m_f->ui.connectionModeLocked);
        QCOMPARE(m_f->sim.count(sim::TranscriptEntry::Kind::Open), 1);
        QVERIFY(waitForRestart(m_f->session, target, {}) && m_f->session.lan.isConnected());
        QCOMPARE(m_f->ui.progressValues, (QList<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
        m_f->session.lan.close();
        const qsizetype labels = m_f->ui.progressLabels.size();
        QVERIFY(!lanConnect(m_f->session, {"Rack 7", "127.0.0.1", "http", 0, {}, {}}));
        QVERIFY(!lanConnect(m_f->session, {"non", "127.0.0.1", "http", 0, {}, {}}));
        QCOMPARE(m_f->ui.progressLabels.size(), labels + 1);
        QCOMPARE(m_f->ui.texts(),
                 (QStringList{"Connection could not be established!",
                              "    Connection not possible!\rPlease select a headend first!"}));
        QCOMPARE(m_f->ui.messages.value(1).icon, UserInterface::Icon::Critical);
        QVERIFY(!m_f->ui.progressShown && m_f->ui.busyDepth == 0);
    }

    // The suite's own guard: a host outside loopback ends the process before any connection or
    // name lookup starts. Each host is announced in a child, which never dials it.
    void loopbackGuardRefusesEveryOtherHost()
    {
        QCOMPARE(qgetenv("KELDOR_LOOPBACK_ONLY"), QByteArray("1"));
        const std::pair<const char *, bool> hosts[] = {
            {"127.0.0.1", true},     {"127.0.0.2", true}, {"127.255.255.254", true},
            {"::1", true},           {"localhost", true}, {"128.0.0.1", false},
            {"192.168.1.20", false}, {"10.0.0.7", false}, {"headend.example", false}};
        for (const auto &[host, allowed] : hosts) {
            const pid_t child = fork();
            if (child == 0) {
                LanLink::announceDial(QString::fromLatin1(host));
                _exit(0);
            }
            int status = 0;
            QVERIFY2(child > 0 && waitpid(child, &status, 0) == child &&
                         (allowed ? WIFEXITED(status) && WEXITSTATUS(status) == 0
                                  : WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT),
                     host);
        }
    }

    // Discovery tries every port and opens the one that answers; the wait for a restarting
    // headend only looks at its port, and the caller opens it again.
    void serialDiscoveryAndRestartWait()
    {
        SimHeadend silent;
        silent.headend.setFault({sim::Fault::Silent});
        SimHeadend good;
        QVERIFY2(silent.openPty() && good.openPty(), qPrintable(silent.pty.errorString()));
        m_f->session.usbPorts = [&] {
            return QStringList{"/dev/nonexistent-tty", silent.pty.slavePath(),
                               good.pty.slavePath()};
        };
        m_f->exchange().setSerialSelected(true);
        QVERIFY(checkDevicePresent(m_f->session));
        QCOMPARE(m_f->session.serial.portName(), good.pty.slavePath());
        QVERIFY(m_f->ui.connectionModeLocked);
        QCOMPARE(silent.count(sim::TranscriptEntry::Kind::Open), 1);
        QCOMPARE(good.count(sim::TranscriptEntry::Kind::Open), 1);
        QVERIFY(endSession(m_f->exchange()));
        QCOMPARE(good.frames(0x50).size(), 1);
        QCOMPARE(good.frames(0x50).first().bytes, QByteArray("\0P\0\0\0\0\0\0\0\0", 10));
        m_f->session.serial.close();
        QVERIFY(waitForRestart(m_f->session, {}, good.pty.slavePath()));
        QVERIFY(!m_f->session.serial.isOpen());
        QVERIFY(!waitForRestart(m_f->session, {}, QStringLiteral("/dev/keldor-no-such-port")));
        QCOMPARE(m_f->ui.texts(), QStringList{"Reconnect to Headend failed, please try manually!"});
        // The bar wraps at full while it waits: it never shows more than its maximum.
        QCOMPARE(std::ranges::max(m_f->ui.progressValues), 100);
        QVERIFY(!m_f->ui.progressShown && m_f->ui.busyDepth == 0);
    }

    // A port the operator may not open names its group and the way into it, in place of "No
    // Device found!". Root opens every port, so a root run looks as the unprivileged "nobody".
    void serialPortWithoutPermission()
    {
        QTemporaryFile port(QDir::tempPath() + "/keldor-port-XXXXXX");
        QVERIFY(port.open());
        const QByteArray path = QFile::encodeName(port.fileName());
        const bool root = geteuid() == 0;
        const group *dialout = getgrnam("dialout");
        const passwd *nobody = getpwnam("nobody");
        if (root && (!dialout || !nobody))
            QSKIP("running as root without a dialout group and a nobody user to drop to");
        QVERIFY(chmod(path, root ? 0660 : 0) == 0 &&
                (!root || chown(path, 0, dialout->gr_gid) == 0));
        const QString group = root ? "dialout" : getgrgid(getegid())->gr_name;
        const auto dropRoot = [&] {
            if (root && (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                         setuid(nobody->pw_uid) != 0))
                _exit(1);
        };
        const QByteArray shown = inChild(dropRoot, [&] {
            m_f->session.usbPorts = [&] {
                return QStringList{port.fileName()};
            };
            m_f->exchange().setSerialSelected(true);
            return checkDevicePresent(m_f->session) ? "opened" : m_f->ui.texts().join('|').toUtf8();
        });
        QCOMPARE(shown, "No permission to open the serial port " + path +
                            ".\r\nIt belongs to the group \"" + group.toUtf8() +
                            "\"; add your user to that group with\r\nsudo usermod -aG " +
                            group.toUtf8() + " $USER\r\nthen log out and log in again.");
    }

    // The port's own alarms of lost input: each kind once per exchange however often the driver
    // counts it, the session's opening included, and the reads go on. What the driver counted
    // before the port opened, or before its counts could be read, is no news; a port that keeps
    // no counts, as the pty itself, stays silent.
    void serialInputLossAlarms()
    {
        QVERIFY(m_f->sim.openPty());
        const int pty = ::open(QFile::encodeName(m_f->sim.pty.slavePath()), O_RDWR | O_NOCTTY);
        QVERIFY(pty >= 0 && !SerialLink::driverInputLoss(pty));
        ::close(pty);
        const QString overrun = "Overrun!", rxOver = "RXOver!";
        enum Counts { Driver, FromOpening, FromAnswer };
        // clang-format off
        const std::tuple<const char *, Counts, InputLossCounts, QStringList> rows[] = {
            {"a pty keeps no counts", Driver, {}, {}}, {"counts standing still", FromOpening, {}, {}},
            {"overruns", FromOpening, {1, 0}, {overrun, overrun, overrun}},
            {"receive buffer overflows", FromOpening, {0, 1}, {rxOver, rxOver, rxOver}},
            {"both, counts readable from the first answer on", FromAnswer, {2, 1}, {overrun, rxOver, overrun, rxOver}}};
        // clang-format on
        for (const auto &[name, counts, step, texts] : rows) {
            init();
            m_exchange.reset(); // it listens to the session's serial link as well
            if (counts != Driver)
                m_f->session.serial.setInputLossReader(
                    [now = InputLossCounts{7, 3}, readable = counts == FromOpening,
                     step = step](int) mutable -> std::optional<InputLossCounts> {
                        if (!std::exchange(readable, true))
                            return std::nullopt;
                        now = {now.overrun + step.overrun, now.bufferOverrun + step.bufferOverrun};
                        return now;
                    });
            QVERIFY2(m_f->sim.offerPty(m_f->session) && checkDevicePresent(m_f->session), name);
            for (int exchange = 0; exchange < 2; ++exchange) {
                ParamValue serial;
                QVERIFY2(readParameter(m_f->exchange(), 0, 0x7A, 0, serial), name);
                QCOMPARE(serial.toInt(), 123456);
            }
            QCOMPARE(m_f->ui.texts(), texts);
            for (const RecordingUi::Message &m : m_f->ui.messages)
                QVERIFY(m.icon == UserInterface::Icon::None && m.title.isEmpty() &&
                        m.buttons == UserInterface::Buttons::Ok);
        }
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
        root.mkpath("class/tty");
        root.mkpath("devices/virtual/tty/tty0");
        link("../../devices/virtual/tty/tty0", "class/tty/tty0");
        const QString hub = "devices/pci0000:00/0000:00:14.0/usb1/";
        // clang-format off
        const std::tuple<QString, const char *, const char *> devices[] = {
            {"devices/pci0000:00/0000:00:14.0", "pci", nullptr}, {hub + "1-2", "usb", nullptr},
            {hub + "1-2/1-2:1.0", "usb", "ttyACM10"}, {hub + "1-3", "usb", nullptr},
            {hub + "1-3/1-3:1.0", "usb", "ttyACM2"}, {hub + "1-4", "usb", nullptr},
            {hub + "1-4/1-4:1.0", "usb", nullptr}, {hub + "1-4/1-4:1.0/ttyUSB0", "usb-serial", "ttyUSB0"},
            {"devices/platform/serial8250", "platform", "ttyS0"}};
        // clang-format on
        for (const auto &[device, bus, tty] : devices) {
            root.mkpath(device);
            root.mkpath(QStringLiteral("bus/") + bus);
            link(QStringLiteral("../").repeated(device.count('/') + 1) + "bus/" + bus,
                 device + "/subsystem");
            if (!tty)
                continue;
            const QString node = device + "/tty/" + tty;
            root.mkpath(node);
            link("../../../" + device.section('/', -1), node + "/device");
            link("../../" + node, QStringLiteral("class/tty/") + tty);
        }
        QCOMPARE(listUsbSerialPorts({sys.path(), "/dev"}),
                 (QStringList{"/dev/ttyACM2", "/dev/ttyACM10", "/dev/ttyUSB0"}));
        QCOMPARE(listUsbSerialPorts({"/nonexistent/sysfs", "/dev"}), QStringList());
    }

    // A 16-channel connection and full read: every unit reads as something, the answers as the
    // values the headend holds. Then the units the full read doesn't show, as the trace hears
    // them on the LAN link: an upload block leaves only its summary.
    void traceDecodesEveryUnit()
    {
        SessionFixture f;
        TrafficTrace trace(f.session);
        QStringList kinds;
        QList<TraceLine> lines;
        connect(&trace, &TrafficTrace::recorded, [&](const TraceLine &line) {
            lines.append(line);
            kinds.append(line.meaning["kind"].toString());
        });
        f.sim.headend.state().channels[15].outFrequency = 834.0f;
        QVERIFY(f.start(16));
        UnitData unit;
        QVERIFY(checkDeviceType(f.exchange(), unit) && readUnitData(f.exchange(), unit));
        trace.finish();
        QVERIFY(kinds.count("unexpected") + kinds.count("unknown") + kinds.count("") == 0);
        QVERIFY(kinds.count("read") > 16 * 14 && kinds.count("read") == kinds.count("EN"));
        QCOMPARE(kinds.count("continue"), kinds.count("answer") + 2 * kinds.count("text"));
        QCOMPARE(kinds.first(2), (QStringList{"session-open", "OK"}));
        const auto answer = std::find_if(lines.cbegin(), lines.cend(), [](const TraceLine &l) {
            return l.direction == "rx" && l.meaning["channel"] == 15 && l.meaning["code"] == "0x51";
        });
        QCOMPARE(answer->toJson(),
                 R"({"t_ms":)" + QByteArray::number(answer->tMs) +
                     R"(,"link":"lan","dir":"rx","hex":"44508000","meaning":)"
                     R"({"channel":15,"code":"0x51","kind":"answer","value":834}})");

        // A send's first character says what it expects back: an acknowledgement, a go-ahead,
        // the proxy's reply or one byte; '<' marks an arrival.
        const auto frame = [](char expects, quint8 code, const QByteArray &payload = {}) {
            QByteArray bytes(10, '\0');
            bytes[1] = char(code);
            return expects + bytes.replace(2, payload.size(), payload).left(10);
        };
        QByteArray withServices(48, 'x');
        withServices[20] = 1;
        // clang-format off
        const std::pair<QByteArrayList, const char *> rows[] = {
            {{"aRM", "<O", "<K", frame('1', 0x78), QByteArray("<\0", 2), "aN", "aN", "<EN"},
             "session-open OK read text-length continue continue EN"},
            {{"pCONNECT 127.0.0.2:80 HTTP/1.0\r\n", "p\r\n", "<HTTP/1.0 200 OK\r\n\r\nOK"},
             "proxy:proxy-request proxy:proxy-header proxy:proxy-reply unexpected"},
            {{frame('a', 0x84, QByteArray("\0\0\x04\x01", 4)), "<OK", 'a' + QByteArray(1024, 'u'), "<OK", "au", "<OKEN"},
             "upload-start OK upload-block OK upload-block OK EN"},
            {{frame('g', 0x8A), "<G", 'g' + withServices, "<G", "gab", "<G", 'g' + QByteArray(48, '\0'), "<EN"},
             "bulk-write-start go-ahead bulk-channel go-ahead bulk-services go-ahead bulk-channel EN"},
        };
        // clang-format on
        const QMap<char, Expectation> expects{{'a', Expectation::ack()},
                                              {'g', Expectation::goAhead()},
                                              {'p', Expectation::proxyReply()},
                                              {'1', Expectation::bytes(1)}};
        for (const auto &[steps, expected] : rows) {
            ScriptedLink lan;
            Exchange exchange(f.ui, m_timing, f.session.serial, lan);
            TrafficTrace rowTrace(exchange, f.session.serial, lan);
            QStringList read;
            connect(&rowTrace, &TrafficTrace::recorded, [&](const TraceLine &line) {
                const QString kind = line.meaning["kind"].toString();
                read.append(line.link == "proxy" ? "proxy:" + kind : kind);
                QCOMPARE(line.toJson().contains("\"hex\""), kind != "upload-block");
            });
            for (const QByteArray &step : steps) {
                if (step.front() == '<')
                    emit lan.received(step.mid(1));
                else
                    exchange.sendOn(lan, step.mid(1), expects.value(step.front()));
            }
            rowTrace.finish();
            QCOMPARE(read.join(' '), QString(expected));
        }
    }

private:
    Timing m_timing;
    std::optional<ScriptedLink> m_link;
    std::optional<SessionFixture> m_f;
    std::optional<Exchange> m_exchange;
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
