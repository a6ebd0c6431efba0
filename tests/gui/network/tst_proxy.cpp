#include "network/formproxy.h"

#include "stationfixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace keldor;

class TestProxy : public QObject {
    Q_OBJECT

private slots:
    void loadShowsTheShellState_data()
    {
        QTest::addColumn<int>("use");
        QTest::addColumn<bool>("checked");
        QTest::newRow("in use") << 1 << true;
        QTest::newRow("not in use") << 0 << false;
        QTest::newRow("any other value is off") << 2 << false;
    }

    void loadShowsTheShellState()
    {
        QFETCH(int, use);
        QFETCH(bool, checked);
        StationFixture fixture;
        ShellState &shell = fixture.station.shell;
        shell.proxy_use = qint16(use);
        shell.proxy_ip = QStringLiteral("10.1.1.1");
        shell.proxy_port = QStringLiteral("3128");
        Form_Proxy form(fixture.station);
        QCOMPARE(form.windowTitle(), QStringLiteral("Proxy Settings"));
        QCOMPARE(checkBox(form)->isChecked(), checked);
        QCOMPARE(text(form, "Text_IP")->text(), QStringLiteral("10.1.1.1"));
        QCOMPARE(text(form, "Text_Port")->text(), QStringLiteral("3128"));
        QCOMPARE(text(form, "Text_IP")->isEnabled(), checked);
        QCOMPARE(text(form, "Text_Port")->isEnabled(), checked);
    }

    void checkBoxActsAtOnceButIsNotStored()
    {
        StationFixture fixture;
        fixture.settings.setValue("Settings/Proxy-Use", "0");
        Form_Proxy form(fixture.station);
        form.show();
        checkBox(form)->click();
        QCOMPARE(fixture.station.shell.proxy_use, qint16(1));
        QVERIFY(text(form, "Text_IP")->isEnabled());
        form.close();
        QCOMPARE(fixture.station.shell.proxy_use, qint16(1));
        QCOMPARE(fixture.stored("Proxy-Use"), QStringLiteral("0"));
    }

    void okStoresInOrder()
    {
        StationFixture fixture;
        Form_Proxy form(fixture.station);
        form.show();
        checkBox(form)->click();
        text(form, "Text_IP")->setText(QStringLiteral("192.168.0.1"));
        text(form, "Text_Port")->setText(QStringLiteral("8080"));
        QTest::keyClick(text(form, "Text_Port"), Qt::Key_Return);
        QCOMPARE(fixture.stored("Proxy-Use"), QStringLiteral("1"));
        QCOMPARE(fixture.stored("Proxy-IP"), QStringLiteral("192.168.0.1"));
        QCOMPARE(fixture.stored("Proxy-Port"), QStringLiteral("8080"));
        QCOMPARE(fixture.station.shell.proxy_ip, QStringLiteral("192.168.0.1"));
        QVERIFY(!form.isVisible());
    }

    void okWithTheBoxUncheckedKeepsTheTexts()
    {
        StationFixture fixture;
        fixture.station.shell.proxy_use = 1;
        fixture.station.shell.proxy_ip = QStringLiteral("10.1.1.1");
        fixture.station.shell.proxy_port = QStringLiteral("3128");
        Form_Proxy form(fixture.station);
        checkBox(form)->click();
        form.findChild<QPushButton *>("Command_OK")->click();
        QCOMPARE(fixture.stored("Proxy-Use"), QStringLiteral("0"));
        QCOMPARE(fixture.stored("Proxy-IP"), QStringLiteral("10.1.1.1"));
        QCOMPARE(fixture.stored("Proxy-Port"), QStringLiteral("3128"));
    }

private:
    static QCheckBox *checkBox(Form_Proxy &form)
    {
        return form.findChild<QCheckBox *>("Check_Proxy");
    }
    static QLineEdit *text(Form_Proxy &form, const char *name)
    {
        return form.findChild<QLineEdit *>(name);
    }
};

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
