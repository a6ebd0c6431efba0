#include "datarows.h"
#include "files.h"
#include "tinyproxy.h"

#include "sim/bigendian.h"
#include "sim/headend.h"
#include "sim/ptytransport.h"
#include "sim/replay.h"
#include "sim/stateio.h"
#include "sim/tcptransport.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>

using namespace std::chrono_literals;
using K = sim::TranscriptEntry::Kind;

// The client's end of loopback TCP or of the pseudo-terminal (opened without raw mode: the
// device must set it). Waiting runs the event loop, so the simulator works on.
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
    bool send(const QByteArray &b) { return ::write(m_fd, b.data(), b.size()) == b.size(); }
    // Exactly n bytes, or fewer if they don't come in time or the line closes.
    QByteArray read(qsizetype n, std::chrono::milliseconds limit = 3s)
    {
        const QDeadlineTimer deadline(limit);
        QSocketNotifier readable(m_fd, QSocketNotifier::Read);
        for (char chunk[4096]; m_in.size() < n && !closed;) {
            const ssize_t count = ::read(m_fd, chunk, sizeof chunk);
            pieces += count > 0 ? 1 : 0;
            m_in.append(chunk, qMax<ssize_t>(count, 0));
            closed = count == 0 || (count < 0 && errno != EAGAIN);
            const int wait = int(qMax<qint64>(1, deadline.remainingTime()));
            if (count < 0 && !QSignalSpy(&readable, &QSocketNotifier::activated).wait(wait))
                break;
        }
        return std::exchange(m_in, m_in.mid(n)).left(n);
    }

    bool closed = false;
    int pieces = 0; // reads that brought bytes

private:
    int m_fd;
    QByteArray m_in;
};

