#include "network/formeditlan.h"

#include "connectedstation.h"

#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;
using Kind = sim::TranscriptEntry::Kind;

class TestEditLan : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_station = std::make_unique<ConnectedStation>();
        QVERIFY(m_station->start());
        m_station->station().unit.controller_version = "1.05";
    }

    void cleanup()
    {
        m_form.reset();
        m_station.reset();
    }

    void readingFillsTheBoxes_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<bool>("gateway");
        QTest::newRow("1.02 has no gateway") << QByteArray("1.02") << false;
        QTest::newRow("1.03 has one") << QByteArray("1.03") << true;
        QTest::newRow("1.10 has one") << QByteArray("1.10") << true;
    }

    void readingFillsTheBoxes()
    {
        QFETCH(QByteArray, version);
        QFETCH(bool, gateway);
        m_station->station().unit.controller_version = version;
        m_station->sim.headend.state().lan.ip = {10, 0, 7, 1};
        show();
        QTRY_COMPARE(ui().messages.size(), 1);
        QCOMPARE(m_form->windowTitle(), QStringLiteral("LAN-Parameter"));
        QCOMPARE(ui().messages.first().title, QStringLiteral("Attention"));
        QCOMPARE(octets("Text_IP"), (QStringList{"010", "000", "007", "001"}));
        QCOMPARE(octets("Text_Subnet"), (QStringList{"255", "255", "255", "000"}));
        QCOMPARE(box("Text_Port")->text(), m_station->sim.portText());
        QCOMPARE(box("Text_Gateway_0")->isVisible(), gateway);
        QCOMPARE(m_form->findChild<QLabel *>("Label_Gateway")->isVisible(), gateway);
        QCOMPARE(m_form->findChild<QLabel *>("Label_Punkt_7")->isVisible(), gateway);
        QVERIFY(m_form->findChild<QLabel *>("Label_Punkt_4")->isVisible());
        QCOMPARE(m_station->sim.frames(0xA1).size(), gateway ? 1 : 0);
        if (gateway)
            QCOMPARE(octets("Text_Gateway"), (QStringList{"192", "168", "001", "001"}));
    }

    void octetTyping()
    {
        show();
        QTRY_COMPARE(ui().messages.size(), 1);
        QLineEdit *first = box("Text_IP_0");
        focus(first);
        QTest::keyClicks(first, "3");
        QCOMPARE(first->text(), QStringLiteral("192"));
        QTest::keyClicks(first, "256");
        QCOMPARE(first->text(), QStringLiteral("25"));
        QCOMPARE(QApplication::focusWidget(), first);

        focus(first);
        QTest::keyClicks(first, "26");
        QCOMPARE(first->text(), QStringLiteral("2"));
        QTest::keyClicks(first, "x.");
        // The dot moves on, and the box left behind shows its value in full.
        QCOMPARE(first->text(), QStringLiteral("002"));
        QCOMPARE(QApplication::focusWidget(), box("Text_IP_1"));

        // After the third digit the focus goes on, except from the last box of a row.
        for (int i = 0; i < 4; ++i) {
            QLineEdit *octet = box(QStringLiteral("Text_Subnet_%1").arg(i));
            focus(octet);
            QTest::keyClicks(octet, "200");
            QCOMPARE(octet->text(), QStringLiteral("200"));
            QCOMPARE(QApplication::focusWidget(),
                     i < 3 ? box(QStringLiteral("Text_Subnet_%1").arg(i + 1)) : octet);
        }
        // A full box that is not selected takes no more digits; backspace still works.
        QLineEdit *last = box("Text_Subnet_3");
        last->deselect();
        QTest::keyClicks(last, "1");
        QCOMPARE(last->text(), QStringLiteral("200"));
        QTest::keyClick(last, Qt::Key_Backspace);
        QCOMPARE(last->text(), QStringLiteral("20"));
        QVERIFY(ui().messages.size() == 1);
    }

    void leavingABoxChecksIt_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("after");
        QTest::newRow("port above 65535") << "Text_Port"
                                          << "70000"
                                          << "Error"
                                          << "Max. value 65535"
                                          << "70000";
        QTest::newRow("empty port") << "Text_Port"
                                    << ""
                                    << "Input Error"
                                    << "Please enter a number between 0 and 65535!"
                                    << "";
        QTest::newRow("empty octet") << "Text_IP_2"
                                     << ""
                                     << "Input Error"
                                     << "Please enter a number between 0 and 255!"
                                     << "";
        QTest::newRow("short octet is padded") << "Text_IP_2"
                                               << "07"
                                               << ""
                                               << ""
                                               << "007";
    }

    void leavingABoxChecksIt()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QString, after);
        show();
        QTRY_COMPARE(ui().messages.size(), 1);
        ui().clear();
        QLineEdit *edit = box(name);
        focus(edit);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, typed);

        focus(box("Text_Subnet_0"));

        QCOMPARE(edit->text(), after);
        if (message.isEmpty()) {
            QVERIFY(ui().messages.isEmpty());
            return;
        }
        QCOMPARE(ui().texts(), QStringList{message});
        QCOMPARE(ui().messages.first().title, title);
        QCOMPARE(ui().messages.first().icon, UserInterface::Icon::Critical);
        QTRY_COMPARE(QApplication::focusWidget(), edit);
        QCOMPARE(ui().messages.size(), 1);
    }

    void saveRestartsAndReconnects()
    {
        sim::DeviceState &state = m_station->sim.headend.state();
        state.lan.ip = {127, 0, 0, 1};
        const quint16 newPort = freePort();
        QVERIFY(newPort != 0);
        m_station->setRestartDelay(300ms);
        m_station->station().session.timing.reconnectLimit = 10s;
        m_station->window->addChildWindow(new QWidget);
        // The operator saves once the reading has ended with its warning.
        QTimer save;
        connect(&save, &QTimer::timeout, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || ui().messages.size() != 1)
                return;
            save.stop();
            modal->findChild<QLineEdit *>("Text_Port")->setText(QString::number(newPort));
            modal->findChild<QLineEdit *>("Text_Subnet_3")->setText("128");
            modal->findChild<QPushButton *>("Command_OK")->click();
        });
        save.start(5);

        m_station->window->item("LAN_Parameter")->trigger();

        QCOMPARE(state.lan.port, newPort);
        QCOMPARE(state.lan.mask, (std::array<quint8, 4>{255, 255, 255, 128}));
        QCOMPARE(m_station->sim.frames(0x96).size(), 1);
        QCOMPARE(m_station->station().shell.active_headend_ip, QStringLiteral("127.0.0.1"));
        QCOMPARE(m_station->station().shell.active_headend_port, QString::number(newPort));
        QTRY_COMPARE(m_station->overviews, 1);
        QCOMPARE(m_station->sim.count(Kind::Open), 1);
        QCOMPARE(ui().progressLabels.value(0),
                 QStringLiteral("Headend is now initializing with new LAN-Settings, please "
                                "wait..."));
        QCOMPARE(ui().messages.size(), 1);
        QTRY_COMPARE(m_station->window->mdiArea()->subWindowList().size(), 1);
    }

    void savedAddressLosesItsLeadingZeros()
    {
        sim::DeviceState &state = m_station->sim.headend.state();
        state.lan.ip = {10, 9, 8, 7};
        m_station->setRestartDelay(1h);
        show();
        QTRY_COMPARE(ui().messages.size(), 1);
        const QStringList typed = {"127", "000", "000", "002"};
        for (int i = 0; i < 4; ++i)
            box(QStringLiteral("Text_IP_%1").arg(i))->setText(typed.at(i));
        m_form->findChild<QPushButton *>("Command_OK")->click();

        QCOMPARE(state.lan.ip, (std::array<quint8, 4>{127, 0, 0, 2}));
        QCOMPARE(m_station->station().shell.active_headend_ip, QStringLiteral("127.0.0.2"));
        // The simulator listens on 127.0.0.1 only: the wait ends with the operator's message.
        QTRY_VERIFY_WITH_TIMEOUT(ui().texts().contains(QStringLiteral(
                                     "Reconnect to Headend failed, please try manually!")),
                                 10000);
        QCOMPARE(m_station->overviews, 0);
    }

    void closingWithoutSavingSendsAndAsksNothing()
    {
        show();
        QTRY_COMPARE(ui().messages.size(), 1);
        QLineEdit *edit = box("Text_IP_1");
        focus(edit);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClick(edit, Qt::Key_Escape);
        QTRY_VERIFY(!m_form->isVisible());
        QCOMPARE(ui().messages.size(), 1);
        QCOMPARE(m_station->sim.frames(0x8D).size(), 0);
    }

    void badBoxSendsNothing()
    {
        show();
        QTRY_COMPARE(ui().messages.size(), 1);
        box("Text_Subnet_1")->setText("300");
        m_form->findChild<QPushButton *>("Command_OK")->click();
        QCOMPARE(m_station->sim.frames(0x8D).size(), 0);
        QCOMPARE(m_station->sim.frames(0x96).size(), 0);
        QCOMPARE(ui().messages.size(), 2);
        QVERIFY(m_form->isVisible());
    }

private:
    void show()
    {
        m_form = std::make_unique<Form_Edit_LAN>(m_station->station(), *m_station->window);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    // The box gains the focus the way the operator gives it, even when it had it already.
    void focus(QLineEdit *edit)
    {
        if (edit->hasFocus())
            m_form->findChild<QPushButton *>("Command_OK")->setFocus();
        edit->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), edit);
        QCOMPARE(edit->selectedText(), edit->text());
    }

    static quint16 freePort()
    {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
    }

    QLineEdit *box(const QString &name) const { return m_form->findChild<QLineEdit *>(name); }
    QLineEdit *box(const char *name) const { return box(QLatin1String(name)); }
    QStringList octets(const char *row) const
    {
        QStringList out;
        for (int i = 0; i < 4; ++i)
            out.append(box(QStringLiteral("%1_%2").arg(QLatin1String(row)).arg(i))->text());
        return out;
    }
    RecordingUi &ui() { return m_station->ui(); }

    std::unique_ptr<ConnectedStation> m_station;
    std::unique_ptr<Form_Edit_LAN> m_form;
};

QTEST_MAIN(TestEditLan)
#include "tst_editlan.moc"
