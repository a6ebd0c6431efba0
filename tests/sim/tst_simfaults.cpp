#include "rawclient.h"

#include "sim/headend.h"
#include "sim/tcptransport.h"

#include <QTest>
#include <QTimer>

#include <memory>

using sim::Fault;
using sim::FaultPlan;

class TestSimFaults : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void silentAnswersNotEvenTheOpening();
    void lateOkComesAfterTheDelayForEachOpening();
    void droppedFrameChangesNothingAndUsesUpItsCount();
    void garbagePrecedesTheRealAnswer();
    void faultsHitOnlyTheirCode();
    void skippedFramesPassBeforeTheFaultFires();
    void disconnectSendsHalfTheAnswer();
    void babbleKeepsStreaming();
    void throttlePacesBothDirections();

private:
    void plan(Fault fault, int code = -1, int count = -1);

    std::unique_ptr<sim::Headend> m_headend;
    std::unique_ptr<sim::TcpTransport> m_tcp;
    std::unique_ptr<RawClient> m_client;
};

void TestSimFaults::init()
{
    m_headend = std::make_unique<sim::Headend>();
    m_tcp = std::make_unique<sim::TcpTransport>(*m_headend);
    QVERIFY(m_tcp->listen(QHostAddress::LocalHost, 0));
    m_client = std::make_unique<RawClient>();
    QVERIFY(m_client->connectTo(m_tcp->port()));
}

void TestSimFaults::cleanup()
{
    m_client.reset();
    m_tcp.reset();
    m_headend.reset();
}

void TestSimFaults::plan(Fault fault, int code, int count)
{
    FaultPlan plan;
    plan.fault = fault;
    plan.code = code;
    plan.count = count;
    plan.delay = 300ms;
    m_headend->setFault(plan);
}

void TestSimFaults::silentAnswersNotEvenTheOpening()
{
    plan(Fault::Silent);
    m_client->send("RM");
    m_client->send(frame(0, 0x77));
    QCOMPARE(m_client->firstArrivalWithin(200ms), QByteArray());
    QCOMPARE(m_headend->transcript().size(), 2);
}

void TestSimFaults::lateOkComesAfterTheDelayForEachOpening()
{
    plan(Fault::LateOk);
    // Frames are not delayed, so the frame's answer overtakes the "OK" of each opening before it.
    m_client->send("RM");
    m_client->send("RM");
    QCOMPARE(m_client->exchange(frame(0, 0x77), 6), QByteArray("ENOKOK"));
}

void TestSimFaults::droppedFrameChangesNothingAndUsesUpItsCount()
{
    plan(Fault::DropAnswer, 0x06, 1);
    m_client->send(frame(1, 0x06, "\x01"));
    QCOMPARE(m_client->firstArrivalWithin(150ms), QByteArray());
    QCOMPARE(m_headend->state().channels[1].qam, quint8(5));
    QCOMPARE(m_client->exchange(frame(1, 0x06, "\x01"), 2), QByteArray("EN"));
    QCOMPARE(m_headend->state().channels[1].qam, quint8(1));
}

void TestSimFaults::garbagePrecedesTheRealAnswer()
{
    plan(Fault::Garbage);
    QCOMPARE(m_client->exchange(frame(0, 0x7A), 9), QByteArray::fromHex("A55A00FF13"
                                                                        "0001E240"));
    QCOMPARE(m_client->exchange("N", 2), QByteArray("EN"));
}

void TestSimFaults::faultsHitOnlyTheirCode()
{
    plan(Fault::Garbage, 0x52);
    QCOMPARE(m_client->exchange("RM", 2), QByteArray("OK"));
    QCOMPARE(m_client->exchange(frame(0, 0x59), 1), QByteArray(1, char(5)));
    QCOMPARE(m_client->exchange("N", 2), QByteArray("EN"));
    QCOMPARE(m_client->exchange(frame(0, 0x52), 7), QByteArray::fromHex("A55A00FF13"
                                                                        "29F8"));
}

void TestSimFaults::skippedFramesPassBeforeTheFaultFires()
{
    FaultPlan plan;
    plan.fault = Fault::DropAnswer;
    plan.code = 0x06;
    plan.count = 1;
    plan.skip = 1;
    m_headend->setFault(plan);
    QCOMPARE(m_client->exchange(frame(0, 0x59), 1), QByteArray(1, char(5)));
    QCOMPARE(m_client->exchange("N", 2), QByteArray("EN"));
    QCOMPARE(m_client->exchange(frame(1, 0x06, "\x01"), 2), QByteArray("EN"));
    m_client->send(frame(1, 0x06, "\x02"));
    QCOMPARE(m_client->firstArrivalWithin(150ms), QByteArray());
    QCOMPARE(m_headend->state().channels[1].qam, quint8(1));
    QCOMPARE(m_client->exchange(frame(1, 0x06, "\x03"), 2), QByteArray("EN"));
}

void TestSimFaults::disconnectSendsHalfTheAnswer()
{
    plan(Fault::Disconnect, 0x7A);
    QCOMPARE(m_client->exchange(frame(0, 0x7A), 2), QByteArray::fromHex("0001"));
    QVERIFY(m_client->waitForDisconnect());
    QCOMPARE(m_client->socket().bytesAvailable(), 0);

    RawClient next;
    QVERIFY(next.connectTo(m_tcp->port()));
    QCOMPARE(next.exchange("RM", 2), QByteArray("OK"));
}

void TestSimFaults::babbleKeepsStreaming()
{
    plan(Fault::Babble, 0x77, 1);
    QCOMPARE(m_client->exchange(frame(0, 0x77), 2), QByteArray("EN"));
    const QByteArray babble = m_client->read(64 * 1024);
    QCOMPARE(babble.size(), 64 * 1024);
    QVERIFY(!babble.contains("EN") && !babble.contains("OK"));
}

// The paced line lets bytes through a slice at a time in both directions: a block reaches the
// device only after an event due at half its wire time, and an answer arrives in pieces.
void TestSimFaults::throttlePacesBothDirections()
{
    constexpr int Rate = 4000;
    m_headend->setThrottle(Rate);
    QCOMPARE(m_client->exchange(frame(0, 0x84, QByteArray::fromHex("00000800")), 2), "OK");
    bool halfway = false;
    QTimer::singleShot(std::chrono::milliseconds(1024 * 1000 / Rate / 2), Qt::PreciseTimer,
                       [&] { halfway = true; });
    m_client->send(QByteArray(1024, 'a'));
    QCOMPARE(m_client->read(2), QByteArray("OK"));
    QVERIFY(halfway);
    m_client->send(QByteArray(1024, 'b'));
    QCOMPARE(m_client->read(4), QByteArray("OKEN"));

    m_headend->state().identity.deviceType = QString(255, u'x');
    m_headend->setThrottle(1000);
    QCOMPARE(m_client->exchange(frame(0, 0x79), 1), QByteArray(1, char(255)));
    QSignalSpy pieces(&m_client->socket(), &QIODevice::readyRead);
    QCOMPARE(m_client->exchange("N", 255), QByteArray(255, 'x'));
    QVERIFY2(pieces.count() > 2, qPrintable(QString::number(pieces.count())));
}

QTEST_GUILESS_MAIN(TestSimFaults)
#include "tst_simfaults.moc"
