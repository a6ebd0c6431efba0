#include "rawclient.h"

#include "sim/bigendian.h"
#include "sim/headend.h"
#include "sim/tcptransport.h"

#include <QCryptographicHash>
#include <QTest>

#include <memory>

using sim::TranscriptEntry;

class TestSimProtocol : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sessionOpeningIsAnsweredEveryTime();
    void numericReads_data();
    void numericReads();
    void textReadsSendLengthThenCharacters();
    void emptyTextAnswersNothingToTheFirstContinue();
    void writesDecodeTheirPayload_data();
    void writesDecodeTheirPayload();
    void serviceListsFollowTheSelectedChannel();
    void selectionBuiltByCodes();
    void listStringInTwoSteps();
    void bulkWriteCoversEveryChannelOfTheVariant();
    void uploadInBlocksRecordsTheImage();
    void uploadLongerThanTheBlockCountIsRefused_data();
    void uploadLongerThanTheBlockCountIsRefused();
    void stalledUpload_data();
    void stalledUpload();
    void storeEndsAfterTheFlashDelay();
    void unknownCodesAndStrayContinuesGetNoAnswer();
    void anAbandonedReadDoesNotSwallowTheNextRequest();
    void clientsShareOneDevice();
    void restartComesBackOnTheNewPort();

private:
    QByteArray read(int channel, int code, int sub, qsizetype size);
    QList<TranscriptEntry::Kind> kinds() const;

    std::unique_ptr<sim::Headend> m_headend;
    std::unique_ptr<sim::TcpTransport> m_tcp;
    std::unique_ptr<RawClient> m_client;
};

void TestSimProtocol::init()
{
    m_headend = std::make_unique<sim::Headend>();
    sim::Timing timing;
    timing.storeDelay = 200ms;
    timing.restartDrop = 50ms;
    timing.restartDelay = 300ms;
    m_headend->setTiming(timing);
    m_tcp = std::make_unique<sim::TcpTransport>(*m_headend);
    QVERIFY(m_tcp->listen(QHostAddress::LocalHost, 0));
    m_client = std::make_unique<RawClient>();
    QVERIFY(m_client->connectTo(m_tcp->port()));
}

void TestSimProtocol::cleanup()
{
    m_client.reset();
    m_tcp.reset();
    m_headend.reset();
}

// A full read: answer, "N", "EN".
QByteArray TestSimProtocol::read(int channel, int code, int sub, qsizetype size)
{
    const QByteArray answer =
        m_client->exchange(frame(channel, code, QByteArray(1, char(sub))), size);
    const QByteArray end = m_client->exchange("N", 2);
    return end == "EN" ? answer : QByteArray("no EN: ") + end;
}

QList<TranscriptEntry::Kind> TestSimProtocol::kinds() const
{
    QList<TranscriptEntry::Kind> out;
    for (const TranscriptEntry &entry : m_headend->transcript())
        out.append(entry.kind);
    return out;
}

void TestSimProtocol::sessionOpeningIsAnsweredEveryTime()
{
    QCOMPARE(m_client->exchange("RM", 2), QByteArray("OK"));
    QCOMPARE(m_client->exchange("RM", 2), QByteArray("OK"));
    m_client->send(frame(0, 0x50));
    QCOMPARE(m_client->exchange("RM", 2), QByteArray("OK"));
}

void TestSimProtocol::numericReads_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("serial number 32-bit") << 0 << 0x7A << QByteArray::fromHex("0001E240");
    QTest::newRow("input frequency negative") << 4 << 0x52 << QByteArray::fromHex("FFFE");
    QTest::newRow("output frequency float") << 2 << 0x51 << QByteArray::fromHex("43AD0000");
    QTest::newRow("data rate float") << 1 << 0x69 << QByteArray::fromHex("42180000");
    QTest::newRow("bit errors") << 1 << 0x61 << QByteArray::fromHex("00000929");
    QTest::newRow("qam byte") << 2 << 0x59 << QByteArray::fromHex("05");
    QTest::newRow("tuner status per channel") << 3 << 0x60 << QByteArray::fromHex("0000");
    QTest::newRow("port above 32767") << 0 << 0x90 << QByteArray::fromHex("EA60");
    QTest::newRow("variant") << 0 << 0xA3 << QByteArray::fromHex("02");
    QTest::newRow("temperature plus 16") << 0 << 0x80 << QByteArray::fromHex("39");
}

