// Every way the headend, the network or the disk can let the program down, driven through the
// real core operations: each row says what the operator must read, and afterwards nothing may
// claim success, nothing may be lost, and the next operation on a healthy headend must work.
#include "channels/channeltextsview.h"
#include "channels/setsearch.h"
#include "directory/directoryfile.h"
#include "directory/headenddirectory.h"
#include "link/reconnect.h"
#include "link/session.h"
#include "model/settingsfile.h"
#include "protocol/devicetype.h"
#include "protocol/fullwrite.h"
#include "protocol/parameters.h"
#include "protocol/readunitdata.h"
#include "report/rtfreport.h"
#include "services/serviceeditor.h"
#include "shell/settingsstore.h"
#include "shell/shellstate.h"
#include "update/updateview.h"
#include "update/upload.h"

#include "recordingui.h"
#include "simfixture.h"
#include "tinyproxy.h"
#include "unwritable.h"

#include <QCryptographicHash>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

constexpr qint32 simSerialNumber = 123456;
const QString sendError =
    QStringLiteral("An error occured while sending, data may be lost\rPlease try again.");
const QString aborted = QStringLiteral("Connection aborted!");
const QString garbled =
    QStringLiteral("The headend's answer was garbled; it was not used.\rPlease try again.");
const QString notEstablished = QStringLiteral("Connection could not be established!");
const QString noDevice = QStringLiteral("No Device found!\r\nPlease check connection (LED beneath "
                                        "USB-Port permanently green)\r\nand try again.");

class NullUpdateView : public UpdateView {
public:
    void setTitle(const QString &text, Tint) override { title = text; }
    void setExplanation(int, const QString &, const QString &, Tint) override {}
    void setProgressMaximum(int) override {}
    void setProgressValue(int) override {}
    void setPercentage(const QString &) override {}
    void setProgressVisible(bool) override {}
    void setActivityTint(Tint) override {}
    void setElapsedTimerRunning(bool) override {}
    void setToolbar(Toolbar) override {}
    void setBackupFile(const QString &) override {}
    bool cancelRequested() const override { return false; }

    QString title;
};

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A proxy that grants every tunnel and then hangs up at once, as an overloaded one may.
class ClosingProxy : public QTcpServer {
public:
    ClosingProxy()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *client = nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, client, [client] {
                if (!client->readAll().contains("\r\n\r\n"))
                    return;
                client->write("HTTP/1.1 200 Connection established\r\n\r\n");
                client->flush();
                client->disconnectFromHost();
            });
        });
    }
};

// A proxy that sends its reply header in pieces: the status line at once, the rest only when
// the client sends more. A client that took the status line for the whole header would send
// "RM" and take the header's next word, "OK", for the headend's answer.
class PiecemealProxy : public QTcpServer {
public:
    PiecemealProxy()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *client = nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, client, [this, client] {
                const bool statusSent = received.contains("\r\n\r\n");
                received += client->readAll();
                if (statusSent)
                    client->write(" OK");
                else if (received.contains("\r\n\r\n"))
                    client->write("HTTP/1.1 200");
            });
        });
    }

    QByteArray received;
};

// A headend that floods the line with noise instead of answering: at the opening, or only from
// the first frame on after an ordinary "OK".
class FloodingHeadend : public QTcpServer {
public:
    explicit FloodingHeadend(bool atOpening)
    {
        connect(this, &QTcpServer::newConnection, this, [this, atOpening] {
            QTcpSocket *client = nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, client, [this, client, atOpening] {
                const QByteArray bytes = client->readAll();
                received += bytes;
                if (!atOpening && bytes.endsWith("RM"))
                    client->write("OK");
                else
                    client->write(QByteArray(4 * Exchange::rxLimit, 'x'));
            });
        });
    }

    QByteArray received;
};

} // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT

public:
    using Scenario = void (TestFaultMatrix::*)();
    struct Row {
        const char *name;
        Scenario run;
        QStringList texts; // what the operator reads, in order
    };

private slots:
    void init();
    void cleanup();
    void matrix_data();
    void matrix();

