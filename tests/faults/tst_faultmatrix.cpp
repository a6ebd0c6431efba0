// Every way the headend or the network can let the program down, driven through the real core
// operations: each row says what the operator must read, and afterwards nothing may claim
// success, nothing may be lost, and the next operation on a healthy headend must work.
#include "channels/channeltextsview.h"
#include "channels/setsearch.h"
#include "link/reconnect.h"
#include "protocol/devicetype.h"
#include "protocol/fullwrite.h"
#include "protocol/parameters.h"
#include "protocol/readunitdata.h"
#include "services/serviceeditor.h"
#include "update/upload.h"

#include "files.h"
#include "recordingupdateview.h"
#include "sessionfixture.h"
#include "tinyproxy.h"

#include <QTemporaryDir>
#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

const QString sendError =
    QStringLiteral("An error occured while sending, data may be lost\rPlease try again.");
const QString aborted = QStringLiteral("Connection aborted!");
const QString garbled =
    QStringLiteral("The headend's answer was garbled; it was not used.\rPlease try again.");
const QString notEstablished = QStringLiteral("Connection could not be established!");
const QString hostRefused = QStringLiteral("Connection to host could not be established!");
const QString noDevice = QStringLiteral("No Device found!\r\nPlease check connection (LED beneath "
                                        "USB-Port permanently green)\r\nand try again.");

// A loopback peer that misbehaves in ways the simulator does not: answer gets what came before
// and what came now, and replies on the socket.
class FakePeer : public QTcpServer {
public:
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
    QString portText() const { return QString::number(serverPort()); }

    QByteArray received;
};

// A headend that floods the line with noise instead of answering: at the opening, or only from
// the first frame on after an ordinary "OK".
FakePeer::Answer flood(bool atOpening)
{
    return [atOpening](QTcpSocket *client, const QByteArray &, const QByteArray &bytes) {
        client->write(!atOpening && bytes.endsWith("RM") ? QByteArray("OK")
                                                         : QByteArray(4 * Exchange::rxLimit, 'x'));
    };
}

OutputSettings channelSettings()
{
    OutputSettings settings;
    settings.out_frequency = QStringLiteral("474");
    settings.qam_code = 2;
    settings.out_symbolrate = QStringLiteral("6900");
    return settings;
}

} // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT

public:
    // Runs one operation into a fault, sets m_succeeded from what it returned and checks that
    // nothing was lost.
    using Scenario = void (*)(TestFaultMatrix &);

private slots:
    void init();
    void matrix_data();
    void matrix();

private:
    Exchange &exchange() { return m_f->exchange(); }
    bool connectLan(const QString &port = {});
    bool viaProxy(quint16 proxyPort);
    bool connectPty();
    void readUnit();
    void plan(sim::Fault fault, int code = -1, int count = -1, int skip = 0);
    QString image(const QString &name, const QByteArray &bytes);
    void checkUsable();

    std::optional<SessionFixture> m_f;
    QTemporaryDir m_dir;
    UnitData m_unit;
    LanTarget m_target;
    bool m_succeeded = false;
    bool m_overPty = false;
};

Q_DECLARE_METATYPE(TestFaultMatrix::Scenario)

void TestFaultMatrix::init()
{
    m_f.emplace();
    exchange().setSerialSelected(false);
    QVERIFY(m_f->sim.listen());
    sim::Timing simTiming;
    simTiming.rawTimeout = 300ms;
    simTiming.restartDrop = 20ms;
    simTiming.restartDelay = 300ms;
    m_f->sim.headend.setTiming(simTiming);
    m_unit = {};
    m_target = {};
    m_target.name = QStringLiteral("Rack 7");
    m_target.ip = QStringLiteral("127.0.0.1");
    m_target.port = m_f->sim.portText();
    m_succeeded = false;
    m_overPty = false;
}

