#include "files.h"
#include "simprocess.h"

#include "sim/bigendian.h"
#include "sim/headend.h"
#include "sim/ptytransport.h"
#include "sim/stateio.h"
#include "sim/tcptransport.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using K = sim::TranscriptEntry::Kind;

// The client's end of the line, as a test drives it: plain bytes out, exact byte counts back.
// Over loopback TCP, or over the pseudo-terminal opened as a serial port is (without raw mode
// of its own: the device must set it). Waiting runs the event loop, so the simulator works on.
class Wire {
public:
    explicit Wire(quint16 port)
        : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::fcntl(m_fd, F_SETFL, O_NONBLOCK);
    }
    explicit Wire(const QString &tty)
        : m_fd(::open(qPrintable(tty), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {}
    ~Wire() { ::close(m_fd); }
    void send(const QByteArray &bytes)
    {
        QCOMPARE(::write(m_fd, bytes.data(), bytes.size()), bytes.size());
    }
    // Exactly n bytes, or fewer if they don't come in time or the line closes.
    QByteArray read(qsizetype n, std::chrono::milliseconds limit = 3s)
    {
        const QDeadlineTimer deadline(limit);
        QSocketNotifier readable(m_fd, QSocketNotifier::Read);
        while (m_in.size() < n && !m_closed) {
            char chunk[4096];
            const ssize_t count = ::read(m_fd, chunk, sizeof chunk);
            if (count > 0) {
                m_in.append(chunk, count);
                ++pieces;
            } else if (count == 0 || errno != EAGAIN) {
                m_closed = true;
            } else if (QSignalSpy woken(&readable, &QSocketNotifier::activated);
                       deadline.hasExpired() ||
                       !woken.wait(int(qMax<qint64>(1, deadline.remainingTime())))) {
                break;
            }
        }
        return std::exchange(m_in, m_in.mid(n)).left(n);
    }
    bool quietFor(std::chrono::milliseconds period) { return read(1, period).isEmpty(); }
    // Nothing more arrives, and the far end closes the line.
    bool closed() { return read(1).isEmpty() && m_closed; }

    int pieces = 0; // reads that brought bytes

private:
    int m_fd;
    QByteArray m_in;
    bool m_closed = false;
};

// Plays a conversation written as steps "SEND>EXPECT~QUIET". SEND is "RM", "N", "-" (nothing),
// "@ch:code:payload" (a request frame; all hex), "?ch:code:payload" (the same, followed by
// "N>EN"), "#hex" or "$i" (the row's i-th blob). EXPECT is hex, or text with "_" for a space;
// QUIET is how many milliseconds the line must then stay silent.
static void play(Wire &wire, const QString &script, const QByteArrayList &blobs = {})
{
    static const QRegularExpression step(R"(^([?@#$]?)([^>~]*)>?([^~]*)~?(\d*)$)");
    static const QRegularExpression hex("^([0-9A-F]{2})*$");
    for (const QString &token : script.split(' ', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = step.match(token);
        const QString kind = m.captured(1);
        const QStringList frame = m.captured(2).split(':');
        QByteArray send = kind == "#"   ? QByteArray::fromHex(m.captured(2).toLatin1())
                          : kind == "$" ? blobs.value(m.captured(2).toInt())
                                        : m.captured(2).toLatin1().replace("-", "");
        if (kind == "@" || kind == "?") {
            send =
                QByteArray(10, '\0').replace(2, 8, QByteArray::fromHex(frame.value(2).toLatin1()));
            send.resize(10, '\0');
            send[0] = char(frame[0].toInt(nullptr, 16));
            send[1] = char(frame[1].toInt(nullptr, 16));
        }
        QString expected = m.captured(3);
        const QByteArray expect = hex.match(expected).hasMatch()
                                      ? QByteArray::fromHex(expected.toLatin1())
                                      : expected.replace('_', ' ').toLatin1();
        wire.send(send);
        QVERIFY2(wire.read(expect.size()) == expect, qPrintable(token));
        if (!m.captured(4).isEmpty())
            QVERIFY2(wire.quietFor(std::chrono::milliseconds(m.captured(4).toInt())),
                     qPrintable(token));
        if (kind == "?")
            play(wire, "N>EN");
    }
}

class TestSim : public QObject {
    Q_OBJECT

    struct Row {
        const char *name;
        QString script;
        std::function<void()> setup;
        std::function<void()> check;
        QByteArrayList blobs;
    };

    std::optional<sim::Headend> m_headend;
    std::optional<sim::TcpTransport> m_tcp;
    std::optional<Wire> m_client;
    std::optional<QTemporaryDir> m_dir;

    sim::DeviceState &state() { return m_headend->state(); }
    QList<K> kinds() const
    {
        QList<K> out;
        for (const auto &entry : m_headend->transcript())
            out.append(entry.kind);
        return out;
    }
    std::function<void()> fault(sim::Fault fault, int code = -1, int count = -1, int skip = 0)
    {
        return [=, this] {
            m_headend->setFault({fault, code, count, skip, 300ms});
        };
    }
    QList<Row> rows();

private slots:
    void init()
    {
        m_dir.emplace();
        m_headend.emplace();
        m_headend->setTiming({std::nullopt, 200ms, 50ms, 300ms});
        m_tcp.emplace(*m_headend);
        QVERIFY(m_tcp->listen(QHostAddress::LocalHost, 0));
        m_client.emplace(m_tcp->port());
    }
    void cleanup()
    {
        m_client.reset();
        m_tcp.reset();
        m_headend.reset();
    }

    void conversation_data()
    {
        QTest::addColumn<int>("row");
        m_headend.emplace();
        for (int i = 0; i < rows().size(); ++i)
            QTest::newRow(rows().at(i).name) << i;
    }
    void conversation()
    {
        QFETCH(int, row);
        const Row r = rows().at(row);
        if (r.setup)
            r.setup();
        play(*m_client, r.script, r.blobs);
        if (r.check && !QTest::currentTestFailed())
            r.check();
    }

    // The paced line lets bytes through a slice at a time both ways: a block reaches the device
    // only after an event due at half its wire time, and an answer arrives in pieces.
    void throttlePacesBothDirections()
    {
        m_headend->setThrottle(4000);
        play(*m_client, "@0:84:00000800>OK");
        bool halfway = false;
        QTimer::singleShot(1024 * 1000 / 4000 / 2 * 1ms, Qt::PreciseTimer, [&] { halfway = true; });
        play(*m_client, "$0>OK", {QByteArray(1024, 'a')});
        QVERIFY(halfway);
        play(*m_client, "$0>OKEN", {QByteArray(1024, 'b')});
        state().identity.deviceType = QString(255, u'x');
        m_headend->setThrottle(1000);
        m_client->pieces = 0;
        play(*m_client, "@0:79>FF $0>" + QString(255, u'x') + " N>EN", {"N"});
        QVERIFY2(m_client->pieces > 4, qPrintable(QString::number(m_client->pieces)));
    }

    // 0x96 restarts the device onto its new port, with its state kept.
    void restartComesBackOnTheNewPort()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        QSignalSpy restarted(&*m_tcp, &sim::TcpTransport::restarted);
        const int resets = state().diagnostics.resetCount;
        play(*m_client, QString("@3:06:02>EN @0:8F:%1>EN @0:96>EN").arg(port, 4, 16, QChar('0')));
        QVERIFY(m_client->closed());
        QVERIFY(restarted.wait(3000));
        QCOMPARE(restarted.first().at(1).value<quint16>(), port);
        Wire again(port);
        play(again, "RM>OK ?3:59>02");
        QCOMPARE(state().diagnostics.resetCount, resets + 1);
    }

    void pty()
    {
        const QString link = m_dir->filePath("ttyKELDOR");
        const QString notes = m_dir->filePath("notes.txt");
        sim::PtyTransport pty(*m_headend);
        QVERIFY2(pty.open(link), qPrintable(pty.errorString()));
        QCOMPARE(QFileInfo(link).symLinkTarget(), pty.slavePath());
        // The link never replaces a file.
        QVERIFY(writeFile(notes, "keep"));
        sim::PtyTransport other(*m_headend);
        QVERIFY(!other.open(notes) && other.errorString().startsWith(notes));
        QCOMPARE(readFile(notes), "keep");

        // Raw mode: the carriage return in the code byte and the zeros arrive untranslated.
        std::optional<Wire> client(std::in_place, link);
        play(*client, "RM>OK @0:0D>EN");
        QCOMPARE(m_headend->transcript().last().bytes, QByteArray::fromHex("000D0000000000000000"));

        // A hang-up reopens the line on a fresh slave, where the link then points.
        QSignalSpy reopened(&pty, &sim::PtyTransport::reopened);
        m_headend->setFault({sim::Fault::Disconnect, -1, 1});
        play(*client, "@0:77>45");
        QVERIFY(client->closed());
        QVERIFY(reopened.count() == 1 || reopened.wait(2000));
        client.emplace(link);

        // A restart keeps the line quiet for a while.
        QSignalSpy down(&*m_headend, &sim::Headend::wentDown);
        QSignalSpy up(&*m_headend, &sim::Headend::cameUp);
        play(*client, "RM>OK @0:96>EN");
        QVERIFY(down.count() == 1 || down.wait(1000));
        play(*client, "RM~100");
        QVERIFY(up.count() == 1 || up.wait(2000));
        play(*client, "RM>OK");
    }

    // Loaded whole or not at all: extremes and defaults survive a file round trip; a fault
    // anywhere refuses everything and names its key.
    void stateFile()
    {
        const QJsonObject json = QJsonDocument::fromJson(R"({
            "identity": {"serial_number": -7, "variant": 3, "controller_version": "1.02"},
            "diagnostics": {"status": "0102"}, "lan": {"ip": "10.1.2.3", "port": 65535},
            "channels": [{}, {"qam": 3, "tuner": {"status": 0}}, {}, {}, {}, {}, {}, {}, {}, {},
                {}, {}, {}, {}, {}, {"out_frequency": 858.25, "in_frequency": -32768,
                "service_mode": 128, "service_ids": [0, 65535], "tuner": {"data_rate": 51.5},
                "input_services": [{"name": "Caf\u00e9 TV", "id": 17}]}]})")
                                     .object();
        sim::DeviceState state;
        sim::DeviceState loaded;
        QString error;
        const QString path = m_dir->filePath("state.json");
        QVERIFY2(sim::loadState(json, state, &error) && sim::saveStateFile(path, state, &error) &&
                     sim::loadStateFile(path, loaded, &error),
                 qPrintable(error));
        QCOMPARE(sim::saveState(loaded), sim::saveState(state));
        QVERIFY(loaded.identity.serialNumber == -7 && loaded.lan.port == 65535);
        QVERIFY(loaded.channels[15].outFrequency == 858.25f &&
                loaded.channels[15].inFrequency == -32768);
        QCOMPARE(loaded.channels[15].inputServices[0].name, QString::fromUtf16(u"Caf\u00e9 TV"));
        QCOMPARE(loaded.lan.ip, (std::array<quint8, 4>{10, 1, 2, 3}));
        QCOMPARE(loaded.lan.mask, (std::array<quint8, 4>{255, 255, 255, 0}));
        QVERIFY(loaded.channels[1].qam == 3 && loaded.channels[1].tuner.status == 0);
        QVERIFY(loaded.channels[1].tuner.snrTenths == 105 && loaded.channels[0].qam == 5);

        // clang-format off
        const QList<std::pair<const char *, QString>> invalid{
            {R"({"identity": {"serial": 5}})", "identity.serial"},
            {R"({"channels": [{"qam": 256}]})", "channels[0].qam"},
            {R"({"lan": {"port": 1}, "channels": [{"qam": 1}, {"lo_frequency": 40000}]})", "channels[1].lo_frequency"},
            {R"({"lan": {"port": 80.5}})", "lan.port"},
            {R"({"lan": {"mask": "255.255.0"}})", "lan.mask"},
            {R"({"lan": {"ip": "1.2.3.256"}})", "lan.ip"},
            {R"({"identity": {"serial_number": 1, "device_type": "\u20ac"}})", "identity.device_type"},
            {R"({"diagnostics": {"status": "F50"}})", "diagnostics.status"},
            {R"({"channels": [{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{}]})", "channels"},
            {R"({"channels": [{"input_services": [{"name": "A", "idd": 1}]}]})", "channels[0].input_services[0].idd"},
        };
        // clang-format on
        for (const auto &[text, key] : invalid) {
            sim::DeviceState refused;
            QVERIFY(!sim::loadState(QJsonDocument::fromJson(text).object(), refused, &error));
            QVERIFY2(error.startsWith(key + ":"), qPrintable(error));
            QCOMPARE(sim::saveState(refused), sim::saveState(sim::DeviceState()));
        }
    }

    // headend-sim itself: options, configuration, announcement, state dump and transcript.
    void executable()
    {
        const QString dir = m_dir->path();
        QVERIFY(writeFile(dir + "/config.json",
                          R"({"identity": {"device_type": "SIM-8"}, "channels": [{"qam": 2}]})"));
        {
            SimProcess sim;
            const QStringList listening = sim.start(
                {"--tcp", "0", "--variant", "8", "--serial", "42", "--config", dir + "/config.json",
                 "--dump-state", dir + "/dump.json", "--transcript", dir + "/transcript.jsonl"},
                "LISTENING");
            QCOMPARE(listening.mid(0, 3), (QStringList{"LISTENING", "tcp", "127.0.0.1"}));
            Wire client(listening.value(3).toUShort());
            play(client, "RM>OK ?0:A3>01 ?0:7A>0000002A @0:79>05 N>SIM-8 N>EN @3:06:03>EN");
        }
        const QJsonDocument dump = QJsonDocument::fromJson(readFile(dir + "/dump.json"));
        QVERIFY(dump["identity"]["serial_number"] == 42 && dump["identity"]["variant"] == 1);
        QVERIFY(dump["channels"][0]["qam"] == 2 && dump["channels"][3]["qam"] == 3);
        const QList<QByteArray> lines = readFile(dir + "/transcript.jsonl").split('\n');
        QCOMPARE(QJsonDocument::fromJson(lines.value(0))["kind"], "open");
        QCOMPARE(QJsonDocument::fromJson(lines.value(1))["code"], "0xa3");

        for (const QStringList &arguments :
             {QStringList{"--variant", "8"}, QStringList{"--tcp", "0", "--fault", "sleepy"},
              QStringList{"--tcp", "0", "--variant", "9"},
              QStringList{"--tcp", "0", "--fault-code", "0x100"}}) {
            QProcess bad;
            bad.start(qEnvironmentVariable("KELDOR_BIN_DIR") + "/headend-sim", arguments);
            QVERIFY(bad.waitForFinished(5000) && bad.exitCode() == 2);
            QVERIFY(bad.readAllStandardOutput().isEmpty());
        }
    }
};