private:
    // Scenarios: each runs one operation into a fault, sets m_succeeded from what the operation
    // returned and checks that nothing was lost.
    void silentHeadendAtConnect();
    void silentHeadendMidSession();
    void lateOkOnTheSerialLine();
    void droppedAnswerDuringDeviceType();
    void droppedAcknowledgeDuringSet();
    void garbageBeforeAnAnswer();
    void babblingHeadend();
    void babblingHeadendAtConnect();
    void babblingHeadendDuringSet();
    void babblingHeadendDuringUpload();
    void disconnectDuringFullRead();
    void disconnectDuringFullWrite();
    void disconnectDuringUpload();
    void disconnectDuringServiceListSend();
    void disconnectOnTheSerialLine();
    void restartOutlastsTheReconnect();
    void restartDuringTheReconnect();
    void proxyDown();
    void proxyRefusesConnect();
    void proxyClosesTheTunnel();
    void proxyHeaderInPieces();
    void unwritableSettingsTarget();
    void fullDisk();
    void readOnlyProgramFolder();
    void immutableProgramFolder();
    void corruptDirectory();
    void foreignDirectory();
    void foreignSettingsFile();
    void emptyFirmwareImage();
    void nonsenseSettingsStore();
    void unwritableSettingsStore();

    bool connectLan();
    bool connectPty();
    void readUnit();
    void plan(sim::Fault fault, int code = -1, int count = -1, int skip = 0);
    void checkUsable();
    static QByteArray onFullDisk(const std::function<QByteArray()> &work);

    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SimHeadend> m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
    UnitData m_unit;
    LanTarget m_target;
    bool m_succeeded = false;
    bool m_overPty = false;
};

Q_DECLARE_METATYPE(TestFaultMatrix::Scenario)

void TestFaultMatrix::init()
{
    m_ui = std::make_unique<RecordingUi>();
    m_session = std::make_unique<Session>(*m_ui, Timing::fast());
    m_session->exchange.setSerialSelected(false);
    m_sim = std::make_unique<SimHeadend>();
    QVERIFY(m_sim->listen());
    sim::Timing simTiming;
    simTiming.rawTimeout = 300ms;
    simTiming.restartDrop = 20ms;
    simTiming.restartDelay = 300ms;
    m_sim->headend.setTiming(simTiming);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_unit = {};
    m_target = {};
    m_target.name = QStringLiteral("Rack 7");
    m_target.ip = QStringLiteral("127.0.0.1");
    m_target.port = m_sim->portText();
    m_succeeded = false;
    m_overPty = false;
}

void TestFaultMatrix::cleanup()
{
    m_session.reset();
    m_sim.reset();
    m_dir.reset();
    m_ui.reset();
}

void TestFaultMatrix::matrix_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QStringList>("texts");
    const QList<Row> rows{
        {"silent headend at connect", &TestFaultMatrix::silentHeadendAtConnect, {notEstablished}},
        {"silent headend mid-session", &TestFaultMatrix::silentHeadendMidSession, {aborted}},
        {"late OK on the serial line", &TestFaultMatrix::lateOkOnTheSerialLine, {noDevice}},
        {"dropped answer: device type", &TestFaultMatrix::droppedAnswerDuringDeviceType, {aborted}},
        // Every attempt within the resend window waits for its "EN" in vain.
        {"dropped acknowledge: set",
         &TestFaultMatrix::droppedAcknowledgeDuringSet,
         {aborted, aborted, sendError}},
        {"garbage before an answer", &TestFaultMatrix::garbageBeforeAnAnswer, {garbled}},
        {"babbling headend", &TestFaultMatrix::babblingHeadend, {garbled}},
        {"babbling headend at connect",
         &TestFaultMatrix::babblingHeadendAtConnect,
         {notEstablished}},
        // The flood ends the resend loop at its first wait instead of failing every resend.
        {"babbling headend during set",
         &TestFaultMatrix::babblingHeadendDuringSet,
         {aborted, sendError}},
        {"disconnect: full read", &TestFaultMatrix::disconnectDuringFullRead, {aborted}},
        {"disconnect: full write", &TestFaultMatrix::disconnectDuringFullWrite, {aborted}},
        {"babbling headend during upload",
         &TestFaultMatrix::babblingHeadendDuringUpload,
         {sendError}},
        {"disconnect: upload", &TestFaultMatrix::disconnectDuringUpload, {sendError}},
        {"disconnect: service list send",
         &TestFaultMatrix::disconnectDuringServiceListSend,
         {aborted, sendError}},
        {"disconnect: serial line", &TestFaultMatrix::disconnectOnTheSerialLine, {aborted}},
        {"restart outlasts the reconnect",
         &TestFaultMatrix::restartOutlastsTheReconnect,
         {QStringLiteral("Reconnect to Headend failed, please try manually!")}},
        {"restart during the reconnect", &TestFaultMatrix::restartDuringTheReconnect, {}},
        {"proxy down",
         &TestFaultMatrix::proxyDown,
         {QStringLiteral("Connection to proxy server could not be established!")}},
        {"proxy refuses CONNECT",
         &TestFaultMatrix::proxyRefusesConnect,
         {QStringLiteral("Connection to host could not be established!")}},
        {"proxy closes the tunnel", &TestFaultMatrix::proxyClosesTheTunnel, {notEstablished}},
        {"proxy header in pieces",
         &TestFaultMatrix::proxyHeaderInPieces,
         {QStringLiteral("Connection to host could not be established!")}},
        {"unwritable settings target", &TestFaultMatrix::unwritableSettingsTarget, {}},
        {"full disk", &TestFaultMatrix::fullDisk, {}},
        {"read-only program folder", &TestFaultMatrix::readOnlyProgramFolder, {}},
        {"immutable program folder", &TestFaultMatrix::immutableProgramFolder, {}},
        {"corrupt headend.mdb", &TestFaultMatrix::corruptDirectory, {}},
        {"foreign headend.mdb", &TestFaultMatrix::foreignDirectory, {}},
        {"foreign .kdr", &TestFaultMatrix::foreignSettingsFile, {}},
        {"empty firmware image", &TestFaultMatrix::emptyFirmwareImage, {}},
        {"nonsense settings store",
         &TestFaultMatrix::nonsenseSettingsStore,
         {QStringLiteral("Connection to proxy server could not be established!")}},
        {"unwritable settings store", &TestFaultMatrix::unwritableSettingsStore, {}},
    };
    for (const Row &row : rows)
        QTest::newRow(row.name) << row.run << row.texts;
}

