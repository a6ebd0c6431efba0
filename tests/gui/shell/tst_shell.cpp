#include "connectedstation.h"
#include "files.h"
#include "files/settingsmenu.h"
#include "model/settingsfile.h"
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
using Box = QMessageBox;
const BoxRow boxRows[] = {
    {Ui::Icon::Critical, Ui::Buttons::Ok, "OK", Ui::Answer::Ok, Box::Critical},
    {Ui::Icon::Question, Ui::Buttons::OkCancel, "Cancel", Ui::Answer::Cancel, Box::Question},
    {Ui::Icon::Exclamation, Ui::Buttons::AbortRetryIgnore, "Retry", Ui::Answer::Retry,
     Box::Warning},
};

} // namespace

// The main window's flows (the restart of a headend, Save and Load with the file dialogs answered
// by the test), the widget side of the operator interface and the expert login. The reconnect
// wait, the messages' texts, file names, layouts and damaged files are tested at core level.
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
        const auto fault = commandFails ? sim::Fault::DropAnswer : sim::Fault::None;
        f.sim.headend.setFault({.fault = fault, .code = 0x96});

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
        OnNextModal reply([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            shown.setText(box->text());
            shown.setIcon(box->icon());
            shown.setTextFormat(box->textFormat());
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
    void saveAsksBeforeReplacing_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QStringList>("chosen"); // an empty name cancels the dialog
        QTest::addColumn<bool>("saved");
        QTest::addRow("dialog cancelled") << false << QStringList{""} << false;
        QTest::addRow("Cancel asks again") << true << QStringList{"abc", ""} << false;
        QTest::addRow("OK replaces") << true << QStringList{"abc"} << true;
    }

    void saveAsksBeforeReplacing()
    {
        QFETCH(bool, exists);
        QFETCH(QStringList, chosen);
        QFETCH(bool, saved);
        QVERIFY(startMenu());
        m_f->simChannel(4).inFrequency = 11222;
        QVERIFY(!exists || writeFile(path("abc.kdr"), "old"));
        m_f->ui().answers = {chosen.size() == 1 ? Ui::Answer::Ok : Ui::Answer::Cancel};
        m_chosen = chosen;

        m_f->window->item("Save")->trigger();

        QCOMPARE(m_titles, QStringList(chosen.size(), "Save Settings"));
        QCOMPARE(m_f->ui().texts(),
                 exists ? QStringList{"File already exists! Overwrite?"} : QStringList());
        // Without a channel window the headend is read, so the file holds what it has now.
        std::array<ChannelRecord, channelCount> channels{};
        QCOMPARE(!decode_settings(readFile(path("abc.kdr")), channels) &&
                     channels[4].in_frequency == 11222,
                 saved);
        QCOMPARE(QFile::exists(path("abc.rtf")), saved);
    }

    void loadWritesAndReopens_data()
    {
        QTest::addColumn<bool>("old");
        QTest::addRow("current file with services") << false;
        QTest::addRow("old file on an eight-channel headend") << true;
    }

    void loadWritesAndReopens()
    {
        QFETCH(bool, old);
        QVERIFY(startMenu());
        std::array<ChannelRecord, channelCount> channels{};
        for (int ch = 0; ch < channelCount; ++ch)
            channels[ch].in_frequency = static_cast<qint16>(11000 + ch);
        channels[3].service_mode = 1;
        channels[3].service_count = 1;
        channels[3].service_ids[0] = 4003;
        QByteArray image;
        for (int ch = 0; ch < oldRecordCount; ++ch)
            image += encode_settings_record(channels[ch]).left(oldRecordSize);
        if (old)
            m_f->sim.headend.state().identity.variant = *sim::variantForChannelCount(8);
        QVERIFY(writeFile(path("x.kdr"), old ? image : encode_settings(channels)));
        m_f->simChannel(3).serviceIds = {2000};
        m_f->window->addChildWindow(new QWidget);
        m_chosen = {"x.kdr"};

        m_f->window->item("Load")->trigger();

        QVERIFY(m_f->ui().messages.isEmpty());
        QCOMPARE(m_titles, QStringList{"Load Settings"});
        int written = 0;
        for (const sim::TranscriptEntry &entry : m_f->sim.headend.transcript())
            written +=
                entry.kind == sim::TranscriptEntry::Kind::Raw && entry.what == "bulk-channel";
        // The headend's own channel count decides what is sent; an old file has no services.
        QCOMPARE(written, old ? 8 : 12);
        QCOMPARE(m_f->simChannel(3).inFrequency, 11003);
        QCOMPARE(m_f->simChannel(3).serviceIds.value(0), old ? 0 : 4003);
        QCOMPARE(m_f->overviews, 1);
        // The child window that was open went; the channel window is the only one now.
        QTRY_COMPARE(m_f->window->mdiArea()->subWindowList().size(), 1);
    }

private:
    bool startMenu()
    {
        m_f.emplace();
        m_titles.clear();
        if (!m_f->start())
            return false;
        SettingsMenu::of(*m_f->window)->setFileChooser([this](auto, const QString &title) {
            m_titles.append(title);
            return path(m_chosen.value(m_titles.size() - 1));
        });
        return true;
    }

    QString path(const QString &name) const
    {
        return name.isEmpty() ? QString() : m_f->fixture.folder.filePath(name);
    }

    std::optional<ConnectedStation> m_f;
    QStringList m_chosen;
    QStringList m_titles;
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