void TestFaultMatrix::matrix_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QStringList>("texts");
    const auto row = [](const char *name, const QStringList &texts, Scenario scenario) {
        QTest::newRow(name) << scenario << texts;
    };
    row("silent headend at connect", {notEstablished}, [](TestFaultMatrix &t) {
        t.plan(sim::Fault::Silent);
        t.m_succeeded = t.connectLan();
        QVERIFY(!t.m_f->session.lan.isConnected());
        // The whole opening window was tried, not just its first attempt.
        QVERIFY(t.m_f->sim.count(sim::TranscriptEntry::Kind::Open) >= 3);
    });
    row("silent headend mid-session", {aborted}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        t.plan(sim::Fault::Silent);
        ParamValue value;
        t.m_succeeded = read_parameter(t.exchange(), 0, 0x7A, 0, value);
    });
    row("late OK on the serial line", {noDevice}, [](TestFaultMatrix &t) {
        // The "OK" comes after the client gave up; the port must still be found again
        // afterwards, and the stray "OK" must not be taken for a later answer.
        t.plan(sim::Fault::LateOk);
        t.m_succeeded = t.connectPty();
        QTest::qWait(t.m_f->sim.headend.fault().delay.count());
    });
    row("dropped answer: device type", {aborted}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        const UnitData before = t.m_unit;
        t.plan(sim::Fault::DropAnswer, 0x78);
        t.m_succeeded = check_devicetype(t.exchange(), t.m_unit);
        QCOMPARE(t.m_unit.max_channel, before.max_channel);
        QCOMPARE(t.m_unit.device_variant, before.device_variant);
    });
    // Every attempt within the resend window waits for its "EN" in vain.
    row("dropped acknowledge: set", {aborted, aborted, sendError}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        t.readUnit();
        const float frequency = t.m_unit.channel(1).out_frequency;
        t.plan(sim::Fault::DropAnswer, 0x03);
        t.m_succeeded = set_channel(t.exchange(), t.m_unit, 1, channelSettings());
        QCOMPARE(t.m_unit.channel(1).out_frequency, frequency);
        QCOMPARE(t.m_f->ui.messages.value(2).title, QStringLiteral("Error 3"));
    });
    row("garbage before an answer", {garbled}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        t.plan(sim::Fault::Garbage, 0x7A);
        ParamValue value;
        value.number = 42;
        t.m_succeeded = read_parameter(t.exchange(), 0, 0x7A, 0, value);
        QCOMPARE(value.number, 42.0);
    });
    row("babbling headend", {garbled}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        t.plan(sim::Fault::Babble, 0x7A, 1);
        ParamValue value;
        // The answer itself may still come through; the flood starts behind it and must make
        // the next read fail, whenever its first bytes arrive.
        read_parameter(t.exchange(), 0, 0x7A, 0, value);
        t.m_f->ui.clear();
        QTest::qWait(50);
        value.number = 42;
        t.m_succeeded = read_parameter(t.exchange(), 0, 0x59, 0, value);
        QCOMPARE(value.number, 42.0);
        QVERIFY(t.exchange().rx_buffer().size() <= Exchange::rxLimit);
        // The program keeps the connection; only a new one gets rid of the flood, which is what
        // the operator does through the LAN item.
        t.m_f->session.lan.close();
    });
    row("babbling headend at connect", {notEstablished}, [](TestFaultMatrix &t) {
        FakePeer flooding(flood(true));
        qint64 largestRead = 0;
        QObject watch;
        connect(&t.m_f->session.lan, &Link::received, &watch,
                [&](const QByteArray &bytes) { largestRead = qMax(largestRead, bytes.size()); });
        t.m_succeeded = t.connectLan(flooding.portText());
        // One opening, not one for every wait that the flood ends at once.
        QCOMPARE(flooding.received, QByteArray("RM"));
        // The socket hands the flood over in bounded reads.
        QVERIFY(largestRead > 0 && largestRead <= LanLink::inputBufferSize);
    });
    // The flood ends the resend loop at its first wait instead of failing every resend.
    row("babbling headend during set", {aborted, sendError}, [](TestFaultMatrix &t) {
        FakePeer flooding(flood(false));
        QVERIFY(t.connectLan(flooding.portText()));
        const float frequency = t.m_unit.channel(1).out_frequency;
        t.m_succeeded = set_channel(t.exchange(), t.m_unit, 1, channelSettings());
        QCOMPARE(t.m_unit.channel(1).out_frequency, frequency);
        QCOMPARE(t.m_f->ui.messages.value(1).title, QStringLiteral("Error 2"));
        // The channel selection went out once; nothing was resent into the flood.
        QCOMPARE(flooding.received.size(), 2 + 10);
        t.m_f->session.lan.close();
    });
    row("babbling headend during upload", {sendError}, [](TestFaultMatrix &t) {
        FakePeer flooding(flood(false));
        QVERIFY(t.connectLan(flooding.portText()));
        RecordingUpdateView view;
        const QString image = t.image(QStringLiteral("KELDOR_FW_9.99.UC3"), QByteArray(3000, 'F'));
        t.m_succeeded = update_fw(t.m_f->session, view, image) == UploadResult::Succeeded;
        // One start frame: no attempt follows into the flood.
        QCOMPARE(flooding.received.size(), 2 + 10);
        t.m_f->session.lan.close();
    });
    row("disconnect: read, then a write", {aborted, aborted, sendError}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        t.plan(sim::Fault::Disconnect, 0x7A);
        ParamValue value;
        t.m_succeeded = read_parameter(t.exchange(), 0, 0x7A, 0, value);
        QVERIFY(!t.m_f->ui.keepAliveRunning);
        // A write into the dropped link fails once with its message and is not resent forever.
        t.m_succeeded = t.m_succeeded || set_parameter(t.exchange(), 0, 0x74, qint64(0));
    });
    row("disconnect: full read", {aborted}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        QVERIFY(check_devicetype(t.exchange(), t.m_unit));
        t.m_unit.channel(6).out_frequency = 999.0f;
        t.plan(sim::Fault::Disconnect, 0x59, 1, 4); // the QAM of the fifth channel
        ChannelTextsView view;
        t.m_succeeded = read_unit_data(t.exchange(), t.m_unit, view);
        QCOMPARE(t.m_unit.channel(0).out_frequency,
                 t.m_f->sim.headend.state().channels[0].outFrequency);
        QCOMPARE(t.m_unit.channel(6).out_frequency, 999.0f); // not reached: keeps its old value
    });
    row("disconnect: full write", {aborted}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        t.readUnit();
        const UnitData before = t.m_unit;
        t.m_unit.channel(0).out_frequency = 500.0f;
        t.plan(sim::Fault::Disconnect, bulkWriteCode);
        t.m_succeeded = save_unit_data(t.exchange(), t.m_unit, true);
        QCOMPARE(t.m_unit.channel(1).out_frequency, before.channel(1).out_frequency);
        QCOMPARE(t.m_unit.channel(0).out_frequency, 500.0f);
    });
    row("disconnect: upload", {sendError}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        const QString image = t.image(QStringLiteral("KELDOR_FW_9.99.UC3"), QByteArray(3000, 'F'));
        t.plan(sim::Fault::Disconnect, 0x84);
        RecordingUpdateView view;
        t.m_succeeded = update_fw(t.m_f->session, view, image) == UploadResult::Succeeded;
        QCOMPARE(t.m_f->ui.messages.first().title, QStringLiteral("Update Error"));
        QVERIFY(t.m_f->sim.headend.image(sim::UploadTarget::Controller).isEmpty());
    });
    row("disconnect: service list send", {aborted, sendError}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        t.readUnit();
        constexpr int channel = 2;
        ServiceListEditor editor(t.exchange(), t.m_unit, channel);
        QVERIFY(editor.fill());
        QVERIFY(editor.input().size() >= 4);
        // The record lists three services; the new selection two others, and the line drops
        // after the first of them reached the headend.
        ChannelRecord &record = t.m_unit.channel(channel);
        record.service_mode = servicemode::listed;
        record.service_count = 3;
        record.service_ids = {};
        for (int i = 0; i < 3; ++i)
            record.service_ids[static_cast<size_t>(i)] = editor.input().at(i).id;
        editor.removeAll();
        editor.addInput(3);
        editor.addInput(1);
        t.plan(sim::Fault::Disconnect, servicecode::selectionId, 1, 1);
        t.m_succeeded = editor.save() == ServiceListEditor::SaveResult::Sent;
        // Whatever the record holds now must be a list the headend was given: never the old
        // count over new IDs.
        QCOMPARE(record.service_mode, servicemode::listed);
        QCOMPARE(record.service_count, quint8(1));
        QCOMPARE(record.service_ids[0], editor.input().at(3).id);
    });
    row("disconnect: serial line", {aborted}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectPty());
        t.plan(sim::Fault::Disconnect, 0x7A, 1);
        ParamValue value;
        t.m_succeeded = read_parameter(t.exchange(), 0, 0x7A, 0, value);
    });
    row("restart outlasts the reconnect",
        {QStringLiteral("Reconnect to Headend failed, please try manually!")},
        [](TestFaultMatrix &t) {
            QVERIFY(t.connectLan());
            sim::Timing timing = t.m_f->sim.headend.timing();
            timing.restartDelay = t.m_f->session.timing.reconnectLimit + 300ms;
            t.m_f->sim.headend.setTiming(timing);
            QVERIFY(set_parameter(t.exchange(), 0, 0x96, qint64{0}));
            t.m_succeeded = wait_for_restart(t.m_f->session, t.m_target, {});
            QVERIFY(!t.m_f->session.lan.isConnected());
            // The headend comes back a little later; the operator reconnects by hand.
            QTRY_VERIFY_WITH_TIMEOUT(t.m_f->sim.headend.isOnline(), 3000);
        });
    row("restart during the reconnect", {}, [](TestFaultMatrix &t) {
        QVERIFY(t.connectLan());
        QVERIFY(set_parameter(t.exchange(), 0, 0x96, qint64{0}));
        QVERIFY(wait_for_restart(t.m_f->session, t.m_target, {}));
        QVERIFY(t.m_f->ui.texts().isEmpty());
        // Only now is the session open; the fault is the restart itself.
        QVERIFY(t.connectLan());
    });
    row("proxy down", {QStringLiteral("Connection to proxy server could not be established!")},
        [](TestFaultMatrix &t) {
            t.m_succeeded = t.viaProxy(freePort());
            QCOMPARE(t.m_f->sim.count(sim::TranscriptEntry::Kind::Open), 0);
        });
    row("proxy refuses CONNECT", {hostRefused}, [](TestFaultMatrix &t) {
        // Only some other port may be tunnelled, so tinyproxy answers 403.
        TinyProxy proxy;
        QString error;
        QVERIFY2(proxy.start({freePort()}, &error), qPrintable(error));
        t.m_succeeded = t.viaProxy(proxy.port());
        QCOMPARE(t.m_f->sim.count(sim::TranscriptEntry::Kind::Open), 0);
    });
    // A proxy that grants every tunnel and then hangs up at once, as an overloaded one may.
    row("proxy closes the tunnel", {notEstablished}, [](TestFaultMatrix &t) {
        FakePeer proxy([](QTcpSocket *client, const QByteArray &earlier, const QByteArray &bytes) {
            if (!(earlier + bytes).contains("\r\n\r\n"))
                return;
            client->write("HTTP/1.1 200 Connection established\r\n\r\n");
            client->flush();
            client->disconnectFromHost();
        });
        t.m_succeeded = t.viaProxy(proxy.serverPort());
        QVERIFY(!t.m_f->session.lan.isConnected());
    });
    // A proxy that sends its reply header in pieces: the status line at once, the rest only
    // when the client sends more. A client that took the status line for the whole header would
    // send "RM" and take the header's next word, "OK", for the headend's answer.
    row("proxy header in pieces", {hostRefused}, [](TestFaultMatrix &t) {
        FakePeer proxy([](QTcpSocket *client, const QByteArray &earlier, const QByteArray &bytes) {
            if (earlier.contains("\r\n\r\n"))
                client->write(" OK");
            else if ((earlier + bytes).contains("\r\n\r\n"))
                client->write("HTTP/1.1 200");
        });
        t.m_succeeded = t.viaProxy(proxy.serverPort());
        // The handshake never started inside an unfinished header.
        QVERIFY(!proxy.received.contains("RM"));
    });
}