// Plays a conversation of steps "SEND>EXPECT~QUIET". SEND is "RM", "N", "-" (nothing),
// "@ch:code:payload" (a request frame, all hex), "?ch:code:payload" (the same, then "N>EN"),
// "#hex" or "$i" (the i-th blob). EXPECT is hex, or text with "_" for a space; QUIET is how many
// milliseconds the line must then stay silent.
static void play(Wire &wire, const QString &script, const QByteArrayList &blobs = {})
{
    static const QRegularExpression step(R"(^([?@#$]?)([^>~]*)>?([^~]*)~?(\d*)$)");
    static const QRegularExpression hexOnly("^([0-9A-F]{2})*$");
    for (const QString &token : script.split(' ', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = step.match(token);
        const QString kind = m.captured(1);
        const QStringList frame = m.captured(2).split(':');
        const QString hex = frame[0].rightJustified(2, '0') + frame.mid(1).join("");
        const QByteArray send =
            kind.isEmpty() ? m.captured(2).toLatin1().replace("-", "")
            : kind == "$"
                ? blobs.value(m.captured(2).toInt())
                : QByteArray::fromHex(hex.toLatin1()).leftJustified(kind == "#" ? 0 : 10, '\0');
        QString expected = m.captured(3);
        const QByteArray expect = hexOnly.match(expected).hasMatch()
                                      ? QByteArray::fromHex(expected.toLatin1())
                                      : expected.replace('_', ' ').toLatin1();
        QVERIFY2(wire.send(send) && wire.read(expect.size()) == expect, qPrintable(token));
        const auto quiet = m.captured(4).toInt() * 1ms;
        QVERIFY2(quiet == 0ms || wire.read(1, quiet).isEmpty(), qPrintable(token + " not quiet"));
        if (kind == "?")
            play(wire, "N>EN");
    }
}

// What a replay takes for the recorded request: a write of no bytes is none, a long
// request that differs names its first differing byte, an upload block is known by its hash,
// what a headend says before the first request belongs to none. A trace line without its
// time refuses the file. received: the request's first bytes, then after; lastLine: of the
// report or the error.
// clang-format off
struct ReplayRow { const char *name; int requestBytes; QByteArray after; const char *lastTraceLine; int taken; const char *lastLine; }
const replayRows[] = {
    {"whole request", 12, "", "", 1, ""},
    {"part of it", 5, "", "", 0, ""},
    {"byte 6 differs", 5, "\xFF\x06\x07\x08\x09\x0a\x0b", "", 0, "  first difference at byte 6 of 12"},
    {"block by its hash", 12, "abc", "", 2, ""},
    {"another block", 12, "abd", "", 1, "  received a block with SHA-1 cb4cc28df0fdbe0ecf9d9662e294b118092a5735"},
    {"beyond the recording", 12, "abcN", "", 2, "  received 4e (N)"},
    {"line without time", 12, "", R"({"dir":"tx","hex":"00"})", 0, "line 6 is no trace line"},
};
// clang-format on

class TestSim : public QObject {
    Q_OBJECT

    // clang-format off
    struct Row { const char *name; QString script; std::function<void()> setup = {}, check = {};
                 QByteArrayList blobs = {}; };
    // clang-format on

    std::optional<sim::Headend> m_headend;
    std::optional<sim::TcpTransport> m_tcp;
    std::optional<Wire> m_client;
    QTemporaryDir m_dir;
    bool m_halfway = false;

    sim::DeviceState &state() { return m_headend->state(); }
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
        m_headend.emplace();
        m_headend->setTiming({std::nullopt, 200ms, 50ms, 300ms});
        m_tcp.emplace(*m_headend);
        QVERIFY(m_tcp->listen(QHostAddress::LocalHost, 0));
        m_client.emplace(m_tcp->port());
    }

    void conversation_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < rows().size(); ++i)
            QTest::newRow(rows().at(i).name) << i;
    }
    void conversation()
    {
        const Row r = fetchRow(rows());
        if (r.setup)
            r.setup();
        play(*m_client, r.script, r.blobs);
        if (r.check && !QTest::currentTestFailed())
            r.check();
    }

    void pty()
    {
        const QString link = m_dir.filePath("ttyKELDOR");
        const QString notes = m_dir.filePath("notes.txt");
        sim::PtyTransport pty(*m_headend);
        QVERIFY2(pty.open(link), qPrintable(pty.errorString()));
        // The link never replaces a file.
        QVERIFY(writeFile(notes, "keep"));
        sim::PtyTransport other(*m_headend);
        QVERIFY(!other.open(notes) && other.errorString().startsWith(notes) &&
                readFile(notes) == "keep");

        // Raw mode: the carriage return in the code byte and the zeros arrive untranslated.
        std::optional<Wire> client(std::in_place, link);
        play(*client, "RM>OK @0:0D>EN");

        // A hang-up reopens the line on a fresh slave, where the link then points.
        QSignalSpy reopened(&pty, &sim::PtyTransport::reopened);
        m_headend->setFault({sim::Fault::Disconnect, -1, 1});
        play(*client, "@0:77>45");
        QVERIFY(client->read(1).isEmpty() && client->closed);
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

    void replay_data() { addRows(replayRows); }
    void replay()
    {
        const ReplayRow &r = fetchRow(replayRows);
        const QByteArray request = QByteArray::fromHex("000102030405060708090a0b");
        QByteArray received = request.left(r.requestBytes) + r.after;
        const QString lastLine = r.lastLine;
        const QString trace = m_dir.filePath("trace.jsonl");
        QVERIFY(writeFile(trace, R"({"t_ms":0,"dir":"rx","hex":"4f4b"}
{"t_ms":0,"dir":"tx","hex":"","meaning":{"size":0}}
{"t_ms":1,"dir":"tx","hex":"000102030405060708090a0b"}
{"t_ms":2,"dir":"rx","hex":"454e"}
{"t_ms":3,"dir":"tx","meaning":{"size":3,"sha1":"a9993e364706816aba3e25717850c26c9cd0d89d"}}
)" + QByteArray(r.lastTraceLine)));
        sim::Replay replay;
        QString error;
        if (!replay.load(trace, &error)) {
            QCOMPARE(error.section(": ", -1), lastLine);
            return;
        }
        auto match = sim::Replay::Match::Matches;
        while (!received.isEmpty() && match == sim::Replay::Match::Matches) {
            match = replay.match(received);
            if (match == sim::Replay::Match::Matches)
                replay.take(received);
        }
        QCOMPARE(replay.position(), r.taken);
        QCOMPARE(match == sim::Replay::Match::Differs, !lastLine.isEmpty());
        if (!lastLine.isEmpty())
            QCOMPARE(replay.mismatchReport(received).section('\n', -1), lastLine);
    }

    // Extremes survive a file round trip; a fault anywhere refuses everything and names its key.
    void stateFile()
    {
        const QJsonObject json = QJsonDocument::fromJson(R"({
            "identity": {"serial_number": -7, "controller_version": "1.02"},
            "diagnostics": {"status": "0102"}, "lan": {"ip": "10.1.2.3", "port": 65535},
            "channels": [{}, {"qam": 3, "tuner": {"status": 0}}, {}, {}, {}, {}, {}, {}, {}, {},
                {}, {}, {}, {}, {}, {"out_frequency": 858.25, "in_frequency": -32768,
                "service_mode": 128, "service_ids": [0, 65535], "tuner": {"data_rate": 51.5},
                "input_services": [{"name": "Caf\u00e9 TV", "id": 17}]}]})")
                                     .object();
        sim::DeviceState state, loaded;
        QString error;
        const QString path = m_dir.filePath("state.json");
        QVERIFY2(sim::loadState(json, state, &error) && sim::saveStateFile(path, state, &error) &&
                     sim::loadStateFile(path, loaded, &error),
                 qPrintable(error));
        QCOMPARE(sim::saveState(loaded), sim::saveState(state));
        const sim::Channel &last = loaded.channels[15];
        QVERIFY(loaded.identity.serialNumber == -7 && loaded.lan.port == 65535 &&
                last.outFrequency == 858.25f && last.inFrequency == -32768 &&
                last.inputServices[0].name == QString::fromUtf16(u"Caf\u00e9 TV"));
        // Defaults fill the rest.
        QVERIFY(loaded.channels[1].tuner.snrTenths == 105 && loaded.channels[0].qam == 5 &&
                loaded.lan.mask == (std::array<quint8, 4>{255, 255, 255, 0}));

        // clang-format off
        const QList<std::pair<const char *, QString>> invalid{
            {R"({"identity": {"serial": 5}})", "identity.serial"},
            {R"({"channels": [{"qam": 256}]})", "channels[0].qam"},
            {R"({"lan": {"port": 1}, "channels": [{"qam": 1}, {"lo_frequency": 40000}]})", "channels[1].lo_frequency"},
            {R"({"lan": {"port": 80.5}})", "lan.port"},
            {R"({"lan": {"mask": "255.255.0"}})", "lan.mask"},
            {R"({"identity": {"serial_number": 1, "device_type": "\u20ac"}})", "identity.device_type"},
            {R"({"diagnostics": {"status": "F50"}})", "diagnostics.status"},
            {R"({"channels": [{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{}]})", "channels"},
            {R"({"channels": [{"input_services": [{"name": "A", "idd": 1}]}]})", "channels[0].input_services[0].idd"}};
        // clang-format on
        for (const auto &[text, key] : invalid) {
            sim::DeviceState refused;
            QVERIFY(!sim::loadState(QJsonDocument::fromJson(text).object(), refused, &error));
            QVERIFY2(error.startsWith(key + ":"), qPrintable(error));
            QCOMPARE(sim::saveState(refused), sim::saveState(sim::DeviceState()));
        }
    }

    // A trace from elsewhere is refused at its first line that a replay can't play back; a
    // block size or digest taken on trust would have the replay read outside what arrived.
    void craftedTraces()
    {
        const QByteArray opening = R"({"t_ms":0,"dir":"tx","hex":"524d"})"
                                   "\n";
        const auto block = [](int size, const QString &sha1) {
            const QJsonObject meaning{{"kind", "upload-block"}, {"size", size}, {"sha1", sha1}};
            return QJsonDocument(QJsonObject{{"t_ms", 5}, {"dir", "tx"}, {"meaning", meaning}})
                .toJson(QJsonDocument::Compact);
        };
        const QString digest = QString(40, '0');
        // clang-format off
        const QList<std::pair<QByteArray, QString>> rows{
            {block(-5, digest), "line 2 gives a request of -5 bytes"},
            {block(0, digest), "line 2 gives a request of 0 bytes"},
            {block(65537, digest), "line 2 gives a request of 65537 bytes"},
            {block(4, "da39a3ee"), "line 2 gives no SHA-1 of its request"},
            {block(4, "za39a3ee5e6b4b0d3255bfef95601890afd80709"), "line 2 gives no SHA-1 of its request"},
            {R"({"t_ms":1,"dir":"tx","hex":"0g"})", "line 2 holds bytes that aren't hex"},
            {R"({"t_ms":2147483648,"dir":"rx","hex":"4f4b"})", "line 2 answers 2147483648 ms after its request, later than a replay can wait"},
        };
        // clang-format on
        const QString path = m_dir.filePath("crafted.jsonl");
        for (const auto &[line, expected] : rows) {
            sim::Replay replay;
            QString error;
            QVERIFY(writeFile(path, opening + line + '\n'));
            QVERIFY2(!replay.load(path, &error) && error == path + ": " + expected,
                     qPrintable(error));
        }
        // Played back, a summarised block matches by its size and digest alone (in either case),
        // and a request past the end of the recording differs.
        const QByteArray abcd = QCryptographicHash::hash("abcd", QCryptographicHash::Sha1).toHex();
        sim::Replay replay;
        QString error;
        QVERIFY(writeFile(path, opening + block(4, abcd.toUpper())));
        QVERIFY2(replay.load(path, &error) && replay.size() == 2, qPrintable(error));
        using M = sim::Replay::Match;
        const QList<std::pair<QByteArray, M>> received{
            {"R", M::Incomplete}, {"RX", M::Differs},   {"RM", M::Matches}, {"abc", M::Incomplete},
            {"abce", M::Differs}, {"abcd", M::Matches}, {"x", M::Differs}};
        for (auto [bytes, match] : received) {
            QVERIFY2(replay.match(bytes) == match, bytes.constData());
            if (match == M::Matches) {
                replay.take(bytes);
                QVERIFY(bytes.isEmpty());
            }
        }
        QVERIFY(replay.mismatchReport("x").startsWith(
            "replay: request 3 goes beyond the recording, which ends after 2 requests"));
    }
};

