#include "connectedstation.h"
#include "shell/frmlogin.h"
#include "shell/widgetui.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMdiArea>
#include <QMessageBox>

using namespace keldor;
using namespace std::chrono_literals;
using Ui = UserInterface;

namespace {

struct BoxRow {
    Ui::Icon icon;
    Ui::Buttons buttons;
    const char *press;
    Ui::Answer answer;
    QMessageBox::Icon shown;
};
const BoxRow boxRows[] = {
    {Ui::Icon::Critical, Ui::Buttons::Ok, "OK", Ui::Answer::Ok, QMessageBox::Critical},
    {Ui::Icon::Question, Ui::Buttons::OkCancel, "Cancel", Ui::Answer::Cancel,
     QMessageBox::Question},
    {Ui::Icon::Exclamation, Ui::Buttons::AbortRetryIgnore, "Retry", Ui::Answer::Retry,
     QMessageBox::Warning},
};

} // namespace

// The restart of a headend through the main window, the widget side of the operator interface
// and the expert login. The reconnect wait and the messages' texts are tested at core level.
class TestShell : public QObject {
    Q_OBJECT

private slots:
    void resetRestartsAndReconnects_data()
    {
        QTest::addColumn<bool>("commandFails");
        QTest::addRow("headend comes back") << false;
        QTest::addRow("reset command fails") << true;
    }

    void resetRestartsAndReconnects()
    {
        QFETCH(bool, commandFails);
        ConnectedStation f;
        QVERIFY(f.start());
        f.setRestartDelay(300ms);
        // Room for a slow machine; the wait ends as soon as the headend is back.
        f.station().session.timing.reconnectLimit = 10s;
        f.window->addChildWindow(new QWidget);
        sim::FaultPlan plan;
        plan.fault = commandFails ? sim::Fault::DropAnswer : sim::Fault::None;
        plan.code = 0x96;
        f.sim.headend.setFault(plan);

        f.window->item("Reset_Headend")->trigger();

        QCOMPARE(f.ui().messages.isEmpty(), !commandFails);
        QCOMPARE(f.ui().progressLabels.isEmpty(), commandFails);
        QCOMPARE(f.overviews, int(!commandFails));
        QCOMPARE(f.ui().panels[2], "Online");
        QCOMPARE(f.ui().busyDepth, 0);
        // The old child goes only when the new overview comes.
        QTRY_COMPARE(f.window->mdiArea()->subWindowList().size(), 1);
        if (!commandFails)
            QCOMPARE(f.sim.frames(0x96).size(), 1);
    }

    void messageBoxIsPlainAndAnswers_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(boxRows)); ++i)
            QTest::addRow("%s", boxRows[i].press) << i;
    }

    void messageBoxIsPlainAndAnswers()
    {
        QFETCH(int, row);
        const BoxRow &r = boxRows[row];
        WidgetUi ui;
        QMessageBox shown;
        Qt::CursorShape cursor = Qt::BusyCursor;
        ui.setBusy(true);
        OnNextModal reply([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            shown.setText(box->text());
            shown.setIcon(box->icon());
            shown.setTextFormat(box->textFormat());
            cursor = QApplication::overrideCursor()->shape();
            for (QAbstractButton *button : box->buttons()) {
                if (button->text().remove('&') == QLatin1String(r.press))
                    button->click();
            }
        });

        QCOMPARE(ui.message(r.icon, "Error", "<b>one\rtwo\r\nthree", r.buttons), r.answer);
        QCOMPARE(shown.text(), QStringLiteral("<b>one\ntwo\nthree"));
        QCOMPARE(shown.icon(), r.shown);
        // A directory name or a headend text that begins with a tag shows as it is.
        QCOMPARE(shown.textFormat(), Qt::PlainText);
        QCOMPARE(cursor, Qt::ArrowCursor);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ui.setBusy(false);
        QVERIFY(!QApplication::overrideCursor());
    }

    void expertLogin_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("expert");
        QTest::addRow("right") << "41806" << true;
        QTest::addRow("wrong") << "41807" << false;
        QTest::addRow("leading blank") << " 41806" << false;
        QTest::addRow("longer") << "418060" << false;
        QTest::addRow("empty") << "" << false;
    }

    void expertLogin()
    {
        QFETCH(QString, code);
        QFETCH(bool, expert);
        StationFixture f;
        frmLogin login(f.station);
        login.show();
        auto *password = login.findChild<QLineEdit *>("txtPassword");
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QTest::keyClicks(password, code);
        QTest::keyClick(password, Qt::Key_Return);
        QCOMPARE(f.station.shell.expert_mode, expert);
        QCOMPARE(login.isVisible(), !expert);
        QCOMPARE(f.ui.texts(),
                 expert ? QStringList() : QStringList{"Invalid Password. Please try again!"});
        // Abbrechen, or Esc, ends the expert mode.
        QTest::keyClick(&login, Qt::Key_Escape);
        QVERIFY(!f.station.shell.expert_mode);
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