void TestFaultMatrix::matrix()
{
    QFETCH(Scenario, scenario);
    QFETCH(QStringList, texts);
    scenario(*this);
    if (QTest::currentTestFailed())
        return;
    RecordingUi &ui = m_f->ui;
    QVERIFY(!m_succeeded);
    QCOMPARE(ui.texts(), texts);
    for (const QString &label : std::as_const(ui.progressLabels))
        QVERIFY2(!label.contains(QLatin1String("success"), Qt::CaseInsensitive), qPrintable(label));
    QVERIFY(!ui.progressShown);
    QCOMPARE(ui.busyDepth, 0);
    QVERIFY(ui.mainWindowEnabled);
    checkUsable();
}

bool TestFaultMatrix::connectLan(const QString &port)
{
    LanTarget target = m_target;
    if (!port.isEmpty())
        target.port = port;
    return lan_connect(m_f->session, target);
}

bool TestFaultMatrix::viaProxy(quint16 proxyPort)
{
    LanTarget target = m_target;
    target.proxy_use = 1;
    target.proxy_ip = QStringLiteral("127.0.0.1");
    target.proxy_port = QString::number(proxyPort);
    return lan_connect(m_f->session, target);
}

bool TestFaultMatrix::connectPty()
{
    m_overPty = true;
    exchange().setSerialSelected(true);
    if (m_f->sim.pty.slavePath().isEmpty() && !m_f->sim.openPty())
        return false;
    m_f->session.usbPorts = [port = m_f->sim.pty.slavePath()] {
        return QStringList{port};
    };
    return check_device_present(m_f->session);
}

