#include "network/formeditlan.h"
#include "network/formproxy.h"

#include "connectedstation.h"
#include "sessionfixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>

using namespace keldor;
using namespace std::chrono_literals;

class TestNetworkWindows : public QObject {
    Q_OBJECT

private slots:
    void lanReadingFillsTheBoxes_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<bool>("gateway");
        QTest::newRow("1.02 has no gateway") << QByteArray("1.02") << false;
        QTest::newRow("1.03 has one") << QByteArray("1.03") << true;
    }
    void lanReadingFillsTheBoxes()
    {
        QFETCH(QByteArray, version);
        QFETCH(bool, gateway);
        ConnectedStation s;
        QVERIFY(s.start());
        s.station().unit.controller_version = version;
        s.sim.headend.state().lan.ip = {10, 0, 7, 1};
        Form_Edit_LAN form(s.station(), *s.window);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTRY_COMPARE(s.ui().messages.size(), 1);
        QStringList boxes;
        for (const char *row : {"Text_IP", "Text_Subnet", "Text_Gateway"}) {
            for (int i = 0; i < 4; ++i)
                boxes.append(
                    form.findChild<QLineEdit *>(QStringLiteral("%1_%2").arg(row).arg(i))->text());
        }
        QCOMPARE(boxes.mid(0, 8), QString("010 000 007 001 255 255 255 000").split(' '));
        QCOMPARE(form.findChild<QLineEdit *>("Text_Port")->text(), s.sim.portText());
        QCOMPARE(form.findChild<QLabel *>("Label_Gateway")->isVisible(), gateway);
        QCOMPARE(form.findChild<QLineEdit *>("Text_Gateway_0")->isVisible(), gateway);
        if (gateway)
            QCOMPARE(boxes.mid(8), QString("192 168 001 001").split(' '));

        // A refused box takes the focus back.
        QLineEdit *octet = form.findChild<QLineEdit *>("Text_IP_2");
        octet->setFocus(Qt::TabFocusReason);
        octet->clear();
        form.findChild<QLineEdit *>("Text_Subnet_0")->setFocus(Qt::TabFocusReason);
        QCOMPARE(s.ui().messages.size(), 2);
        QTRY_COMPARE(QApplication::focusWidget(), octet);
    }

    // The headend restarts with the new settings and is found again where they point.
    void lanSaveRestartReconnect()
    {
        ConnectedStation s;
        QVERIFY(s.start());
        s.station().unit.controller_version = "1.05";
        sim::DeviceState &state = s.sim.headend.state();
        state.lan.ip = {127, 0, 0, 1};
        const quint16 newPort = freePort();
        s.setRestartDelay(300ms);
        s.station().session.timing.reconnectLimit = 10s;
        s.window->addChildWindow(new QWidget);
        // The operator saves once the reading has ended with its warning.
        QTimer save;
        connect(&save, &QTimer::timeout, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || s.ui().messages.size() != 1)
                return;
            save.stop();
            modal->findChild<QLineEdit *>("Text_Port")->setText(QString::number(newPort));
            modal->findChild<QLineEdit *>("Text_Subnet_3")->setText("128");
            modal->findChild<QPushButton *>("Command_OK")->click();
        });
        save.start(5);

        s.window->item("LAN_Parameter")->trigger();

        QCOMPARE(state.lan.port, newPort);
        QCOMPARE(state.lan.mask, (std::array<quint8, 4>{255, 255, 255, 128}));
        QCOMPARE(s.station().shell.active_headend_ip, "127.0.0.1");
        QCOMPARE(s.station().shell.active_headend_port, QString::number(newPort));
        QTRY_COMPARE(s.overviews, 1);
        QCOMPARE(s.sim.count(sim::TranscriptEntry::Kind::Open), 1);
        QCOMPARE(s.ui().progressLabels.value(0),
                 "Headend is now initializing with new LAN-Settings, please wait...");
        QCOMPARE(s.ui().messages.size(), 1);
        QTRY_COMPARE(s.window->mdiArea()->subWindowList().size(), 1);
    }

    // The check box acts at once; OK stores it with the texts, which stay when it is off.
    void proxyStoresItsKeys_data()
    {
        QTest::addColumn<int>("use");
        QTest::newRow("switched on") << 0;
        QTest::newRow("switched off") << 1;
    }
    void proxyStoresItsKeys()
    {
        QFETCH(int, use);
        StationFixture f;
        f.station.shell.proxy_use = qint16(use);
        f.station.shell.proxy_port = "3128";
        Form_Proxy form(f.station);
        form.show();
        auto *ip = form.findChild<QLineEdit *>("Text_IP");
        QCOMPARE(ip->isEnabled(), use == 1);
        form.findChild<QCheckBox *>("Check_Proxy")->click();
        QCOMPARE(f.station.shell.proxy_use, qint16(1 - use));
        QCOMPARE(ip->isEnabled(), use == 0);
        QVERIFY(f.stored("Proxy-Use").isEmpty());
        ip->setText("127.0.0.9");
        form.findChild<QPushButton *>("Command_OK")->click();
        QCOMPARE(QStringList({f.stored("Proxy-Use"), f.stored("Proxy-IP"), f.stored("Proxy-Port")}),
                 QStringList({QString::number(1 - use), "127.0.0.9", "3128"}));
    }
};

QTEST_MAIN(TestNetworkWindows)
#include "tst_networkwindows.moc"