QList<TestSim::Row> TestSim::rows()
{
    const QByteArray image = QByteArray("KELDOR\0\xFF", 8).repeated(129).left(1025);
    QByteArrayList bulk;
    for (int ch = 0; ch < 8; ++ch)
        bulk.append((sim::bigEndianFloat(500.0f + ch) + sim::bigEndian16(11000 + ch) +
                     QByteArray::fromHex(ch == 2 ? "29686B6C1ADB01000301020300010201"
                                                 : "29686B6C1ADB01000301020300010000"))
                        .leftJustified(48, '\0'));
    const QByteArray stalled(1022, 'x');
    const quint16 port = freePort();
    // clang-format off
    return {
        {"openings, also after a close and in place of a read's N", "RM>OK RM>OK @0:50 RM>OK @0:7A>0001E240 RM>OK ?0:59>05"},
        {"numeric reads", "?0:7A>0001E240 ?4:52>FFFE ?2:51>43AD0000 ?1:69>42180000 ?1:61>00000929 "
                          "?2:59>05 ?3:60>0000 ?0:90>EA60 ?0:A3>02 ?0:80>39", [this] {
            state().channels[4].inFrequency = -2; state().channels[2].outFrequency = 346.0f;
            state().channels[3].tuner.status = 0; state().lan.port = 60000; state().identity.variant = 2;
        }},
        {"text reads: length, then characters", "@0:79>0A N>KELDOR_QAM N>EN @0:91>04 N>C0A80114 N>EN "
         "@0:7B>00 N N>EN~100", [this] { state().identity.hardwareVersion.clear(); }},
        // Read back after writing; the neighbours keep their values.
        {"writes decode their payload", "@2:03:43AD0000>EN @2:65:FFFE>EN @2:73:00>EN @0:8F:EA60>EN "
         "@0:8D:0A000207>EN ?2:51>43AD0000 ?2:52>FFFE ?2:57>00 ?0:90>EA60 @0:91>04 N>0A000207 N>EN "
         "?1:51>42F40000 ?3:57>01"},
        {"service lists follow the selected channel", "@3:02:03>EN ?0:0A>05 @0:0B:01>0B "
         "N>Service_4-2 N>EN ?0:0C:01>0FA1 ?0:12>8002 ?0:13:01>0FA3", [this] { state().channels[3].serviceMode = 128; state().channels[3].serviceIds = {4001, 4003}; }},
        {"selection built by codes", "@5:02:05>EN @5:0E:01>EN @5:0F:1771>EN @5:0F:FFFF>EN @5:10>EN "
         "@5:11>EN ?0:12>0102 ?0:13>1771 ?0:13:01>FFFF", [this] { state().channels[5].serviceIds = {1}; }},
        {"0xA0 in two steps, or one without IDs", "@7:02:07>EN @7:A0:8002>OK #1F41~100 #1F43>EN ?0:12>8002 "
         "?0:13:01>1F43 @7:A0:0000>OKEN ?0:12>0000"},
        {"bulk write covers the variant's channels", "@0:8A>G $0>G $1>G $2>G #00070102>G $3>G $4>G "
         "$5>G $6>G $7>EN~100 ?5:51>43FC8000 ?5:52>2AFD ?5:53>2968 ?5:54>6B6C ?5:55>1ADB ?5:56>01 "
         "?5:59>03 ?5:72>03 ?5:87>01 ?8:51>4479C000 @2:02:02>EN ?0:12>0102 ?0:13>0007 ?0:13:01>0102 "
         "@3:02:03>EN ?0:12>0000", [this] { state().identity.variant = 1; state().channels[8].outFrequency = 999.0f; }, {}, bulk},
        {"upload in blocks", "@0:84:00000401>OK $0>OK $1>OKEN", {}, [this, image] {
            const auto done = m_headend->transcript().constLast();
            QVERIFY(done.what == "controller" && m_headend->image(sim::UploadTarget::Controller) == image);
            QCOMPARE(done.sha256, QCryptographicHash::hash(image, QCryptographicHash::Sha256));
        }, {image.left(1024), image.mid(1024)}},
        // The device counts blocks in a signed 16-bit number and refuses more.
        {"upload of 32767 blocks", "@0:84:01FFFC00>OK $0>OK", {}, {}, {QByteArray(1024, 'x')}},
        {"upload of one byte more", "@0:84:01FFFC01~100 RM>OK"},
        // A stalled upload takes whatever comes next as image data, unless told to give up.
        {"stalled upload waits for ever", "@0:89:00000400>OK $0~2500 RM>OKEN", {}, {}, {stalled}},
        {"stalled upload given up when told to", "@0:89:00000400>OK $0~300 RM>OK",
         [this] { m_headend->setTiming({100ms, 200ms, 50ms, 300ms}); }, {}, {stalled}},
        // A block reaches the paced device only after an event due at half its wire time.
        {"throttle paces a block", "@0:84:00000400>OK $0>OKEN", [this] { m_headend->setThrottle(4000);
            QTimer::singleShot(1024 * 1000 / 4000 / 2 * 1ms, Qt::PreciseTimer, [this] { m_halfway = true; });
        }, [this] { QVERIFY(m_halfway); }, {QByteArray(1024, 'a')}},
        {"throttled answers come in pieces", "@0:79>FF N>" + QString(255, u'x') + " N>EN", [this] {
            state().identity.deviceType = QString(255, u'x'); m_headend->setThrottle(1000);
        }, [this] { QVERIFY2(m_client->pieces > 4, qPrintable(QString::number(m_client->pieces))); }},
        {"store ends after the flash delay", "@0:8B>OK~50 ->EN"},
        // The device comes back on its new port, its state kept.
        {"0x96 restarts", QString("@3:06:02>EN @0:8F:%1>EN @0:96>EN").arg(port, 4, 16, QChar('0')), {}, [this, port] {
            QSignalSpy restarted(&*m_tcp, &sim::TcpTransport::restarted);
            QVERIFY(m_client->read(1).isEmpty() && m_client->closed && restarted.wait(3000));
            play(m_client.emplace(port), "RM>OK ?3:59>02 ?0:9C>01");
        }},
        {"unknown codes and stray continues get no answer", "@0:EE N @0:50:01~100 RM>OK", {}, [this] {
            const auto heard = m_headend->transcript();
            QVERIFY(heard[0].kind == K::Unknown && heard[0].code() == 0xEE && heard[1].kind == K::StrayContinue);
        }},
        {"fault silent", "RM @0:77~200", fault(sim::Fault::Silent), [this] { QCOMPARE(m_headend->transcript().size(), 2); }},
        // Frames are not delayed: the frame's answer overtakes the openings' late "OK"s.
        {"fault late OK", "RM RM @0:77>ENOKOK", fault(sim::Fault::LateOk)},
        {"fault hits only its code", "RM>OK ?0:59>05 @0:52>A55A00FF1329F8", fault(sim::Fault::Garbage, 0x52)},
        {"fault skips frames of its code", "?0:59>05 @1:06:01>EN @1:06:02~150 ?1:59>01 @1:06:03>EN",
         fault(sim::Fault::DropAnswer, 0x06, 1, 1)},
        {"fault disconnect halfway", "@0:7A>0001", fault(sim::Fault::Disconnect, 0x7A), [this] {
            QVERIFY(m_client->read(1).isEmpty() && m_client->closed);
            play(m_client.emplace(m_tcp->port()), "RM>OK");
        }},
        {"fault babble", "@0:77>EN", fault(sim::Fault::Babble, 0x77, 1), [this] {
            const QByteArray babble = m_client->read(64 * 1024);
            QVERIFY(babble.size() == 64 * 1024 && !babble.contains("EN") && !babble.contains("OK"));
        }},
    };
    // clang-format on
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