void TestFaultMatrix::matrix()
{
    QFETCH(Scenario, scenario);
    QFETCH(QStringList, texts);
    (this->*scenario)();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!m_succeeded);
    // Texts whose wording depends on a path or a system error are checked by the scenario and
    // left out of the row.
    if (!texts.isEmpty())
        QCOMPARE(m_ui->texts(), texts);
    for (const QString &label : std::as_const(m_ui->progressLabels))
        QVERIFY2(!label.contains(QLatin1String("success"), Qt::CaseInsensitive), qPrintable(label));
    QVERIFY(!m_ui->progressShown);
    QCOMPARE(m_ui->busyDepth, 0);
    checkUsable();
}

bool TestFaultMatrix::connectLan()
{
    return lan_connect(*m_session, m_target);
}

bool TestFaultMatrix::connectPty()
{
    m_overPty = true;
    m_session->exchange.setSerialSelected(true);
    if (m_sim->pty.slavePath().isEmpty() && !m_sim->openPty())
        return false;
    const QString port = m_sim->pty.slavePath();
    m_session->usbPorts = [port] {
        return QStringList{port};
    };
    return check_device_present(*m_session);
}

void TestFaultMatrix::readUnit()
{
    ChannelTextsView view;
    QVERIFY(check_devicetype(m_session->exchange, m_unit));
    QVERIFY(read_unit_data(m_session->exchange, m_unit, view));
}

void TestFaultMatrix::plan(sim::Fault fault, int code, int count, int skip)
{
    sim::FaultPlan plan;
    plan.fault = fault;
    plan.code = code;
    plan.count = count;
    plan.skip = skip;
    plan.delay = 3 * m_session->timing.sessionOpenLimit / 2;
    m_sim->headend.setFault(plan);
}

// The program must not be left stuck: with the fault gone, it connects again the way the
// operator would and reads the headend.
void TestFaultMatrix::checkUsable()
{
    m_sim->headend.setFault({});
    m_ui->clear();
    // Over USB the Program item looks for the headend again; over the LAN a lost connection
    // is made anew.
    if (m_overPty)
        QVERIFY(connectPty());
    else if (!m_session->lan.isConnected())
        QVERIFY(connectLan());
    ParamValue serial;
    QVERIFY(read_parameter(m_session->exchange, 0, 0x7A, 0, serial));
    QCOMPARE(serial.toInt(), simSerialNumber);
    readUnit();
    QCOMPARE(m_ui->texts(), QStringList());
}

void TestFaultMatrix::silentHeadendAtConnect()
{
    plan(sim::Fault::Silent);
    m_succeeded = connectLan();
    QVERIFY(!m_session->lan.isConnected());
}

void TestFaultMatrix::silentHeadendMidSession()
{
    QVERIFY(connectLan());
    plan(sim::Fault::Silent);
    ParamValue value;
    value.number = 42;
    m_succeeded = read_parameter(m_session->exchange, 0, 0x7A, 0, value);
}

void TestFaultMatrix::lateOkOnTheSerialLine()
{
    // The "OK" comes after the client gave up; the port must still be found again afterwards,
    // and the stray "OK" must not be taken for a later answer.
    plan(sim::Fault::LateOk);
    m_succeeded = connectPty();
    QTest::qWait(m_sim->headend.fault().delay.count());
}