void TestSimProtocol::numericReads()
{
    QFETCH(int, channel);
    QFETCH(int, code);
    QFETCH(QByteArray, answer);
    sim::DeviceState &state = m_headend->state();
    state.channels[4].inFrequency = -2;
    state.channels[2].outFrequency = 346.0f;
    state.channels[3].tuner.status = 0;
    state.lan.port = 60000;
    state.identity.variant = 2;
    QCOMPARE(read(channel, code, 0, answer.size()), answer);
}

void TestSimProtocol::textReadsSendLengthThenCharacters()
{
    QCOMPARE(m_client->exchange(frame(0, 0x79), 1), QByteArray(1, char(10)));
    QCOMPARE(m_client->exchange("N", 10), QByteArray("KELDOR QAM"));
    QCOMPARE(m_client->exchange("N", 2), QByteArray("EN"));

    QCOMPARE(m_client->exchange(frame(0, 0x91), 1), QByteArray(1, char(4)));
    QCOMPARE(m_client->exchange("N", 4), QByteArray::fromHex("C0A80114"));
    QCOMPARE(m_client->exchange("N", 2), QByteArray("EN"));
}

void TestSimProtocol::emptyTextAnswersNothingToTheFirstContinue()
{
    m_headend->state().identity.hardwareVersion.clear();
    QCOMPARE(m_client->exchange(frame(0, 0x7B), 1), QByteArray(1, '\0'));
    m_client->send("N");
    QCOMPARE(m_client->exchange("N", 2), QByteArray("EN"));
    QCOMPARE(m_client->firstArrivalWithin(100ms), QByteArray());
}

void TestSimProtocol::writesDecodeTheirPayload_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("output frequency float")
        << frame(2, 0x03, QByteArray::fromHex("43AD0000")) << "out" << QVariant(346.0f);
    QTest::newRow("input frequency signed")
        << frame(2, 0x65, QByteArray::fromHex("FFFE")) << "in" << QVariant(-2);
    QTest::newRow("output on byte")
        << frame(2, 0x73, QByteArray::fromHex("00")) << "on" << QVariant(0);
    QTest::newRow("port unsigned")
        << frame(0, 0x8F, QByteArray::fromHex("EA60")) << "port" << QVariant(60000);
    QTest::newRow("ip first octet first")
        << frame(0, 0x8D, QByteArray::fromHex("0A000207")) << "ip" << QVariant("10.0.2.7");
}

void TestSimProtocol::writesDecodeTheirPayload()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, field);
    QFETCH(QVariant, expected);
    QCOMPARE(m_client->exchange(request, 2), QByteArray("EN"));
    const sim::DeviceState &state = m_headend->state();
    const sim::Channel &channel = state.channels[2];
    const QVariant actual = field == "out"    ? QVariant(channel.outFrequency)
                            : field == "in"   ? QVariant(int(channel.inFrequency))
                            : field == "on"   ? QVariant(int(channel.outputOn))
                            : field == "port" ? QVariant(int(state.lan.port))
                                              : QVariant(QStringLiteral("%1.%2.%3.%4")
                                                             .arg(state.lan.ip[0])
                                                             .arg(state.lan.ip[1])
                                                             .arg(state.lan.ip[2])
                                                             .arg(state.lan.ip[3]));
    QCOMPARE(actual, expected);
    // The neighbours of the written channel keep their values.
    QCOMPARE(state.channels[1].outFrequency, 122.0f);
    QCOMPARE(state.channels[3].outputOn, quint8(1));
}

