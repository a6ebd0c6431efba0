#include "shell/widgetui.h"

#include "shell/form2.h"
#include "shell/mdiform1.h"
#include "stationfixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

using namespace keldor;

// The widget side of the operator interface, driven the way the core drives it.
class TestWidgetUi : public QObject {
    Q_OBJECT

private slots:
    void messageBoxShowsTheTextWithLineBreaks_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("boxIcon");
        using UI = UserInterface;
        QTest::newRow("critical ok") << int(UI::Icon::Critical) << int(UI::Buttons::Ok) << "OK"
                                     << int(UI::Answer::Ok) << int(QMessageBox::Critical);
        QTest::newRow("question cancel")
            << int(UI::Icon::Question) << int(UI::Buttons::OkCancel) << "Cancel"
            << int(UI::Answer::Cancel) << int(QMessageBox::Question);
        QTest::newRow("exclamation retry")
            << int(UI::Icon::Exclamation) << int(UI::Buttons::AbortRetryIgnore) << "Retry"
            << int(UI::Answer::Retry) << int(QMessageBox::Warning);
        QTest::newRow("no icon") << int(UI::Icon::None) << int(UI::Buttons::Ok) << "OK"
                                 << int(UI::Answer::Ok) << int(QMessageBox::NoIcon);
    }

    void messageBoxShowsTheTextWithLineBreaks()
    {
        QFETCH(int, icon);
        QFETCH(int, buttons);
        QFETCH(QString, press);
        QFETCH(int, answer);
        QFETCH(int, boxIcon);
        WidgetUi ui;
        QString title;
        QString text;
        int shownIcon = -1;
        Qt::TextFormat format = Qt::AutoText;
        Qt::CursorShape cursor = Qt::BusyCursor;
        ui.setBusy(true);
        OnNextModal reply([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            title = box->windowTitle();
            text = box->text();
            shownIcon = box->icon();
            format = box->textFormat();
            cursor = QApplication::overrideCursor()->shape();
            for (QAbstractButton *button : box->buttons()) {
                if (button->text().remove(QLatin1Char('&')) == press)
                    button->click();
            }
        });

        const auto result =
            ui.message(UserInterface::Icon(icon), QStringLiteral("Error"),
                       QStringLiteral("one\rtwo\r\nthree"), UserInterface::Buttons(buttons));

        QCOMPARE(int(result), answer);
        QCOMPARE(title, QStringLiteral("Error"));
        QCOMPARE(text, QStringLiteral("one\ntwo\nthree"));
        QCOMPARE(shownIcon, boxIcon);
        // A directory name or a headend text that begins with a tag shows as it is.
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(cursor, Qt::ArrowCursor);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ui.setBusy(false);
        QVERIFY(!QApplication::overrideCursor());
    }

    void busyCursorNests()
    {
        WidgetUi ui;
        {
            BusyCursor outer(ui);
            {
                BusyCursor inner(ui);
                QCOMPARE(ui.busyDepth(), 2);
            }
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QVERIFY(!QApplication::overrideCursor());
        // An unbalanced release must not take away a pointer somebody else set.
        QApplication::setOverrideCursor(Qt::CrossCursor);
        ui.setBusy(false);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
        QApplication::restoreOverrideCursor();
    }

    void drivesTheMainWindow()
    {
        StationFixture fixture;
        WidgetUi ui;
        Station station(ui, fixture.store, Timing::fast());
        fixture.settings.setValue("Settings/LAN-Control", "True");
        MDIForm1 window(station);
        ui.attach(window);
        // What the window showed while it was built, before it was attached.
        QCOMPARE(window.statusPanel(3), QStringLiteral("Offline"));
        QVERIFY(!window.statusPanel(1).isEmpty());

        // Headend names come from the directory: shown as typed, never as markup.
        ui.setStatusPanel(2, QStringLiteral("Active Headend: <b>Rack</b>"));
        QCOMPARE(window.statusPanel(2), QStringLiteral("Active Headend: <b>Rack</b>"));
        QCOMPARE(window.findChild<QLabel *>("Panel2")->textFormat(), Qt::PlainText);

        ui.setConnectionModeLocked(true);
        QVERIFY(!window.item("USB")->isEnabled());
        QVERIFY(!window.item("LAN")->isEnabled());
        ui.setConnectionModeLocked(false);
        QVERIFY(window.item("USB")->isEnabled());

        ui.showProgress(QStringLiteral("Attempting to connect to Headend Rack..."), 100);
        ui.setMainWindowEnabled(false);
        QVERIFY(!window.menuBar()->isEnabled());
        // The progress window belongs to the main window but must stay readable.
        QVERIFY(ui.progressWindow().isEnabled());
        QVERIFY(ui.progressWindow().isVisible());
        QCOMPARE(ui.progressWindow().findChild<QLabel *>("Label1")->text(),
                 QStringLiteral("Attempting to connect to Headend Rack..."));
        QCOMPARE(ui.progressWindow().findChild<QLabel *>("Label1")->textFormat(), Qt::PlainText);
        ui.setProgressValue(40);
        QCOMPARE(ui.progressValue(), 40);
        QCOMPARE(ui.progressWindow().findChild<QProgressBar *>("ProgressBar1")->value(), 40);
        ui.closeProgress();
        QVERIFY(!ui.progressWindow().isVisible());
        ui.setMainWindowEnabled(true);
        QVERIFY(window.menuBar()->isEnabled());
    }

    void keepAliveTimer()
    {
        StationFixture fixture;
        WidgetUi ui;
        Station station(ui, fixture.store, Timing::fast());
        MDIForm1 window(station);
        ui.attach(window);
        QCOMPARE(ui.keepAliveTimer().objectName(), QStringLiteral("Timer1"));
        QCOMPARE(ui.keepAliveTimer().intervalAsDuration(),
                 station.session.timing.keepAliveInterval);
        QCOMPARE(Timing().keepAliveInterval, std::chrono::milliseconds(60000));

        // A tick over USB without a headend fails the write, which stops the timer.
        ui.setKeepAliveRunning(true);
        QVERIFY(ui.keepAliveTimer().isActive());
        QTimer answer;
        connect(&answer, &QTimer::timeout, [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        answer.start(5);
        QSignalSpy ticks(&ui.keepAliveTimer(), &QTimer::timeout);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() > 0 && !ui.keepAliveTimer().isActive(), 5000);
    }
};

QTEST_MAIN(TestWidgetUi)
#include "tst_widgetui.moc"