void TestFaultMatrix::droppedAnswerDuringDeviceType()
{
    QVERIFY(connectLan());
    const UnitData before = m_unit;
    plan(sim::Fault::DropAnswer, 0x78);
    m_succeeded = check_devicetype(m_session->exchange, m_unit);
    QCOMPARE(m_unit.max_channel, before.max_channel);
    QCOMPARE(m_unit.device_variant, before.device_variant);
}

void TestFaultMatrix::droppedAcknowledgeDuringSet()
{
    QVERIFY(connectLan());
    readUnit();
    const float frequency = m_unit.channel(1).out_frequency;
    OutputSettings settings;
    settings.out_frequency = QStringLiteral("474");
    settings.qam_code = 2;
    settings.out_symbolrate = QStringLiteral("6900");
    plan(sim::Fault::DropAnswer, 0x03);
    m_succeeded = set_channel(m_session->exchange, m_unit, 1, settings);
    QCOMPARE(m_unit.channel(1).out_frequency, frequency);
    QCOMPARE(m_ui->messages.value(2).title, QStringLiteral("Error 3"));
}

void TestFaultMatrix::garbageBeforeAnAnswer()
{
    QVERIFY(connectLan());
    plan(sim::Fault::Garbage, 0x7A);
    ParamValue value;
    value.number = 42;
    m_succeeded = read_parameter(m_session->exchange, 0, 0x7A, 0, value);
    QCOMPARE(value.number, 42.0);
}

void TestFaultMatrix::babblingHeadend()
{
    QVERIFY(connectLan());
    plan(sim::Fault::Babble, 0x7A, 1);
    ParamValue value;
    // The answer itself may still come through; the flood starts behind it and must make the
    // next read fail, whenever its first bytes arrive.
    read_parameter(m_session->exchange, 0, 0x7A, 0, value);
    m_ui->clear();
    QTest::qWait(50);
    value.number = 42;
    m_succeeded = read_parameter(m_session->exchange, 0, 0x59, 0, value);
    QCOMPARE(value.number, 42.0);
    // The program keeps the connection; only a new one gets rid of the flood, which is what the
    // operator does through the LAN item.
    m_session->lan.close();
}

void TestFaultMatrix::babblingHeadendAtConnect()
{
    FloodingHeadend flooding(true);
    QVERIFY(flooding.listen(QHostAddress::LocalHost, 0));
    qint64 largestRead = 0;
    QObject watch;
    connect(&m_session->lan, &Link::received, &watch,
            [&](const QByteArray &bytes) { largestRead = qMax(largestRead, bytes.size()); });
    m_target.port = QString::number(flooding.serverPort());
    m_succeeded = connectLan();
    m_target.port = m_sim->portText();
    // One opening, not one for every wait that the flood ends at once.
    QCOMPARE(flooding.received, QByteArray("RM"));
    // The socket hands the flood over in bounded reads.
    QVERIFY(largestRead > 0 && largestRead <= LanLink::inputBufferSize);
}

void TestFaultMatrix::babblingHeadendDuringSet()
{
    FloodingHeadend flooding(false);
    QVERIFY(flooding.listen(QHostAddress::LocalHost, 0));
    m_target.port = QString::number(flooding.serverPort());
    QVERIFY(connectLan());
    m_target.port = m_sim->portText();
    const float frequency = m_unit.channel(1).out_frequency;
    OutputSettings settings;
    settings.out_frequency = QStringLiteral("474");
    settings.qam_code = 2;
    settings.out_symbolrate = QStringLiteral("6900");
    m_succeeded = set_channel(m_session->exchange, m_unit, 1, settings);
    QCOMPARE(m_unit.channel(1).out_frequency, frequency);
    QCOMPARE(m_ui->messages.value(1).title, QStringLiteral("Error 2"));
    // The channel selection went out once; nothing was resent into the flood.
    QCOMPARE(flooding.received.size(), 2 + 10);
    m_session->lan.close();
}

void TestFaultMatrix::babblingHeadendDuringUpload()
{
    FloodingHeadend flooding(false);
    QVERIFY(flooding.listen(QHostAddress::LocalHost, 0));
    m_target.port = QString::number(flooding.serverPort());
    QVERIFY(connectLan());
    m_target.port = m_sim->portText();
    const QString image = m_dir->filePath(QStringLiteral("KELDOR_FW_9.99.UC3"));
    QVERIFY(writeFile(image, QByteArray(3000, 'F')));
    NullUpdateView view;
    m_succeeded = update_fw(*m_session, view, image) == UploadResult::Succeeded;
    // One start frame: no attempt follows into the flood.
    QCOMPARE(flooding.received.size(), 2 + 10);
    m_session->lan.close();
}