void TestSimProtocol::serviceListsFollowTheSelectedChannel()
{
    m_headend->state().channels[3].serviceMode = 128;
    m_headend->state().channels[3].serviceIds = {4001, 4003};
    QCOMPARE(m_client->exchange(frame(3, 0x02, "\x03"), 2), QByteArray("EN"));
    QCOMPARE(read(0, 0x0A, 0, 1), QByteArray(1, char(5)));
    QCOMPARE(m_client->exchange(frame(0, 0x0B, "\x01"), 1), QByteArray(1, char(11)));
    QCOMPARE(m_client->exchange("N", 11), QByteArray("Service 4-2"));
    QCOMPARE(m_client->exchange("N", 2), QByteArray("EN"));
    QCOMPARE(read(0, 0x0C, 1, 2), sim::bigEndian16(4001));
    QCOMPARE(read(0, 0x12, 0, 2), QByteArray::fromHex("8002"));
    QCOMPARE(read(0, 0x13, 1, 2), sim::bigEndian16(4003));
}

void TestSimProtocol::selectionBuiltByCodes()
{
    m_headend->state().channels[5].serviceIds = {1};
    QCOMPARE(m_client->exchange(frame(5, 0x02, "\x05"), 2), QByteArray("EN"));
    QCOMPARE(m_client->exchange(frame(5, 0x0E, "\x01"), 2), QByteArray("EN"));
    QCOMPARE(m_client->exchange(frame(5, 0x0F, QByteArray::fromHex("1771")), 2), QByteArray("EN"));
    QCOMPARE(m_client->exchange(frame(5, 0x0F, QByteArray::fromHex("FFFF")), 2), QByteArray("EN"));
    QCOMPARE(m_client->exchange(frame(5, 0x10), 2), QByteArray("EN"));
    QCOMPARE(m_client->exchange(frame(5, 0x11), 2), QByteArray("EN"));
    const sim::Channel &channel = m_headend->state().channels[5];
    QCOMPARE(channel.serviceMode, quint8(1));
    QCOMPARE(channel.serviceIds, QList<quint16>({6001, 65535}));
    QCOMPARE(read(0, 0x12, 0, 2), QByteArray::fromHex("0102"));
}

void TestSimProtocol::listStringInTwoSteps()
{
    QCOMPARE(m_client->exchange(frame(7, 0x02, "\x07"), 2), QByteArray("EN"));
    QCOMPARE(m_client->exchange(frame(7, 0xA0, QByteArray::fromHex("8002")), 2), QByteArray("OK"));
    QCOMPARE(m_client->exchange(QByteArray::fromHex("1F41"), 0), QByteArray());
    QCOMPARE(m_client->firstArrivalWithin(100ms), QByteArray());
    QCOMPARE(m_client->exchange(QByteArray::fromHex("1F43"), 2), QByteArray("EN"));
    QCOMPARE(m_headend->state().channels[7].serviceMode, quint8(128));
    QCOMPARE(m_headend->state().channels[7].serviceIds, QList<quint16>({8001, 8003}));

    QCOMPARE(m_client->exchange(frame(7, 0xA0, QByteArray::fromHex("0000")), 4),
             QByteArray("OKEN"));
    QCOMPARE(m_headend->state().channels[7].serviceMode, quint8(0));
    QVERIFY(m_headend->state().channels[7].serviceIds.isEmpty());
}

void TestSimProtocol::bulkWriteCoversEveryChannelOfTheVariant()
{
    m_headend->state().identity.variant = 1;
    m_headend->state().channels[8].outFrequency = 999.0f;
    QCOMPARE(m_client->exchange(frame(0, 0x8A), 1), QByteArray("G"));
    for (int ch = 0; ch < 8; ++ch) {
        QByteArray channelFrame = sim::bigEndianFloat(500.0f + ch) + sim::bigEndian16(11000 + ch) +
                                  sim::bigEndian16(10600) + sim::bigEndian16(27500) +
                                  sim::bigEndian16(6875) + QByteArray::fromHex("0100030102030001");
        const bool services = ch == 2;
        channelFrame += services ? QByteArray::fromHex("0201") : QByteArray::fromHex("0000");
        channelFrame.resize(48, '\0');
        if (services) {
            QCOMPARE(m_client->exchange(channelFrame, 1), QByteArray("G"));
            m_client->send(QByteArray::fromHex("00070102"));
        } else {
            m_client->send(channelFrame);
        }
        QCOMPARE(m_client->read(ch < 7 ? 1 : 2), QByteArray(ch < 7 ? "G" : "EN"));
    }
    QCOMPARE(m_client->firstArrivalWithin(100ms), QByteArray());

    const sim::DeviceState &state = m_headend->state();
    QCOMPARE(state.channels[5].outFrequency, 505.0f);
    QCOMPARE(state.channels[5].inFrequency, qint16(11005));
    QCOMPARE(state.channels[5].loFrequency, qint16(10600));
    QCOMPARE(state.channels[5].inSymbolrate, qint16(27500));
    QCOMPARE(state.channels[5].outSymbolrate, qint16(6875));
    QCOMPARE(state.channels[5].polarisation, quint8(1));
    QCOMPARE(state.channels[5].qam, quint8(3));
    QCOMPARE(state.channels[5].opmode, quint8(3));
    QCOMPARE(state.channels[5].loMode, quint8(1));
    QCOMPARE(state.channels[2].serviceMode, quint8(1));
    QCOMPARE(state.channels[2].serviceIds, QList<quint16>({7, 258}));
    QVERIFY(state.channels[3].serviceIds.isEmpty());
    QCOMPARE(state.channels[8].outFrequency, 999.0f);
}

