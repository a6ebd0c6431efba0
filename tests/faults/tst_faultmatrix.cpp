// Every way the headend or the network can let the core operations down: what the operator reads,
// no false success, nothing lost, and the next operation on a healthy headend works.
#include "core/features/channels/setsearch.h"
#include "core/features/services/serviceeditor.h"
#include "core/features/update/upload.h"
#include "core/model/devicetype.h"
#include "core/model/fullwrite.h"
#include "core/model/headendsettings.h"
#include "core/model/readunitdata.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"
#include "core/protocol/reconnect.h"

#include "datarows.h"
#include "files.h"
#include "recordingupdateview.h"
#include "sessionfixture.h"
#include "tinyproxy.h"

#include <QTemporaryDir>
#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;

class TestFaultMatrix;
namespace {

const QString sendError = "An error occured while sending, data may be lost\rPlease try again.";
const QString aborted = "Connection aborted!";
const QString reconnectFailed = "Reconnect to Headend failed, please try manually!";
const QString garbled = "The headend's answer was garbled; it was not used.\rPlease try again.";
const QString notEstablished = "Connection could not be established!";
const QString hostRefused = "Connection to host could not be established!";
const QString unchecked = "The settings were written, but the headend could not be read back to "
                          "check them.\rWhat it held before is saved in /b/backup.kdr.";

// A loopback peer that misbehaves in ways the simulator does not; answer(client, earlier, now).
struct FakePeer : QTcpServer {
    using Answer = std::function<void(QTcpSocket *, const QByteArray &, const QByteArray &)>;
    explicit FakePeer(Answer answer)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this, answer] {
            QTcpSocket *client = nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, client, [this, client, answer] {
                const QByteArray bytes = client->readAll();
                answer(client, received, bytes);
                received += bytes;
            });
        });
    }

    QByteArray received;
};

// A headend that floods the line with noise at the opening, or from the first frame on.
FakePeer::Answer flood(bool atOpening)
{
    return [atOpening](QTcpSocket *client, const QByteArray &, const QByteArray &bytes) {
        client->write(!atOpening && bytes.endsWith("RM") ? QByteArray("OK")
                                                         : QByteArray(4 * Exchange::rxLimit, 'x'));
    };
}

// Answers lost, and how often the read asked again (-1: very often). Where the late answer lands
// is up to the loopback: in a pause it is dropped, beside another answer it garbles that one,
// which is then not used either; a read that completes holds the headend's values.
// clang-format off
struct LossRow { const char *name; sim::FaultPlan fault; QStringList texts; int repeats; }
const lossRows[] = {
    {"every third answer lost", {.fault = sim::Fault::DropAnswer, .every = 3}, {}, -1},
    {"one request lost twice", {sim::Fault::DropAnswer, param::readInFrequency, 2}, {aborted}, 1},
    {"late answer after its repeat", {sim::Fault::LateAnswer, param::readInFrequency, 1, 2, 55ms}, {garbled}, 1},
};
// clang-format on

enum class Start { Idle, Lan, LanRead, Pty };

// Runs the operation into the fault, sets m_succeeded and checks that nothing was lost.
using Scenario = void (*)(TestFaultMatrix &);

