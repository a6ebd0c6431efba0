#include "link/exchange.h"
#include "link/seriallink.h"

#include "recordingui.h"
#include "scriptedlink.h"

#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;

class TestExchange : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_ui = std::make_unique<RecordingUi>();
        m_link = std::make_unique<ScriptedLink>();
        m_exchange = std::make_unique<Exchange>(*m_ui, m_timing, m_serial, *m_link);
        m_exchange->setSerialSelected(false);
    }

    void answerInChunksCompletesAtLength()
    {
        m_link->reply("\x01", 5ms);
        m_link->reply(QByteArray("\x02\x03", 2), 15ms);
        m_link->reply("\x04", 25ms);
        QVERIFY(m_exchange->get_data(4));
        QCOMPARE(m_exchange->rx_buffer(), QByteArray("\x01\x02\x03\x04"));
        QVERIFY(m_ui->messages.isEmpty());
    }

    void endOfCommandOnlyAsLastTwoCharacters()
    {
        m_link->reply("xxEN", 5ms);
        QVERIFY(m_exchange->command_quit());

        m_exchange->clear_rx();
        m_link->reply("ENx", 5ms);
        QVERIFY(!m_exchange->command_quit());
        QCOMPARE(m_ui->messages.size(), 1);
    }

    void silentHeadendGivesExactlyOneMessagePerWait()
    {
        m_ui->mainWindowEnabled = false;
        QVERIFY(!m_exchange->get_data(1));
        QCOMPARE(m_ui->messages.size(), 1);
        const auto &m = m_ui->messages.first();
        QCOMPARE(m.title, QStringLiteral("Connect Error"));
        QCOMPARE(m.text, QStringLiteral("Connection aborted!"));
        QCOMPARE(m.icon, UserInterface::Icon::Critical);
        QVERIFY(m_ui->mainWindowEnabled);

        QVERIFY(!m_exchange->command_quit());
        QCOMPARE(m_ui->messages.size(), 2);
    }

    void droppedLinkEndsTheWaitAtOnce()
    {
        // The rest of the answer comes long after the drop and long before the limit: only a
        // wait that ends with the link misses it.
        Timing patient = m_timing;
        patient.answerLimit = 1h;
        Exchange exchange(*m_ui, patient, m_serial, *m_link);
        exchange.setSerialSelected(false);
        m_link->reply("\x01", 5ms);
        QTimer::singleShot(20ms, m_link.get(), [this] { m_link->drop(); });
        m_link->reply(QByteArray("\x02\x03\x04"), 30s);
        QVERIFY(!exchange.get_data(4));
        QCOMPARE(exchange.rx_buffer(), QByteArray("\x01"));
        QCOMPARE(m_ui->texts(), QStringList{"Connection aborted!"});
    }

    void babblingHeadendIsBoundedAndFails()
    {
        const QByteArray chunk(8 * 1024, 'x');
        for (int i = 0; i < 12; ++i)
            m_link->reply(chunk, std::chrono::milliseconds(i));
        QVERIFY(!m_exchange->command_quit());
        QVERIFY(m_exchange->rx_buffer().size() <= Exchange::rxLimit);
        QCOMPARE(m_ui->texts(), QStringList{"Connection aborted!"});
        m_exchange->clear_rx();
        m_link->reply("EN", 5ms);
        QVERIFY(m_exchange->command_quit());
    }

    void sendGoesToTheSelectedLink()
    {
        m_exchange->send("abc");
        QCOMPARE(m_link->allWritten(), QByteArray("abc"));
        m_exchange->setSerialSelected(true);
        m_exchange->send("def"); // the serial port is closed: nothing may reach the LAN link
        QCOMPARE(m_link->allWritten(), QByteArray("abc"));
    }

    void closingFrameOnLanSendsNothing()
    {
        m_ui->keepAliveRunning = true;
        QVERIFY(!m_exchange->com_end());
        QVERIFY(m_link->written.isEmpty());
        QVERIFY(!m_ui->keepAliveRunning);
    }

    void waitSecondsLetsEventsRun()
    {
        // An event due just before the end runs inside the wait: the wait lets events through
        // and lasts until its end.
        bool fired = false;
        QTimer::singleShot(25ms, Qt::PreciseTimer, [&] { fired = true; });
        m_exchange->wait_seconds(30ms);
        QVERIFY(fired);
    }

private:
    Timing m_timing = Timing::fast();
    SerialLink m_serial;
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<ScriptedLink> m_link;
    std::unique_ptr<Exchange> m_exchange;
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