void TestFaultMatrix::disconnectDuringFullRead()
{
    QVERIFY(connectLan());
    QVERIFY(check_devicetype(m_session->exchange, m_unit));
    m_unit.channel(6).out_frequency = 999.0f;
    plan(sim::Fault::Disconnect, 0x59, 1, 4); // the QAM of the fifth channel
    ChannelTextsView view;
    m_succeeded = read_unit_data(m_session->exchange, m_unit, view);
    QCOMPARE(m_unit.channel(0).out_frequency, m_sim->headend.state().channels[0].outFrequency);
    QCOMPARE(m_unit.channel(6).out_frequency, 999.0f); // not reached: keeps its old value
}

void TestFaultMatrix::disconnectDuringFullWrite()
{
    QVERIFY(connectLan());
    readUnit();
    const UnitData before = m_unit;
    m_unit.channel(0).out_frequency = 500.0f;
    plan(sim::Fault::Disconnect, bulkWriteCode);
    m_succeeded = save_unit_data(m_session->exchange, m_unit, true);
    QCOMPARE(m_unit.channel(1).out_frequency, before.channel(1).out_frequency);
    QCOMPARE(m_unit.channel(0).out_frequency, 500.0f);
}

void TestFaultMatrix::disconnectDuringUpload()
{
    QVERIFY(connectLan());
    const QString image = m_dir->filePath(QStringLiteral("KELDOR_FW_9.99.UC3"));
    QVERIFY(writeFile(image, QByteArray(3000, 'F')));
    plan(sim::Fault::Disconnect, 0x84);
    NullUpdateView view;
    m_succeeded = update_fw(*m_session, view, image) == UploadResult::Succeeded;
    QCOMPARE(m_ui->messages.first().title, QStringLiteral("Update Error"));
    QVERIFY(m_sim->headend.image(sim::UploadTarget::Controller).isEmpty());
}

void TestFaultMatrix::disconnectDuringServiceListSend()
{
    QVERIFY(connectLan());
    readUnit();
    constexpr int channel = 2;
    ServiceListEditor editor(m_session->exchange, m_unit, channel);
    QVERIFY(editor.fill());
    QVERIFY(editor.input().size() >= 4);
    // The record lists three services; the new selection two others, and the line drops after
    // the first of them reached the headend.
    ChannelRecord &record = m_unit.channel(channel);
    record.service_mode = servicemode::listed;
    record.service_count = 3;
    record.service_ids = {};
    for (int i = 0; i < 3; ++i)
        record.service_ids[static_cast<size_t>(i)] = editor.input().at(i).id;
    editor.removeAll();
    editor.addInput(3);
    editor.addInput(1);
    plan(sim::Fault::Disconnect, servicecode::selectionId, 1, 1);
    m_succeeded = editor.save() == ServiceListEditor::SaveResult::Sent;
    // Whatever the record holds now must be a list the headend was given: never the old count
    // over new IDs.
    QCOMPARE(record.service_mode, servicemode::listed);
    QCOMPARE(record.service_count, quint8(1));
    QCOMPARE(record.service_ids[0], editor.input().at(3).id);
}

void TestFaultMatrix::disconnectOnTheSerialLine()
{
    QVERIFY(connectPty());
    plan(sim::Fault::Disconnect, 0x7A, 1);
    ParamValue value;
    m_succeeded = read_parameter(m_session->exchange, 0, 0x7A, 0, value);
}

void TestFaultMatrix::restartOutlastsTheReconnect()
{
    QVERIFY(connectLan());
    sim::Timing timing = m_sim->headend.timing();
    timing.restartDelay = m_session->timing.reconnectLimit + 300ms;
    m_sim->headend.setTiming(timing);
    QVERIFY(set_parameter(m_session->exchange, 0, 0x96, qint64{0}));
    m_succeeded = wait_for_restart(*m_session, m_target, {});
    QVERIFY(!m_session->lan.isConnected());
    // The headend comes back a little later; the operator reconnects by hand.
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->headend.isOnline(), 3000);
}

void TestFaultMatrix::restartDuringTheReconnect()
{
    QVERIFY(connectLan());
    QVERIFY(set_parameter(m_session->exchange, 0, 0x96, qint64{0}));
    QVERIFY(wait_for_restart(*m_session, m_target, {}));
    QVERIFY(m_ui->texts().isEmpty());
    // Only now is the session open; the fault is the restart itself.
    QVERIFY(connectLan());
}