void TestSimProtocol::uploadInBlocksRecordsTheImage()
{
    QByteArray image(1025, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7);
    QCOMPARE(m_client->exchange(frame(0, 0x84, sim::bigEndian32(1025)), 2), QByteArray("OK"));
    QCOMPARE(m_client->exchange(image.left(1024), 2), QByteArray("OK"));
    QCOMPARE(m_client->exchange(image.mid(1024), 4), QByteArray("OKEN"));
    QCOMPARE(m_headend->image(sim::UploadTarget::Controller), image);

    const TranscriptEntry done = m_headend->transcript().constLast();
    QCOMPARE(done.kind, TranscriptEntry::Kind::UploadDone);
    QCOMPARE(done.what, QStringLiteral("controller"));
    QCOMPARE(done.size, 1025);
    QCOMPARE(done.sha256, QCryptographicHash::hash(image, QCryptographicHash::Sha256));
    QCOMPARE(m_headend->transcript()[1].bytes.size(), 1024);
}

// The device counts blocks in a signed 16-bit number. A refused start frame gets no "OK" and
// leaves the device idle, so the "RM" after it opens a session instead of being image data.
void TestSimProtocol::uploadLongerThanTheBlockCountIsRefused_data()
{
    QTest::addColumn<quint32>("length");
    QTest::addColumn<QByteArray>("next");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QList<TranscriptEntry::Kind>>("heard");
    using K = TranscriptEntry::Kind;
    QTest::newRow("32767 blocks") << quint32(32767 * 1024) << "RM" + QByteArray(1022, 'x')
                                  << QByteArray("OKOK") << QList<K>{K::Frame, K::Raw};
    QTest::newRow("one byte more") << quint32(32767 * 1024 + 1) << QByteArray("RM")
                                   << QByteArray("OK") << QList<K>{K::Frame, K::Open};
}

void TestSimProtocol::uploadLongerThanTheBlockCountIsRefused()
{
    QFETCH(quint32, length);
    QFETCH(QByteArray, next);
    QFETCH(QByteArray, answer);
    QFETCH(QList<TranscriptEntry::Kind>, heard);
    m_client->send(frame(0, 0x84, sim::bigEndian32(length)));
    QCOMPARE(m_client->exchange(next, answer.size()), answer);
    QCOMPARE(kinds(), heard);
}

// However long an upload stalls, the device waits for the rest of the image and takes the next
// bytes, a session opening included, as image data; it gives up only when told to.
void TestSimProtocol::stalledUpload_data()
{
    QTest::addColumn<int>("abandonAfterMs"); // 0: never
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QList<TranscriptEntry::Kind>>("heard");
    using K = TranscriptEntry::Kind;
    QTest::newRow("waits for ever")
        << 0 << QByteArray("OKEN") << QList<K>{K::Frame, K::Raw, K::UploadDone};
    QTest::newRow("gives up when told to")
        << 100 << QByteArray("OK") << QList<K>{K::Frame, K::RawTimeout, K::Open};
}