QList<TestSim::Row> TestSim::rows()
{
    QByteArray image(1025, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7);
    QByteArrayList bulk;
    for (int ch = 0; ch < 8; ++ch) {
        bulk.append(sim::bigEndianFloat(500.0f + ch) + sim::bigEndian16(11000 + ch) +
                    QByteArray::fromHex(ch == 2 ? "29686B6C1ADB01000301020300010201"
                                                : "29686B6C1ADB01000301020300010000"));
        bulk.last().resize(48, '\0');
    }
    const QByteArray stalled(1022, 'x');
    const auto &channels = state().channels;
    // clang-format off
    return {
        {"opening every time", "RM>OK RM>OK @0:50 RM>OK"},
        {"numeric reads", "?0:7A>0001E240 ?4:52>FFFE ?2:51>43AD0000 ?1:69>42180000 ?1:61>00000929 "
                          "?2:59>05 ?3:60>0000 ?0:90>EA60 ?0:A3>02 ?0:80>39", [this] {
            state().channels[4].inFrequency = -2;
            state().channels[2].outFrequency = 346.0f;
            state().channels[3].tuner.status = 0;
            state().lan.port = 60000;
            state().identity.variant = 2;
        }},
        {"text reads: length, then characters",
         "@0:79>0A N>KELDOR_QAM N>EN @0:91>04 N>C0A80114 N>EN"},
        {"empty text", "@0:7B>00 N N>EN~100", [this] { state().identity.hardwareVersion.clear(); }},
        {"writes decode their payload",
         "@2:03:43AD0000>EN @2:65:FFFE>EN @2:73:00>EN @0:8F:EA60>EN @0:8D:0A000207>EN", {},
         [this, &channels] {
             QVERIFY(channels[2].outFrequency == 346.0f && channels[2].inFrequency == -2);
             QVERIFY(channels[2].outputOn == 0 && state().lan.port == 60000);
             QCOMPARE(state().lan.ip, (std::array<quint8, 4>{10, 0, 2, 7}));
             QVERIFY(channels[1].outFrequency == 122.0f && channels[3].outputOn == 1);
         }},
        {"service lists follow the selected channel",
         "@3:02:03>EN ?0:0A>05 @0:0B:01>0B N>Service_4-2 N>EN ?0:0C:01>0FA1 ?0:12>8002 ?0:13:01>0FA3",
         [this] {
             state().channels[3].serviceMode = 128;
             state().channels[3].serviceIds = {4001, 4003};
         }},
        {"selection built by codes",
         "@5:02:05>EN @5:0E:01>EN @5:0F:1771>EN @5:0F:FFFF>EN @5:10>EN @5:11>EN ?0:12>0102",
         [this] { state().channels[5].serviceIds = {1}; },
         [&channels] { QCOMPARE(channels[5].serviceIds, (QList<quint16>{6001, 65535})); }},
        {"0xA0 in two steps", "@7:02:07>EN @7:A0:8002>OK #1F41~100 #1F43>EN", {}, [&channels] {
             QCOMPARE(channels[7].serviceMode, 128);
             QCOMPARE(channels[7].serviceIds, (QList<quint16>{8001, 8003}));
         }},
        {"0xA0 without IDs in one step", "@7:02:07>EN @7:A0:0000>OKEN",
         [this] { state().channels[7].serviceIds = {1}; },
         [&channels] { QVERIFY(channels[7].serviceMode == 0 && channels[7].serviceIds.isEmpty()); }},
        {"bulk write covers the variant's channels",
         "@0:8A>G $0>G $1>G $2>G #00070102>G $3>G $4>G $5>G $6>G $7>EN~100", [this] {
             state().identity.variant = 1;
             state().channels[8].outFrequency = 999.0f;
         }, [&channels] {
             QVERIFY(channels[5].outFrequency == 505.0f && channels[5].inFrequency == 11005);
             QVERIFY(channels[5].loFrequency == 10600 && channels[5].inSymbolrate == 27500);
             QVERIFY(channels[5].outSymbolrate == 6875 && channels[5].polarisation == 1);
             QVERIFY(channels[5].qam == 3 && channels[5].opmode == 3 && channels[5].loMode == 1);
             QCOMPARE(channels[2].serviceIds, (QList<quint16>{7, 258}));
             QVERIFY(channels[2].serviceMode == 1 && channels[3].serviceIds.isEmpty());
             QCOMPARE(channels[8].outFrequency, 999.0f);
         }, bulk},
        {"upload in blocks", "@0:84:00000401>OK $0>OK $1>OKEN", {}, [this, image] {
             QCOMPARE(m_headend->image(sim::UploadTarget::Controller), image);
             const auto done = m_headend->transcript().constLast();
             QVERIFY(done.kind == K::UploadDone && done.what == "controller" && done.size == 1025);
             QCOMPARE(done.sha256, QCryptographicHash::hash(image, QCryptographicHash::Sha256));
             QCOMPARE(m_headend->transcript()[1].bytes.size(), 1024);
         }, {image.left(1024), image.mid(1024)}},
        // The device counts blocks in a signed 16-bit number; a refused start gets no "OK" and
        // the "RM" after it opens a session instead of being image data.
        {"upload of 32767 blocks", "@0:84:01FFFC00 $0>OKOK", {},
         [this] { QCOMPARE(kinds(), (QList<K>{K::Frame, K::Raw})); }, {"RM" + stalled}},
        {"upload of one byte more", "@0:84:01FFFC01 RM>OK", {},
         [this] { QCOMPARE(kinds(), (QList<K>{K::Frame, K::Open})); }},
        // However long an upload stalls, the device takes what comes next, a session opening
        // included, as image data; it gives up only when told to.
        {"stalled upload waits for ever", "@0:89:00000400>OK $0~2500 RM>OKEN", {}, [this, stalled] {
             QCOMPARE(kinds(), (QList<K>{K::Frame, K::Raw, K::UploadDone}));
             QCOMPARE(m_headend->image(sim::UploadTarget::Fpga), stalled + "RM");
         }, {stalled}},
        {"stalled upload given up when told to", "@0:89:00000400>OK $0~300 RM>OK",
         [this] { m_headend->setTiming({100ms, 200ms, 50ms, 300ms}); }, [this] {
             QCOMPARE(kinds(), (QList<K>{K::Frame, K::RawTimeout, K::Open}));
             QVERIFY(m_headend->image(sim::UploadTarget::Fpga).isEmpty());
         }, {stalled}},
        {"store ends after the flash delay", "@0:8B>OK~50 ->EN"},
        {"unknown codes and stray continues get no answer", "@0:EE N @0:50:01~100 RM>OK", {}, [this] {
             QCOMPARE(kinds(), (QList<K>{K::Unknown, K::StrayContinue, K::Unknown, K::Open}));
             QCOMPARE(m_headend->transcript()[0].code(), 0xEE);
         }},
        {"an abandoned read keeps the next request", "@0:7A>0001E240 RM>OK ?0:59>05"},
        {"fault silent", "RM @0:77~200", fault(sim::Fault::Silent),
         [this] { QCOMPARE(kinds().size(), 2); }},
        // Frames are not delayed: the frame's answer overtakes the openings' late "OK"s.
        {"fault late OK", "RM RM @0:77>ENOKOK", fault(sim::Fault::LateOk)},
        {"fault drop answer changes nothing", "@1:06:01~150 ?1:59>05 @1:06:01>EN ?1:59>01",
         fault(sim::Fault::DropAnswer, 0x06, 1)},
        {"fault garbage before the answer", "?0:7A>A55A00FF130001E240", fault(sim::Fault::Garbage)},
        {"fault hits only its code", "RM>OK ?0:59>05 @0:52>A55A00FF1329F8",
         fault(sim::Fault::Garbage, 0x52)},
        {"fault skips frames of its code", "?0:59>05 @1:06:01>EN @1:06:02~150 ?1:59>01 @1:06:03>EN",
         fault(sim::Fault::DropAnswer, 0x06, 1, 1)},
        {"fault disconnect halfway", "@0:7A>0001", fault(sim::Fault::Disconnect, 0x7A), [this] {
             QVERIFY(m_client->closed());
             Wire next(m_tcp->port());
             play(next, "RM>OK");
         }},
        {"fault babble", "@0:77>EN", fault(sim::Fault::Babble, 0x77, 1), [this] {
             const QByteArray babble = m_client->read(64 * 1024);
             QCOMPARE(babble.size(), 64 * 1024);
             QVERIFY(!babble.contains("EN") && !babble.contains("OK"));
         }},
    };
    // clang-format on
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