void TestFaultMatrix::readUnit()
{
    ChannelTextsView view;
    QVERIFY(check_devicetype(exchange(), m_unit));
    QVERIFY(read_unit_data(exchange(), m_unit, view));
}

void TestFaultMatrix::plan(sim::Fault fault, int code, int count, int skip)
{
    sim::FaultPlan plan;
    plan.fault = fault;
    plan.code = code;
    plan.count = count;
    plan.skip = skip;
    plan.delay = 3 * m_f->session.timing.sessionOpenLimit / 2;
    m_f->sim.headend.setFault(plan);
}

QString TestFaultMatrix::image(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    return writeFile(path, bytes) ? path : QString();
}

// The program must not be left stuck: with the fault gone, it connects again the way the
// operator would and reads the headend.
void TestFaultMatrix::checkUsable()
{
    m_f->sim.headend.setFault({});
    m_f->ui.clear();
    // Over USB the Program item looks for the headend again; over the LAN a lost connection
    // is made anew.
    if (m_overPty)
        QVERIFY(connectPty());
    else if (!m_f->session.lan.isConnected())
        QVERIFY(connectLan());
    ParamValue serial;
    QVERIFY(read_parameter(exchange(), 0, 0x7A, 0, serial));
    QCOMPARE(serial.toInt(), 123456);
    readUnit();
    QCOMPARE(m_f->ui.texts(), QStringList());
}

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