// name, the operator's texts, what it opens, the fault, the operation
using Row = std::tuple<const char *, QStringList, Start, sim::FaultPlan, Scenario>;

} // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_f.emplace();
        exchange().setSerialSelected(false);
        QVERIFY(m_f->sim.listen());
        m_f->sim.headend.setTiming(
            {.rawTimeout = 300ms, .restartDrop = 20ms, .restartDelay = 300ms});
        m_unit = {};
        m_succeeded = false;
    }
    void matrix_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < rows().size(); ++i)
            QTest::newRow(std::get<0>(rows().at(i))) << i;
    }
    void matrix()
    {
        QFETCH(int, row);
        const auto [name, texts, start, fault, run] = rows().at(row);
        if (start != Start::Idle)
            QVERIFY(start == Start::Pty ? connectPty() : connectLan());
        if (start == Start::LanRead)
            QVERIFY(readUnit());
        const auto delay = 3 * m_f->session.timing.sessionOpenLimit / 2;
        m_f->sim.headend.setFault({fault.fault, fault.code, fault.count, fault.skip, delay});
        run(*this);
        if (QTest::currentTestFailed())
            return;
        RecordingUi &ui = m_f->ui;
        QVERIFY(!m_succeeded);
        QCOMPARE(ui.texts(), texts);
        QVERIFY(!ui.progressLabels.join('\n').contains("success", Qt::CaseInsensitive));
        QVERIFY(!ui.progressShown && ui.busyDepth == 0 && ui.mainWindowEnabled);
        // Not stuck: with the fault gone, the operator connects again and reads the headend.
        m_f->sim.headend.setFault({});
        ui.clear();
        if (exchange().serialSelected())
            QVERIFY(connectPty());
        else if (!m_f->session.lan.isConnected())
            QVERIFY(connectLan());
        QCOMPARE(read(), 123456);
        QVERIFY(readUnit());
        QCOMPARE(ui.texts(), QStringList());
    }

    // A read whose answer is lost is asked once more: a link that loses every third answer
    // still reads the whole headend, a request lost twice fails as before, and an answer that
    // comes after its repeat is never taken for the next request's.
    void lostAnswersAreAskedAgain_data() { addRows(lossRows); }
    void lostAnswersAreAskedAgain()
    {
        const auto &[name, fault, expected, repeats] = fetchRow(lossRows);
        QStringList texts = expected;
        m_f->session.timing = withoutSendPause();
        m_f->session.timing.answerLimit = 40ms;
        m_f->sim.headend.state().identity.variant = *sim::variantForChannelCount(16);
        QVERIFY(connectLan() && readUnit());
        const UnitData lossFree = m_unit;
        QCOMPARE(lossFree.maxChannel, 15);
        m_f->sim.headend.setFault(fault);
        m_unit = {};
        m_succeeded = readUnit();
        // A late answer may also leave the next wait short of its own.
        if (fault.fault == sim::Fault::LateAnswer && !m_succeeded && m_f->ui.texts() != texts)
            texts = QStringList{aborted};
        QCOMPARE(m_f->ui.texts(), m_succeeded ? QStringList() : texts);
        QCOMPARE(m_succeeded, m_f->ui.texts().isEmpty());
        if (repeats >= 0)
            QCOMPARE(exchange().repeats(), repeats);
        else
            QVERIFY(exchange().repeats() > 80);
        if (m_succeeded) {
            QVERIFY(m_unit.channels == lossFree.channels);
            QCOMPARE(m_unit.channelDataRate, lossFree.channelDataRate);
            QCOMPARE(m_unit.identity.serialNumber, lossFree.identity.serialNumber);
        }
        // The late answer has come by now; the next reads take their own.
        QTest::qWait(int(fault.delay.count()));
        m_f->sim.headend.setFault({});
        m_unit = {};
        QVERIFY(readUnit() && m_unit.channels == lossFree.channels);
    }

private:
    static QList<Row> rows();
    Exchange &exchange() { return m_f->exchange(); }
    LanTarget target(const QString &port = {}, quint16 proxy = 0)
    {
        const QString direct = port.isEmpty() ? m_f->sim.portText() : port;
        return {"Rack 7",         "127.0.0.1", direct,
                short(proxy > 0), "127.0.0.1", QString::number(proxy)};
    }
    bool connectLan(const QString &port = {}) { return lanConnect(m_f->session, target(port)); }
    bool viaProxy(quint16 port) { return lanConnect(m_f->session, target({}, port)); }
    bool connectPty()
    {
        return m_f->sim.offerPty(m_f->session) && checkDevicePresent(m_f->session);
    }
    // What a read of a parameter leaves in a value that held 42 before.
    int read(int code = 0x7A)
    {
        ParamValue value;
        value.number = 42;
        readParameter(exchange(), 0, code, 0, value);
        return value.toInt();
    }
    bool readUnit()
    {
        return checkDeviceType(exchange(), m_unit) && readUnitData(exchange(), m_unit);
    }
    // Sets the second channel; a set that fails must leave its record as it was.
    bool setChannel()
    {
        const float frequency = m_unit.channel(1).outFrequency;
        const bool done = keldor::setChannel(exchange(), m_unit, 1, {"474", 2, "6900"});
        return done || m_unit.channel(1).outFrequency != frequency;
    }
    bool upload()
    {
        const QString image = m_dir.filePath("KELDOR_FW_9.99.UC3");
        RecordingUpdateView view;
        return !writeFile(image, QByteArray(3000, 'F')) ||
               updateFw(m_f->session, view, image) == UploadResult::Succeeded;
    }
    // The flood after the "OK" ends the resend loop at its first wait: one frame, no resend.
    void intoFlood(bool (TestFaultMatrix::*operation)())
    {
        FakePeer flooding(flood(false));
        QVERIFY(connectLan(QString::number(flooding.serverPort())));
        m_succeeded = (this->*operation)();
        QCOMPARE(flooding.received.size(), 2 + 10);
        m_f->session.lan.close();
    }

    std::optional<SessionFixture> m_f;
    QTemporaryDir m_dir;
    UnitData m_unit;
    bool m_succeeded = false;
};

