#include "shell/formfilelist.h"
#include "shell/frmlogin.h"

#include "stationfixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace keldor;

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void wrongThenRightCode()
    {
        StationFixture fixture;
        frmLogin login(fixture.station);
        login.show();
        auto *password = login.findChild<QLineEdit *>("txtPassword");
        auto *ok = login.findChild<QPushButton *>("cmdOK");
        QCOMPARE(password->echoMode(), QLineEdit::Password);

        QTest::keyClicks(password, "41807");
        ok->click();
        QCOMPARE(fixture.ui.messages.size(), 1);
        QCOMPARE(fixture.ui.messages.first().title, QStringLiteral("Expert Password"));
        QCOMPARE(fixture.ui.messages.first().text,
                 QStringLiteral("Invalid Password. Please try again!"));
        QCOMPARE(fixture.ui.messages.first().icon, UserInterface::Icon::None);
        QVERIFY(login.isVisible());
        QCOMPARE(password->text(), QStringLiteral("41807"));
        QVERIFY(!fixture.station.shell.expert_mode);

        password->setText(QStringLiteral("41806"));
        QTest::keyClick(password, Qt::Key_Return);
        QVERIFY(fixture.station.shell.expert_mode);
        QCOMPARE(login.result(), int(QDialog::Accepted));
        QCOMPARE(fixture.ui.messages.size(), 1);
    }

    void codeIsComparedExactly_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("leading blank") << " 41806";
        QTest::newRow("longer") << "418060";
        QTest::newRow("empty") << "";
    }

    void codeIsComparedExactly()
    {
        QFETCH(QString, code);
        StationFixture fixture;
        frmLogin login(fixture.station);
        login.findChild<QLineEdit *>("txtPassword")->setText(code);
        login.findChild<QPushButton *>("cmdOK")->click();
        QVERIFY(!fixture.station.shell.expert_mode);
        QCOMPARE(fixture.ui.messages.size(), 1);
    }

    void cancelEndsExpertMode_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("Abbrechen") << false;
        QTest::newRow("Esc") << true;
    }

    void cancelEndsExpertMode()
    {
        QFETCH(bool, byEscape);
        StationFixture fixture;
        fixture.station.shell.expert_mode = true;
        frmLogin login(fixture.station);
        login.show();
        auto *cancel = login.findChild<QPushButton *>("cmdCancel");
        QCOMPARE(cancel->text(), QStringLiteral("Abbrechen"));
        if (byEscape)
            QTest::keyClick(&login, Qt::Key_Escape);
        else
            cancel->click();
        QVERIFY(!fixture.station.shell.expert_mode);
        QVERIFY(!login.isVisible());
    }

    void fileListChoice()
    {
        StationFixture fixture;
        fixture.station.unit.settings_file_name = QStringLiteral("/old/path");
        {
            Form_Filelist list(fixture.station);
            list.list()->addItems({"KELDOR_FW_2.UC3", "KELDOR_FW_3.UC3"});
            list.show();
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
            emit list.list()->itemActivated(list.list()->item(1));
            QCOMPARE(list.result(), int(QDialog::Accepted));
        }
        QCOMPARE(fixture.station.unit.settings_file_name,
                 fixture.folder.filePath(QStringLiteral("KELDOR_FW_3.UC3")));
        QVERIFY(!QApplication::overrideCursor());
    }

    void fileListClosedWithoutChoiceKeepsThePath()
    {
        StationFixture fixture;
        fixture.station.unit.settings_file_name = QStringLiteral("/old/path");
        Form_Filelist list(fixture.station);
        list.list()->addItems({"KELDOR_FW_2.UC3"});
        list.show();
        list.close();
        QCOMPARE(fixture.station.unit.settings_file_name, QStringLiteral("/old/path"));
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