void TestFaultMatrix::proxyDown()
{
    m_target.proxy_use = 1;
    m_target.proxy_ip = QStringLiteral("127.0.0.1");
    m_target.proxy_port = QString::number(TinyProxy::freePort());
    m_succeeded = connectLan();
    m_target.proxy_use = 0;
    QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 0);
}

void TestFaultMatrix::proxyRefusesConnect()
{
    TinyProxy proxy;
    QString error;
    QVERIFY2(proxy.start({TinyProxy::freePort()}, &error), qPrintable(error));
    m_target.proxy_use = 1;
    m_target.proxy_ip = QStringLiteral("127.0.0.1");
    m_target.proxy_port = QString::number(proxy.port());
    m_succeeded = connectLan();
    m_target.proxy_use = 0;
    QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 0);
}

void TestFaultMatrix::proxyClosesTheTunnel()
{
    ClosingProxy proxy;
    QVERIFY(proxy.listen(QHostAddress::LocalHost, 0));
    m_target.proxy_use = 1;
    m_target.proxy_ip = QStringLiteral("127.0.0.1");
    m_target.proxy_port = QString::number(proxy.serverPort());
    m_succeeded = connectLan();
    m_target.proxy_use = 0;
    QVERIFY(!m_session->lan.isConnected());
}

void TestFaultMatrix::proxyHeaderInPieces()
{
    PiecemealProxy proxy;
    QVERIFY(proxy.listen(QHostAddress::LocalHost, 0));
    m_target.proxy_use = 1;
    m_target.proxy_ip = QStringLiteral("127.0.0.1");
    m_target.proxy_port = QString::number(proxy.serverPort());
    m_succeeded = connectLan();
    m_target.proxy_use = 0;
    // The handshake never started inside an unfinished header.
    QVERIFY(!proxy.received.contains("RM"));
}

void TestFaultMatrix::unwritableSettingsTarget()
{
    // A folder that is a regular file: refused even for root.
    const QString blocker = m_dir->filePath(QStringLiteral("not-a-folder"));
    QVERIFY(writeFile(blocker, "x"));
    const QString path = blocker + QStringLiteral("/rack.kdr");
    m_unit.settings_file_name = QStringLiteral("before.kdr");
    m_succeeded = save_settings_file(*m_ui, path, m_unit);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages.first().title, QStringLiteral("Save Settings"));
    QVERIFY(m_ui->messages.first().text.startsWith(
        QStringLiteral("The settings could not be saved as ")));
    QVERIFY(m_ui->messages.first().text.endsWith(
        QStringLiteral("\rAn existing file of that name is unchanged.")));
    QCOMPARE(m_unit.settings_file_name, QStringLiteral("before.kdr"));
    QCOMPARE(QFileInfo(blocker).size(), 1);
}

// Runs work in a child whose files may not grow beyond limit bytes, as on a full disk; returns
// what the child reported. Nothing else of this test runs under the limit.
QByteArray TestFaultMatrix::onFullDisk(const std::function<QByteArray()> &work)
{
    constexpr rlim_t limit = 1024;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        const QByteArray report = work();
        [[maybe_unused]] const auto written = write(pipeEnds[1], report.constData(), report.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t n; child > 0 && (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, n);
    close(pipeEnds[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return "no child";
    return report;
}

void TestFaultMatrix::fullDisk()
{
    // The existing settings file must survive a save that runs out of space half-way, and no
    // cut-off report may be left in place of a good one.
    const QString path = m_dir->filePath(QStringLiteral("rack.kdr"));
    const QString report = report_file_name(path);
    QVERIFY(writeFile(path, encode_settings(m_unit.channels)));
    QVERIFY(writeFile(report, "{\\rtf1 earlier report}\r\n"));
    const QByteArray settingsBefore = fileHash(path);
    const QByteArray reportBefore = fileHash(report);
    m_unit.channel(0).out_frequency = 610.0f;
    m_unit.device_variant = 3; // a report without service lists: no headend needed
    const QByteArray outcome = onFullDisk([&] {
        RecordingUi ui;
        Session session(ui, Timing::fast());
        QByteArray out = save_settings_file(ui, path, m_unit) ? "saved\n" : "failed\n";
        ReportTexts texts;
        out += Print_RTF(session.exchange, report, texts, m_unit) == ReportResult::Written
                   ? "written\n"
                   : "not written\n";
        return out + ui.texts().join('\n').toUtf8();
    });
    m_succeeded = outcome.startsWith("saved\n") || outcome.contains("\nwritten\n");
    // The system's reason sits between the fixed parts; Qt does not keep it for a failed flush.
    const QStringList lines = QString::fromUtf8(outcome).split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.mid(0, 2), (QStringList{"failed", "not written"}));
    QVERIFY2(lines[2].startsWith(QStringLiteral("The settings could not be saved as %1:\r")
                                     .arg(QDir::toNativeSeparators(path))) &&
                 lines[2].endsWith(QStringLiteral("\rAn existing file of that name is unchanged.")),
             qPrintable(lines[2]));
    QVERIFY2(lines[3].startsWith(QStringLiteral("The report could not be written as %1:\r")
                                     .arg(QDir::toNativeSeparators(report))),
             qPrintable(lines[3]));
    QCOMPARE(fileHash(path), settingsBefore);
    QCOMPARE(fileHash(report), reportBefore);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), (QStringList{"rack.kdr", "rack.rtf"}));
}