QList<Row> TestFaultMatrix::rows()
{
    using enum sim::Fault;
    using T = TestFaultMatrix;
    // clang-format off
    return {
        // The whole opening window is tried, not just its first attempt.
        {"silent headend at connect", {notEstablished}, Start::Idle, {Silent}, [](T &t) {
            t.m_succeeded = t.connectLan() || t.m_f->session.lan.isConnected();
            QVERIFY(t.m_f->sim.count(sim::TranscriptEntry::Kind::Open) >= 3); }},
        {"silent headend mid-session", {aborted}, Start::Lan, {Silent}, [](T &t) { t.m_succeeded = t.read() != 42; }},
        // The stray "OK" comes after the client gave up; it is not taken for a later answer.
        {"late OK on the serial line", {"No Device found!\r\nPlease check connection (LED beneath USB-Port permanently green)\r\nand try again."}, Start::Idle, {LateOk}, [](T &t) {
            t.m_succeeded = t.connectPty();
            QTest::qWait(t.m_f->sim.headend.fault().delay.count()); }},
        {"dropped answer: device type", {aborted}, Start::Lan, {DropAnswer, 0x78}, [](T &t) {
            t.m_succeeded = checkDeviceType(t.exchange(), t.m_unit) || t.m_unit.maxChannel != UnitData().maxChannel
                            || t.m_unit.deviceVariant != UnitData().deviceVariant; }},
        // Every attempt within the resend window waits for its "EN" in vain.
        {"dropped acknowledge: set", {aborted, aborted, sendError}, Start::LanRead, {DropAnswer, 0x03}, [](T &t) {
            t.m_succeeded = t.setChannel();
            QCOMPARE(t.m_f->ui.messages.value(2).title, "Error 3"); }},
        // Each answer comes just before its wait runs out: only the operation's deadline ends the
        // read, naming where it was, and the link is let go at once.
        {"slow headend over the deadline", {aborted}, Start::Lan, {}, [](T &t) {
            const milliseconds answerLimit = t.m_f->session.timing.answerLimit;
            t.m_f->sim.headend.setFault({Slow, -1, -1, 0, 3 * answerLimit / 4});
            OperationDeadline &deadline = t.exchange().deadline();
            deadline.start(5 * answerLimit / 2);
            Configuration config;
            t.m_succeeded = readConfiguration(t.exchange(), config);
            QCOMPARE(deadline.timedOutText(), "timed out after 1 s during identity");
            QVERIFY(deadline.hasExpired() && !t.m_f->session.lan.isOpen());
            QCOMPARE(t.m_f->sim.count(sim::TranscriptEntry::Kind::Frame), 2);
            deadline.stop(); }},
        {"garbage before an answer", {garbled}, Start::Lan, {Garbage, 0x7A}, [](T &t) { t.m_succeeded = t.read() != 42; }},
        // The answer may pass; the flood fails the next read; only a new connection ends it.
        {"babbling headend", {garbled}, Start::Lan, {Babble, 0x7A, 1}, [](T &t) {
            t.m_succeeded = t.read() != 42;
            QVERIFY(t.exchange().heldBytes() <= Exchange::rxLimit);
            t.m_f->session.lan.close(); }},
        // One opening, not one for every wait the flood ends at once; bounded reads.
        {"babbling headend at connect", {notEstablished}, Start::Idle, {}, [](T &t) {
            FakePeer flooding(flood(true));
            qint64 largest = 0;
            QObject watch;
            connect(&t.m_f->session.lan, &Link::received, &watch, [&](const QByteArray &bytes) { largest = qMax(largest, bytes.size()); });
            t.m_succeeded = t.connectLan(QString::number(flooding.serverPort()));
            QCOMPARE(flooding.received, "RM");
            QVERIFY(largest > 0 && largest <= LanLink::inputBufferSize); }},
        {"babbling headend during set", {aborted, sendError}, Start::Idle, {}, [](T &t) {
            t.intoFlood(&T::setChannel);
            QCOMPARE(t.m_f->ui.messages.value(1).title, "Error 2"); }},
        {"babbling headend during upload", {sendError}, Start::Idle, {}, [](T &t) { t.intoFlood(&T::upload); }},
        // A write into the dropped link fails once with its message and is not resent for ever.
        {"disconnect: read, then a write", {aborted, aborted, sendError}, Start::Lan, {Disconnect, 0x7A}, [](T &t) {
            t.m_succeeded = t.read() != 42;
            QVERIFY(!t.m_f->ui.keepAliveRunning);
            t.m_succeeded = t.m_succeeded || setParameter(t.exchange(), 0, 0x74, qint64(0)); }},
        // The link drops at the QAM of the fifth channel: the first is read, the seventh untouched.
        {"disconnect: full read", {aborted}, Start::LanRead, {Disconnect, 0x59, 1, 4}, [](T &t) {
            t.m_unit.channel(6).outFrequency = 999.0f;
            t.m_unit.channel(0).outFrequency = 1.0f;
            t.m_succeeded = readUnitData(t.exchange(), t.m_unit);
            QVERIFY(t.m_unit.channel(0).outFrequency == t.m_f->sim.headend.state().channels[0].outFrequency
                    && t.m_unit.channel(6).outFrequency == 999.0f); }},
        {"disconnect: full write", {aborted}, Start::LanRead, {Disconnect, param::bulkWrite}, [](T &t) {
            const UnitData before = t.m_unit;
            t.m_unit.channel(0).outFrequency = 500.0f;
            t.m_succeeded = saveUnitData(t.exchange(), t.m_unit, true);
            QVERIFY(t.m_unit.channel(1).outFrequency == before.channel(1).outFrequency
                    && t.m_unit.channel(0).outFrequency == 500.0f); }},
        // The link drops while the headend is read back after a full write (at the fourth
        // channel): the write is done, but nothing says the headend holds it.
        {"disconnect: check after a full write", {aborted, unchecked}, Start::LanRead, {Disconnect, 0x52, 1, 3}, [](T &t) {
            t.m_unit.channel(0).outFrequency = 500.0f;
            QVERIFY(saveUnitData(t.exchange(), t.m_unit, true));
            QCOMPARE(t.m_f->sim.headend.state().channels[0].outFrequency, 500.0f);
            t.m_f->ui.progressLabels.clear(); // the write's own word, not the check's
            t.m_succeeded = verifyWrite(t.exchange(), t.m_unit, "/b/backup.kdr").has_value(); }},
        // One start frame: nothing is resent into the dropped link.
        {"disconnect: upload", {sendError}, Start::Lan, {Disconnect, 0x84}, [](T &t) {
            t.m_succeeded = t.upload();
            QCOMPARE(t.m_f->ui.messages.first().title, "Update Error");
            QCOMPARE(t.m_f->sim.frames(0x84).size(), 1);
            QVERIFY(t.m_f->sim.headend.image(sim::UploadTarget::Controller).isEmpty()); }},
        // Three listed, two others chosen, the drop after the first: never the old count.
        {"disconnect: service list send", {aborted, sendError}, Start::LanRead, {}, [](T &t) {
            ServiceListEditor editor(t.exchange(), t.m_unit, 2);
            QVERIFY(editor.fill() && editor.input().size() >= 4);
            ChannelRecord &record = t.m_unit.channel(2);
            record.serviceMode = servicemode::listed;
            record.serviceCount = 3;
            record.serviceIds = {editor.input().at(0).id, editor.input().at(1).id, editor.input().at(2).id};
            editor.removeAll();
            editor.addInput(3);
            editor.addInput(1);
            t.m_f->sim.headend.setFault({Disconnect, param::selectionId, 1, 1});
            t.m_succeeded = editor.save() == ServiceListEditor::SaveResult::Sent;
            QVERIFY(record.serviceMode == servicemode::listed && record.serviceCount == 1
                    && record.serviceIds[0] == editor.input().at(3).id); }},
        // The drop after the first input service: no selection is taken from a list half read.
        {"disconnect: service list fill", {aborted}, Start::LanRead, {Disconnect, param::inputName, 1, 1}, [](T &t) {
            ServiceListEditor editor(t.exchange(), t.m_unit, 2);
            t.m_succeeded = editor.fill() || !editor.output().isEmpty(); }},
        {"disconnect: serial line", {aborted}, Start::Pty, {Disconnect, 0x7A, 1}, [](T &t) { t.m_succeeded = t.read() != 42; }},
        {"restart outlasts the reconnect", {reconnectFailed}, Start::Lan, {}, [](T &t) {
            t.m_f->sim.headend.setTiming({.rawTimeout = 300ms, .restartDrop = 20ms, .restartDelay = t.m_f->session.timing.reconnectLimit + 300ms});
            QVERIFY(setParameter(t.exchange(), 0, 0x96, qint64{0}));
            t.m_succeeded = waitForRestart(t.m_f->session, t.target(), {}) || t.m_f->session.lan.isConnected();
            QTRY_VERIFY_WITH_TIMEOUT(t.m_f->sim.headend.isOnline(), 3000); }},
        // A port that is no number is tried as none; nobody listening ends the same way.
        {"reconnect: port not a number", {reconnectFailed}, Start::Lan, {}, [](T &t) {
            t.m_succeeded = waitForRestart(t.m_f->session, t.target("4O000"), {}); }},
        {"reconnect: nobody listening", {reconnectFailed}, Start::Lan, {}, [](T &t) {
            t.m_succeeded = waitForRestart(t.m_f->session, t.target(QString::number(freePort())), {}); }},
        {"proxy down", {"Connection to proxy server could not be established!"}, Start::Idle, {}, [](T &t) {
            t.m_succeeded = t.viaProxy(freePort());
            QCOMPARE(t.m_f->sim.count(sim::TranscriptEntry::Kind::Open), 0); }},
        // Only some other port may be tunnelled, so tinyproxy answers 403.
        {"proxy refuses CONNECT", {hostRefused}, Start::Idle, {}, [](T &t) {
            TinyProxy proxy;
            QString error;
            QVERIFY2(proxy.start({freePort()}, &error), qPrintable(error));
            t.m_succeeded = t.viaProxy(proxy.port());
            QCOMPARE(t.m_f->sim.count(sim::TranscriptEntry::Kind::Open), 0); }},
        // A proxy that grants every tunnel and hangs up at once, as an overloaded one may.
        {"proxy closes the tunnel", {notEstablished}, Start::Idle, {}, [](T &t) {
            FakePeer proxy([](QTcpSocket *client, const QByteArray &earlier, const QByteArray &bytes) {
                if ((earlier + bytes).contains("\r\n\r\n")) {
                    client->write("HTTP/1.1 200 Connection established\r\n\r\n");
                    client->flush();
                    client->disconnectFromHost();
                } });
            t.m_succeeded = t.viaProxy(proxy.serverPort()) || t.m_f->session.lan.isConnected(); }},
        // A client that sent "RM" into the unfinished header would take its "OK" for the answer.
        {"proxy header in pieces", {hostRefused}, Start::Idle, {}, [](T &t) {
            FakePeer proxy([](QTcpSocket *client, const QByteArray &earlier, const QByteArray &bytes) {
                if (earlier.contains("\r\n\r\n"))
                    client->write(" OK");
                else if ((earlier + bytes).contains("\r\n\r\n"))
                    client->write("HTTP/1.1 200"); });
            t.m_succeeded = t.viaProxy(proxy.serverPort());
            QVERIFY(!proxy.received.contains("RM")); }},
    };
    // clang-format on
}

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