void TestSimProtocol::stalledUpload()
{
    QFETCH(int, abandonAfterMs);
    QFETCH(QByteArray, answer);
    QFETCH(QList<TranscriptEntry::Kind>, heard);
    if (abandonAfterMs > 0) {
        sim::Timing timing = m_headend->timing();
        timing.rawTimeout = std::chrono::milliseconds(abandonAfterMs);
        m_headend->setTiming(timing);
    }
    const QByteArray head(1022, 'x');
    QCOMPARE(m_client->exchange(frame(0, 0x89, sim::bigEndian32(1024)), 2), QByteArray("OK"));
    m_client->send(head);
    if (abandonAfterMs > 0) {
        QTRY_VERIFY(kinds().contains(TranscriptEntry::Kind::RawTimeout));
    } else {
        // Seconds, as an operator takes to decide, and more than the device once waited.
        QTest::qWait(2500);
    }

    QCOMPARE(m_client->exchange("RM", answer.size()), answer);
    QCOMPARE(kinds(), heard);
    QCOMPARE(m_headend->image(sim::UploadTarget::Fpga),
             abandonAfterMs > 0 ? QByteArray() : head + "RM");
}

void TestSimProtocol::storeEndsAfterTheFlashDelay()
{
    QCOMPARE(m_client->exchange(frame(0, 0x8B), 2), QByteArray("OK"));
    QCOMPARE(m_client->firstArrivalWithin(50ms), QByteArray());
    QCOMPARE(m_client->read(2), QByteArray("EN"));
}

void TestSimProtocol::unknownCodesAndStrayContinuesGetNoAnswer()
{
    m_client->send(frame(0, 0xEE));
    m_client->send("N");
    m_client->send(frame(0, 0x50, "\x01"));
    QCOMPARE(m_client->firstArrivalWithin(100ms), QByteArray());
    QCOMPARE(m_client->exchange("RM", 2), QByteArray("OK"));
    const QList<TranscriptEntry> transcript = m_headend->transcript();
    QCOMPARE(transcript.size(), 4);
    QCOMPARE(transcript[0].kind, TranscriptEntry::Kind::Unknown);
    QCOMPARE(transcript[0].code(), 0xEE);
    QCOMPARE(transcript[1].kind, TranscriptEntry::Kind::StrayContinue);
    QCOMPARE(transcript[2].kind, TranscriptEntry::Kind::Unknown);
}

void TestSimProtocol::anAbandonedReadDoesNotSwallowTheNextRequest()
{
    QCOMPARE(m_client->exchange(frame(0, 0x7A), 4), QByteArray::fromHex("0001E240"));
    QCOMPARE(m_client->exchange("RM", 2), QByteArray("OK"));
    QCOMPARE(read(0, 0x59, 0, 1), QByteArray(1, char(5)));
}

void TestSimProtocol::clientsShareOneDevice()
{
    RawClient other;
    QVERIFY(other.connectTo(m_tcp->port()));
    QCOMPARE(m_client->exchange(frame(3, 0x06, "\x02"), 2), QByteArray("EN"));
    QCOMPARE(other.exchange(frame(3, 0x59), 1), QByteArray(1, char(2)));
    QCOMPARE(other.exchange("N", 2), QByteArray("EN"));
}

void TestSimProtocol::restartComesBackOnTheNewPort()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 newPort = probe.serverPort();
    probe.close();

    QSignalSpy restarted(m_tcp.get(), &sim::TcpTransport::restarted);
    const quint8 resets = m_headend->state().diagnostics.resetCount;
    QCOMPARE(m_client->exchange(frame(0, 0x8F, sim::bigEndian16(newPort)), 2), QByteArray("EN"));
    QCOMPARE(m_client->exchange(frame(0, 0x96), 2), QByteArray("EN"));
    QVERIFY(m_client->waitForDisconnect());

    QVERIFY(restarted.wait(3000));
    QCOMPARE(restarted.first().at(1).value<quint16>(), newPort);
    RawClient again;
    QVERIFY(again.connectTo(newPort));
    QCOMPARE(again.exchange("RM", 2), QByteArray("OK"));
    QCOMPARE(m_headend->state().diagnostics.resetCount, quint8(resets + 1));
}

QTEST_GUILESS_MAIN(TestSimProtocol)
#include "tst_simprotocol.moc"