void TestFaultMatrix::readOnlyProgramFolder()
{
    // A program folder below a regular file can't be written, not even by root.
    const QString blocker = m_dir->filePath(QStringLiteral("program"));
    QVERIFY(writeFile(blocker, "x"));
    const QString folder = blocker + QStringLiteral("/keldor");
    QString error;
    m_succeeded = datenbank_anlegen(folder, &error);
    QCOMPARE(error, QStringLiteral("The headend directory \"%1\" could not be created: the folder "
                                   "\"%2\" does not exist.")
                        .arg(QDir::toNativeSeparators(directoryPath(folder)), folder));
    HeadendDirectory directory;
    QVERIFY(!directory.open(folder));
    QCOMPARE(directory.lastError(), QStringLiteral("The headend directory \"%1\" does not exist.")
                                        .arg(QDir::toNativeSeparators(directoryPath(folder))));
    QCOMPARE(QFileInfo(blocker).size(), 1);
}

void TestFaultMatrix::immutableProgramFolder()
{
    // The directory is there, but no change can be stored.
    const QString folder = m_dir->path();
    QVERIFY(datenbank_anlegen(folder));
    {
        HeadendDirectory directory;
        QVERIFY(directory.open(folder));
        QCOMPARE(directory.appendEmpty(), 0);
        QVERIFY(directory.update(0, {QStringLiteral("Rack 7"), QStringLiteral("Hall"),
                                     QStringLiteral("10.0.0.7"), QStringLiteral("5000")}));
    }
    const QByteArray before = fileHash(directoryPath(folder));
    const Unwritable unwritableFolder(folder);
    const Unwritable unwritableFile(directoryPath(folder));
    QVERIFY(unwritableFolder.ok() && unwritableFile.ok());
    HeadendDirectory directory;
    QVERIFY(directory.open(folder));
    m_succeeded = directory.update(0, {QStringLiteral("Rack 8"), QStringLiteral("Hall"),
                                       QStringLiteral("10.0.0.8"), QStringLiteral("5000")});
    m_succeeded = m_succeeded || directory.appendEmpty() >= 0;
    QVERIFY(directory.lastError().startsWith(
        QStringLiteral("The headend directory \"%1\" could not be changed: ")
            .arg(QDir::toNativeSeparators(directoryPath(folder)))));
    QCOMPARE(directory.count(), 1);
    QCOMPARE(directory.row(0).name, QStringLiteral("Rack 7"));
    QCOMPARE(fileHash(directoryPath(folder)), before);
}

void TestFaultMatrix::corruptDirectory()
{
    const QString folder = m_dir->path();
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 7919) & 0xFF);
    QVERIFY(writeFile(directoryPath(folder), junk));
    HeadendDirectory directory;
    m_succeeded = directory.open(folder);
    QVERIFY(directory.lastError().startsWith(
                QStringLiteral("\"%1\" is not a headend directory: ")
                    .arg(QDir::toNativeSeparators(directoryPath(folder)))) ||
            directory.lastError().startsWith(QStringLiteral("The headend directory")));
    QCOMPARE(fileHash(directoryPath(folder)),
             QCryptographicHash::hash(junk, QCryptographicHash::Sha256));
    // Creating one anew must not overwrite it either.
    QVERIFY(!datenbank_anlegen(folder));
    QCOMPARE(fileHash(directoryPath(folder)),
             QCryptographicHash::hash(junk, QCryptographicHash::Sha256));
}

