#include "link/session.h"
#include "protocol/parameters.h"

#include "recordingui.h"
#include "simfixture.h"

#include <QTest>

using namespace keldor;

class TestSerial : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_ui = std::make_unique<RecordingUi>();
        m_session = std::make_unique<Session>(*m_ui, Timing::fast());
    }

    void discoverySkipsMissingAndSilentPorts()
    {
        SimHeadend silent;
        sim::FaultPlan quiet;
        quiet.fault = sim::Fault::Silent;
        silent.headend.setFault(quiet);
        SimHeadend good;
        QVERIFY2(silent.openPty(), qPrintable(silent.pty.errorString()));
        QVERIFY2(good.openPty(), qPrintable(good.pty.errorString()));
        m_session->usbPorts = [&] {
            return QStringList{"/dev/nonexistent-tty", silent.pty.slavePath(),
                               good.pty.slavePath()};
        };

        QVERIFY(check_device_present(*m_session));
        QCOMPARE(m_session->serial.portName(), good.pty.slavePath());
        QVERIFY(m_ui->messages.isEmpty());
        QVERIFY(m_ui->connectionModeLocked);
        QCOMPARE(m_ui->busyDepth, 0);
        QCOMPARE(silent.count(sim::TranscriptEntry::Kind::Open), 1);
        QCOMPARE(good.count(sim::TranscriptEntry::Kind::Open), 1);

        ParamValue value;
        QVERIFY(read_parameter(m_session->exchange, 0, 0x7A, 0, value));
        QCOMPARE(value.toInt(), 123456);
        QVERIFY(set_parameter(m_session->exchange, 1, 0x65, QStringLiteral("11000")));
        QCOMPARE(good.headend.state().channels[1].inFrequency, qint16(11000));

        QVERIFY(m_session->exchange.com_end());
        const auto closing = good.frames(0x50);
        QCOMPARE(closing.size(), 1);
        QCOMPARE(closing.first().bytes, QByteArray("\x00P\x00\x00\x00\x00\x00\x00\x00\x00", 10));
    }

    void noDeviceFound()
    {
        SimHeadend silent;
        sim::FaultPlan quiet;
        quiet.fault = sim::Fault::Silent;
        silent.headend.setFault(quiet);
        QVERIFY(silent.openPty());
        m_session->usbPorts = [&] {
            return QStringList{silent.pty.slavePath()};
        };

        QVERIFY(!check_device_present(*m_session));
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Error"));
        QCOMPARE(m_ui->messages.first().icon, UserInterface::Icon::Critical);
        QCOMPARE(m_ui->messages.first().text,
                 QStringLiteral("No Device found!\r\nPlease check connection (LED beneath USB-Port "
                                "permanently green)\r\nand try again."));
        QVERIFY(!m_ui->connectionModeLocked);

        m_ui->clear();
        m_session->usbPorts = [] {
            return QStringList();
        };
        QVERIFY(!check_device_present(*m_session));
        QCOMPARE(m_ui->messages.size(), 1);
    }

    void unpluggedAdapterEndsTheWait()
    {
        auto device = std::make_unique<SimHeadend>();
        QVERIFY(device->openPty());
        m_session->usbPorts = [&] {
            return QStringList{device->pty.slavePath()};
        };
        QVERIFY(check_device_present(*m_session));
        device.reset(); // the pty disappears like a pulled USB cable
        ParamValue value;
        QVERIFY(!read_parameter(m_session->exchange, 0, 0x7A, 0, value));
        QCOMPARE(m_ui->texts(), QStringList{"Connection aborted!"});
    }

private:
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<Session> m_session;
};

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
