#include "rawclient.h"

#include "sim/headend.h"
#include "sim/ptytransport.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

// The client's end of the pseudo-terminal, opened the way a serial port is.
class PtyClient {
public:
    explicit PtyClient(const QString &path)
        : m_fd(::open(qPrintable(path), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        if (m_fd >= 0)
            m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    }
    ~PtyClient()
    {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool isOpen() const { return m_fd >= 0; }
    void send(const QByteArray &bytes)
    {
        QCOMPARE(::write(m_fd, bytes.data(), bytes.size()), bytes.size());
    }

    // Up to n bytes within the limit; stops early when the line hangs up.
    QByteArray read(qsizetype n, std::chrono::milliseconds limit = 3s)
    {
        QDeadlineTimer deadline(limit);
        QSignalSpy readable(m_notifier.get(), &QSocketNotifier::activated);
        while (m_received.size() < n && !m_hungUp) {
            char chunk[256];
            const ssize_t count = ::read(m_fd, chunk, sizeof chunk);
            if (count > 0)
                m_received.append(chunk, count);
            else if (count == 0 || errno != EAGAIN)
                m_hungUp = true;
            else if (deadline.hasExpired() ||
                     !readable.wait(int(qMax<qint64>(1, deadline.remainingTime()))))
                break;
        }
        return std::exchange(m_received, {});
    }

    bool hungUp() const { return m_hungUp; }

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_received;
    bool m_hungUp = false;
};

class TestSimPty : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void answersTheSessionOpening();
    void linkPointsAtTheSlave();
    void linkNeverReplacesAFile();
    void hangUpReopensOnAFreshSlave();
    void restartKeepsTheLineQuietForAWhile();

private:
    std::unique_ptr<sim::Headend> m_headend;
    std::unique_ptr<sim::PtyTransport> m_pty;
    QTemporaryDir m_dir;
};

void TestSimPty::init()
{
    m_headend = std::make_unique<sim::Headend>();
    m_headend->setTiming({200ms, 200ms, 20ms, 300ms});
    m_pty = std::make_unique<sim::PtyTransport>(*m_headend);
    QVERIFY2(m_pty->open(m_dir.filePath("ttyKELDOR")), qPrintable(m_pty->errorString()));
}

void TestSimPty::cleanup()
{
    m_pty.reset();
    m_headend.reset();
}

void TestSimPty::answersTheSessionOpening()
{
    PtyClient client(m_pty->slavePath());
    QVERIFY(client.isOpen());
    client.send("RM");
    QCOMPARE(client.read(2), QByteArray("OK"));
    // Raw mode: the carriage return in the code byte and the zeros arrive untranslated.
    client.send(frame(0, 0x0D));
    QCOMPARE(client.read(2), QByteArray("EN"));
    QCOMPARE(m_headend->transcript().last().bytes, frame(0, 0x0D));
}

void TestSimPty::linkPointsAtTheSlave()
{
    QCOMPARE(QFileInfo(m_dir.filePath("ttyKELDOR")).symLinkTarget(), m_pty->slavePath());
    PtyClient client(m_dir.filePath("ttyKELDOR"));
    client.send("RM");
    QCOMPARE(client.read(2), QByteArray("OK"));
}

void TestSimPty::linkNeverReplacesAFile()
{
    const QString path = m_dir.filePath("notes.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep") == 4);
    file.close();
    sim::PtyTransport other(*m_headend);
    QVERIFY(!other.open(path));
    QVERIFY2(other.errorString().startsWith(path), qPrintable(other.errorString()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep"));
}

void TestSimPty::hangUpReopensOnAFreshSlave()
{
    sim::FaultPlan plan;
    plan.fault = sim::Fault::Disconnect;
    plan.count = 1;
    m_headend->setFault(plan);
    QSignalSpy reopened(m_pty.get(), &sim::PtyTransport::reopened);

    PtyClient client(m_pty->slavePath());
    client.send(frame(0, 0x77));
    QCOMPARE(client.read(2), QByteArray("E"));
    QVERIFY(client.hungUp());

    QVERIFY(reopened.count() == 1 || reopened.wait(2000));
    QCOMPARE(reopened.first().first().toString(), m_pty->slavePath());
    PtyClient again(m_dir.filePath("ttyKELDOR"));
    again.send("RM");
    QCOMPARE(again.read(2), QByteArray("OK"));
}

void TestSimPty::restartKeepsTheLineQuietForAWhile()
{
    PtyClient client(m_pty->slavePath());
    client.send(frame(0, 0x96));
    QCOMPARE(client.read(2), QByteArray("EN"));
    QSignalSpy down(m_headend.get(), &sim::Headend::wentDown);
    QVERIFY(down.wait(1000));
    client.send("RM");
    QCOMPARE(client.read(2, 100ms), QByteArray());

    QSignalSpy up(m_headend.get(), &sim::Headend::cameUp);
    QVERIFY(up.wait(2000));
    client.send("RM");
    QCOMPARE(client.read(2), QByteArray("OK"));
}

QTEST_GUILESS_MAIN(TestSimPty)
#include "tst_simpty.moc"