void TestFaultMatrix::foreignDirectory()
{
    const QString folder = m_dir->path();
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
        db.setDatabaseName(directoryPath(folder));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("CREATE TABLE invoices (number INTEGER, total REAL)")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO invoices VALUES (1, 9.5)")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
    const QByteArray before = fileHash(directoryPath(folder));
    HeadendDirectory directory;
    m_succeeded = directory.open(folder);
    QVERIFY(directory.lastError().startsWith(
        QStringLiteral("\"%1\" is not a headend directory: it has no table ")
            .arg(QDir::toNativeSeparators(directoryPath(folder)))));
    QCOMPARE(fileHash(directoryPath(folder)), before);
}

void TestFaultMatrix::foreignSettingsFile()
{
    // A file of exactly the right size that is something else: a channel claims 255 services.
    const QString path = m_dir->filePath(QStringLiteral("photo.kdr"));
    QVERIFY(writeFile(path, QByteArray(settingsFileSize, char(0xFF))));
    m_unit.channel(3).out_frequency = 306.0f;
    m_unit.settings_file_name = QStringLiteral("before.kdr");
    const UnitData before = m_unit;
    m_succeeded = load_settings_file(*m_ui, path, m_unit).has_value();
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages.first().title, QStringLiteral("Load Settings"));
    QCOMPARE(m_ui->messages.first().text,
             QStringLiteral("%1 is no usable KELDOR settings file: it is damaged: channel 1 lists "
                            "255 services, a channel holds at most 100.\rNothing was sent to the "
                            "headend.")
                 .arg(QDir::toNativeSeparators(path)));
    QCOMPARE(m_unit.channel(3).out_frequency, 306.0f);
    QCOMPARE(m_unit.settings_file_name, before.settings_file_name);
    QCOMPARE(encode_settings(m_unit.channels), encode_settings(before.channels));
}

void TestFaultMatrix::emptyFirmwareImage()
{
    QVERIFY(connectLan());
    const QString image = m_dir->filePath(QStringLiteral("KELDOR_FW_0.00.UC3"));
    QVERIFY(writeFile(image, {}));
    NullUpdateView view;
    m_sim->headend.clearTranscript();
    const UploadResult result = update_fw(*m_session, view, image);
    m_succeeded = result == UploadResult::Succeeded;
    QCOMPARE(result, UploadResult::NotStarted);
    QCOMPARE(
        m_ui->texts(),
        QStringList{QStringLiteral("The image file %1 is empty.\rNothing was sent to the headend.")
                        .arg(QDir::toNativeSeparators(image))});
    QCOMPARE(m_ui->messages.first().title, QStringLiteral("Update Error"));
    QCOMPARE(m_sim->frames(0x84).size(), 0);
}

void TestFaultMatrix::nonsenseSettingsStore()
{
    const QString path = m_dir->filePath(QStringLiteral("station.ini"));
    QVERIFY(writeFile(path, "[Settings]\nProxy-Use=1\nProxy-IP=the usual one\nProxy-Port=-8080x\n"
                            "USB-Control=perhaps\nLAN-Control=True\n"));
    QSettings ini(path, QSettings::IniFormat);
    SettingsStore store(ini);
    ShellState state;
    loadSettings(state, store);
    QCOMPARE(state.connection_mode, ConnectionMode::Lan);
    QCOMPARE(state.proxy_use, qint16(1));
    m_target.proxy_use = state.proxy_use;
    m_target.proxy_ip = state.proxy_ip;
    m_target.proxy_port = state.proxy_port;
    m_succeeded = connectLan();
    QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 0);

    // Values that are no numbers at all fall back to the defaults.
    ini.setValue(QStringLiteral("Settings/Proxy-Use"), QStringLiteral("banana"));
    ini.setValue(QStringLiteral("Settings/USB-Control"), QStringLiteral("1e999"));
    ini.setValue(QStringLiteral("Settings/LAN-Control"), QStringLiteral("yes"));
    loadSettings(state, store);
    QCOMPARE(state.proxy_use, qint16(0));
    QCOMPARE(state.connection_mode, ConnectionMode::Usb);
    m_target.proxy_use = 0;
}

void TestFaultMatrix::unwritableSettingsStore()
{
    const QString blocker = m_dir->filePath(QStringLiteral("config"));
    QVERIFY(writeFile(blocker, "x"));
    QSettings ini(blocker + QStringLiteral("/station.ini"), QSettings::IniFormat);
    SettingsStore store(ini);
    ShellState state;
    m_succeeded = switchConnectionMode(state, store, ConnectionMode::Lan);
    QCOMPARE(store.lastError(),
             QStringLiteral("The settings could not be stored in \"%1\".").arg(ini.fileName()));
    // The switch holds for this run all the same.
    QCOMPARE(state.connection_mode, ConnectionMode::Lan);
    QCOMPARE(QFileInfo(blocker).size(), 1);
}

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
