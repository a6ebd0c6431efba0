#include "connectedstation.h"
#include "core/features/update/backup.h"
#include "core/model/headendsettings.h"
#include "core/model/servicelists.h"
#include "core/model/settingsfile.h"
#include "core/model/unitdiff.h"
#include "core/protocol/parameters.h"
#include "core/protocol/parametertable.h"
#include "ctlrunner.h"
#include "files.h"
#include "gui/app/expertlogin.h"
#include "gui/app/widgetui.h"
#include "gui/directory/directoryeditor.h"
#include "gui/directory/headendpicker.h"
#include "gui/files/settingsmenu.h"
#include "gui/network/lansettingsdialog.h"
#include "gui/network/proxydialog.h"
#include "gui/traffic/trafficmenu.h"
#include "gui/traffic/trafficwindow.h"
#include "gui/update/updatewindow.h"
#include "rawdirectory.h"
#include "sessionfixture.h"

using namespace keldor;
using namespace std::chrono_literals;
using Ui = UserInterface;
using Answer = Ui::Answer;
using Kind = sim::TranscriptEntry::Kind;
using Rows = QList<HeadendEntry>;

namespace {

// clang-format off
struct BoxRow { const char *name; Ui::Icon icon; Ui::Buttons buttons; Answer answer; QMessageBox::Icon shown; }
const boxRows[] = {
    {"OK", Ui::Icon::Critical, Ui::Buttons::Ok, Ui::Answer::Ok, QMessageBox::Critical},
    {"Cancel", Ui::Icon::Question, Ui::Buttons::OkCancel, Ui::Answer::Cancel, QMessageBox::Question},
    {"Retry", Ui::Icon::Exclamation, Ui::Buttons::AbortRetryIgnore, Ui::Answer::Retry, QMessageBox::Warning},
};

Rows rows(int count, int changedRow = -1, const QString &port = {}, int deleted = -1)
{
    Rows out;
    for (const QString name : {"A", "B", "C", "D", "E"})
        out.append({name, "Hall " + name, "10.0.0.1", out.size() == changedRow ? port : "4001"});
    if (deleted >= 0)
        out.removeAt(deleted);
    return out.mid(0, count);
}

// Steps: a button, a navigator move, or "Box=text" typed into a box.
struct Flow { const char *name; int count; const char *steps; Answer answer; Rows after; const char *caption; }
const flows[] = {
    {"add and save", 5, "AddNew|Text_Name=R7|Text_IP=192.168.1.20|Save", Answer::Ok, rows(5) + Rows{{"R7", "", "192.168.1.20", ""}}, "Headend (6/6)"},
    {"save into an empty directory", 0, "Modify|Text_Name=R9|Save", Answer::Ok, Rows{{"R9", "", "", ""}}, "Headend (1/1)"},
    {"written when the navigator moves", 5, "next|Modify|Text_Port=5000|next", Answer::Ok, rows(5, 1, "5000"), "Headend (3/5)"},
    {"navigator stops at the ends", 5, "last|next|previous|first|previous", Answer::Ok, rows(5), "Headend (1/5)"},
    {"delete the third", 5, "next|next|Delete", Answer::Ok, rows(4, -1, {}, 2), "Headend (2/4)"},
    {"delete cancelled", 5, "Modify|Delete", Answer::Cancel, rows(5), "Headend (1/5)"},
    {"delete the only row", 1, "Delete", Answer::Ok, Rows{}, "Headend (1/0)"},
};
// clang-format on

} // namespace

// The main window's flows (headend restart, Save and Load with the file dialogs answered by the
// test, the LAN, proxy, update and directory windows), the widget side of the operator interface
// and the expert login. Reconnect waits, texts, file names, layouts and damaged files: core level.
class TestShell : public QObject {
    Q_OBJECT

private slots:
    void init() { m_d.emplace(); }
    void cleanup() { m_window.reset(), m_d.reset(), m_f.reset(); }

    void resetRestartsAndReconnects()
    {
        for (const bool commandFails : {false, true}) {
            ConnectedStation f;
            QVERIFY(f.start());
            f.setRestartDelay(300ms);
            f.window->addChildWindow(new QWidget);
            f.sim.headend.setFault(
                {.fault = commandFails ? sim::Fault::DropAnswer : sim::Fault::None, .code = 0x96});

            f.window->item("Reset_Headend")->trigger();

            QCOMPARE(f.ui().messages.isEmpty(), !commandFails);
            QCOMPARE(f.ui().progressLabels.isEmpty(), commandFails);
            QCOMPARE(f.overviews, int(!commandFails));
            QVERIFY(f.ui().panels[2] == "Online" && f.ui().busyDepth == 0);
            // The old child goes only when the new overview comes.
            QTRY_COMPARE(f.window->mdiArea()->subWindowList().size(), 1);
            QVERIFY(commandFails || f.sim.frames(0x96).size() == 1);
        }
    }

    void messageBoxIsPlainAndAnswers_data() { addRows(boxRows); }

    void messageBoxIsPlainAndAnswers()
    {
        const BoxRow &r = fetchRow(boxRows);
        WidgetUi ui;
        QStringList shown;
        OnNextModal reply([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            // A directory name or a headend text that begins with a tag shows as it is.
            shown = {box->text(), QString::number(box->icon()), QString::number(box->textFormat())};
            for (QAbstractButton *button : box->buttons()) {
                if (button->text().remove('&') == QLatin1String(r.name))
                    button->click();
            }
        });

        QCOMPARE(ui.message(r.icon, "Error", "<b>one\rtwo\r\nthree", r.buttons), r.answer);
        QCOMPARE(shown, QStringList({"<b>one\ntwo\nthree", QString::number(r.shown),
                                     QString::number(Qt::PlainText)}));
    }

    // While an exchange runs no click or key reaches a child window or its drop-down list; the
    // window keeps its look and its focus, and a message box still takes its answer. Between
    // exchanges that follow each other the window stays blocked; it comes back with the event
    // loop, as does the drawing of a child window.
    void mainWindowTakesNoInputDuringAnExchange()
    {
        StationFixture f;
        WidgetUi ui;
        MainWindow window(f.station);
        ui.attach(window);
        auto *content = new QWidget;
        auto *layout = new QVBoxLayout(content);
        auto *button = new QPushButton("Set");
        auto *field = new QLineEdit;
        auto *list = new QComboBox;
        list->addItems({"QAM-64", "QAM-256"});
        layout->addWidget(button);
        layout->addWidget(field);
        layout->addWidget(list);
        QMdiSubWindow *child = window.addChildWindow(content);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        field->setFocus();
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });
        const auto operate = [&] {
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::keyClicks(field, "7");
            list->showPopup();
            QTest::keyClick(list->view(), Qt::Key_Down);
            QTest::keyClick(list->view(), Qt::Key_Return);
        };
        for (const bool enabled : {false, true, false, true, false})
            ui.setMainWindowEnabled(enabled);
        QVERIFY(field->hasFocus());
        QTimer::singleShot(0, &window, [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            // A box the click didn't reach is closed, which answers Cancel.
            QTimer::singleShot(5s, box, &QWidget::close);
        });
        QCOMPARE(ui.message(Ui::Icon::Critical, "Connect Error", "aborted", Ui::Buttons::OkCancel),
                 Answer::Ok);
        operate();
        QVERIFY(clicks == 0 && field->text().isEmpty() && list->currentIndex() == 0);
        QVERIFY(content->isEnabled() && !window.isInputEnabled() && !window.menuBar()->isEnabled());
        ui.setMainWindowEnabled(true);
        QTRY_VERIFY(window.isInputEnabled() && window.menuBar()->isEnabled() &&
                    child->updatesEnabled());
        operate();
        QVERIFY(clicks == 1 && field->text() == "7" && list->currentIndex() == 1);
    }

    void expertLogin()
    {
        // clang-format off
        for (const auto &[code, expert] : {std::pair{"41806", true}, {"41807", false}, {" 41806", false}, {"418060", false}, {"", false}}) {
            // clang-format on
            StationFixture f;
            ExpertLogin login(f.station);
            login.show();
            auto *password = login.findChild<QLineEdit *>("txtPassword");
            QTest::keyClicks(password, code);
            QTest::keyClick(password, Qt::Key_Return);
            QCOMPARE(f.station.shell.expertMode, expert);
            QCOMPARE(login.isVisible(), !expert);
            QCOMPARE(f.ui.texts(),
                     expert ? QStringList() : QStringList{"Invalid Password. Please try again!"});
            // Abbrechen, or Esc, ends the expert mode.
            QTest::keyClick(&login, Qt::Key_Escape);
            QVERIFY(!f.station.shell.expertMode);
        }
    }

    // Record Traffic writes what passes the link while it is checked and nothing typed into the
    // expert login; the Traffic window filters by channel and code and holds lines while paused.
    void trafficRecordAndWindow()
    {
        ConnectedStation f;
        QVERIFY(f.start());
        // The file dialog has asked before the chosen file is replaced.
        const QString file = m_d->folder.filePath("traffic.jsonl");
        QVERIFY(writeFile(file, "old"));
        TrafficMenu::of(*f.window)->setFileChooser([&] { return file; });
        QAction *record = f.widget<QAction>("Record_Traffic");
        record->trigger();
        f.widget<QAction>("Traffic_Window")->trigger();
        auto *traffic = f.widget<TrafficWindow>("Traffic");
        Exchange &exchange = f.station().session.exchange;
        ParamValue value;
        QVERIFY(readParameter(exchange, 2, 0x51, 0, value) &&
                readParameter(exchange, 3, 0x52, 0, value));
        ExpertLogin login(f.station());
        login.show();
        auto *password = login.findChild<QLineEdit *>("txtPassword");
        for (const char *typed : {"24680", "41806"}) {
            password->clear();
            QTest::keyClicks(password, typed);
            QTest::keyClick(password, Qt::Key_Return);
        }
        QVERIFY(f.station().shell.expertMode && readParameter(exchange, 2, 0x59, 0, value));
        record->trigger();
        QVERIFY(readParameter(exchange, 2, 0x59, 0, value));
        // Request, answer, "N" and "EN" for each of the three reads while recording.
        const QByteArray recorded = readFile(file);
        QVERIFY(recorded.count('\n') == 12 && recorded.startsWith('{'));
        for (const QByteArray typed : {"24680", "41806"})
            QVERIFY(!recorded.contains(typed) && !recorded.contains(typed.toHex()));

        QCOMPARE(traffic->visibleRows(), 16);
        traffic->findChild<QComboBox *>("TrafficChannel")->setCurrentIndex(3);
        QCOMPARE(traffic->visibleRows(), 12);
        traffic->findChild<QLineEdit *>("TrafficCode")->setText("51");
        QCOMPARE(traffic->visibleRows(), 4);
        auto *pause = traffic->findChild<QPushButton *>("TrafficPause");
        pause->click();
        QVERIFY(readParameter(exchange, 2, 0x51, 0, value));
        QVERIFY(traffic->visibleRows() == 4 && traffic->heldLines() == 4);
        pause->click();
        QVERIFY(traffic->visibleRows() == 8 && traffic->heldLines() == 0);

        // Started from the command line, a recording holds the connection's opening too; there
        // nobody was asked, so no file is replaced.
        QVERIFY(!TrafficMenu::of(*f.window)->startRecording(file));
        QCOMPARE(f.ui().messages.constLast().text,
                 "The traffic cannot be recorded to " + file + ": the file exists.");
        const QString opening = m_d->folder.filePath("opening.jsonl");
        QVERIFY(TrafficMenu::of(*f.window)->startRecording(opening) &&
                lanConnect(f.station().session, f.station().lanTarget()) && record->isChecked());
        QVERIFY(readFile(opening).startsWith(R"({"t_ms":)") &&
                readFile(opening).contains(R"("meaning":{"kind":"session-open"})"));
    }

    // An empty name cancels the dialog; Cancel on "Overwrite?" asks for a name again.
    void saveAsksBeforeReplacing()
    {
        for (const auto &[exists, chosen, saved] : {std::tuple{false, QStringList{""}, false},
                                                    {true, QStringList{"abc", ""}, false},
                                                    {true, QStringList{"abc"}, true}}) {
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
            QCOMPARE(!decodeSettings(readFile(path("abc.kdr")), channels) &&
                         channels[4].inFrequency == 11222,
                     saved);
            QCOMPARE(QFile::exists(path("abc.rtf")), saved);
        }
    }

    // A current file with services, an old file on an eight-channel headend: Yes writes, and
    // loading the file again finds nothing to change, so only "Write anyway" writes; No sends
    // nothing.
    void loadShowsTheChangesAndAsks()
    {
        for (const auto &[old, yes] : {std::pair{false, true}, {true, true}, {false, false}}) {
            QVERIFY(startMenu());
            m_f->station().session.timing.sendPause = 0ms; // whole reads, many of them
            std::array<ChannelRecord, channelCount> channels{};
            for (int ch = 0; ch < channelCount; ++ch)
                channels[ch].inFrequency = static_cast<qint16>(11000 + ch);
            channels[3].serviceMode = channels[3].serviceCount = 1;
            channels[3].serviceIds[0] = 4003;
            QByteArray image;
            for (int ch = 0; ch < oldRecordCount; ++ch)
                image += encodeSettingsRecord(channels[ch]).left(oldRecordSize);
            if (old)
                m_f->sim.headend.state().identity.variant = *sim::variantForChannelCount(8);
            QVERIFY(writeFile(path("x.kdr"), old ? image : encodeSettings(channels)));
            // An ID above 32767 reads as the headend sends it, not as a negative number.
            m_f->simChannel(3).serviceIds = {2000, 40000};
            m_f->simChannel(3).serviceMode = servicemode::listed;
            m_f->window->addChildWindow(new QWidget);
            QStringList shown;
            const auto answer = [&](const char *button) {
                return [&shown, button](QWidget *dialog) {
                    auto *table = dialog->findChild<QTableWidget *>("Table_Diff");
                    for (int row = 0; table && row < table->rowCount(); ++row)
                        if (table->item(row, 0)->text() == "4")
                            shown.append(table->item(row, 1)->text() + ": " +
                                         table->item(row, 2)->text() + " / " +
                                         table->item(row, 3)->text());
                    shown.append(dialog->findChild<QLabel *>("Label_Question")->text());
                    dialog->findChild<QPushButton *>(button)->click();
                };
            };
            m_chosen = {"x.kdr", "x.kdr"};
            {
                OnNextModal reply(answer(yes ? "Command_Yes" : "Command_No"));
                m_f->window->item("Load")->trigger();
            }

            QVERIFY(m_f->ui().messages.isEmpty());
            QVERIFY(shown.size() >= 2 && shown.first().startsWith("Input Frequency: ") &&
                    shown.first().endsWith(" / 11003 MHz"));
            QVERIFY(shown.contains(old ? "Service Mode: only the listed services pass / every "
                                         "service passes"
                                       : "Services added:  / 4003"));
            QVERIFY(shown.contains("Services removed: 2000, 40000 / "));
            const auto written = [&] {
                int frames = 0;
                for (const sim::TranscriptEntry &entry : m_f->sim.headend.transcript())
                    frames += entry.kind == Kind::Raw && entry.what == "bulk-channel";
                return frames;
            };
            // The headend's own channel count decides what is sent; an old file has no services.
            QCOMPARE(written(), yes ? (old ? 8 : 12) : 0);
            QCOMPARE(m_f->simChannel(3).inFrequency == 11003, yes);
            QCOMPARE(m_f->simChannel(3).serviceIds.value(0), yes ? (old ? 0 : 4003) : 2000);
            QCOMPARE(m_f->overviews, int(yes));
            // Without a channel window of its own the check reads the headend itself.
            QCOMPARE(m_f->ui().panels[1] == heldText, yes);
            // The child window that was open went; the channel window is the only one now.
            QTRY_COMPARE(m_f->window->mdiArea()->subWindowList().size(), int(yes));
            if (!yes)
                continue;
            shown.clear();
            {
                OnNextModal reply(answer(old ? "Command_WriteAnyway" : "Command_No"));
                m_f->window->item("Load")->trigger();
            }
            QCOMPARE(shown, QStringList{unchangedText + ".\nNothing is sent unless you write the "
                                                        "file anyway."});
            QCOMPARE(written(), old ? 16 : 12);
        }
    }

    // Over USB a Load whose write the headend breaks off gives the port back all the same.
    void failedUsbLoadFreesThePort()
    {
        QVERIFY(startMenu());
        m_f->window->item("USB")->trigger();
        QVERIFY(m_f->sim.offerPty(m_f->station().session));
        QVERIFY(writeFile(path("x.kdr"), encodeSettings({})));
        m_chosen = {"x.kdr"};
        m_f->sim.headend.setFault({sim::Fault::DropAnswer, param::bulkWrite});
        {
            OnNextModal reply(
                [](QWidget *dialog) { dialog->findChild<QPushButton *>("Command_Yes")->click(); });
            m_f->window->item("Load")->trigger();
        }
        QVERIFY(m_f->sim.frames(param::bulkWrite).size() == 1 && !m_f->ui().messages.isEmpty());
        QVERIFY(!m_f->station().session.serial.isOpen());
    }

    // With the channel window open, Save adds only the selections to the window's read, and
    // writes what keldor-ctl writes from the same headend, byte for byte; a field typed but not
    // Set reaches neither file nor report.
    void saveWithTheOverviewOpenIsTheCommandLinesSave()
    {
        QVERIFY(startMenu(true));
        m_f->station().session.timing.sendPause = 0ms; // whole reads, many of them
        m_f->simChannel(0).serviceMode = servicemode::listed;
        m_f->simChannel(0).serviceIds = {1001, 1003};
        m_f->window->item("Program")->trigger();
        auto *overview = m_f->child<ChannelOverview>();
        QTRY_VERIFY(overview && overview->holdsHeadend());
        m_f->widget<QLineEdit>("Text_outfrequenz_2")->setText("354.00");
        m_f->sim.headend.clearTranscript();
        m_chosen = {"station"};

        m_f->window->item("Save")->trigger();

        QCOMPARE(m_f->sim.frames(0x79).size(), 0);
        QCOMPARE(m_f->sim.frames(param::selectChannel).size(), 12);
        const CtlRun ctl = runCtl(
            {"--lan", "127.0.0.1:" + m_f->sim.portText(), "save", path("ctl")}, withoutSendPause());
        QCOMPARE(ctl.status, 0);
        QCOMPARE(readFile(path("station.rtf")), readFile(path("ctl.rtf")));
        QCOMPARE(readFile(path("station.kdr")), readFile(path("ctl.kdr")));
        std::array<ChannelRecord, channelCount> channels{};
        QVERIFY(!decodeSettings(readFile(path("station.kdr")), channels));
        QVERIFY(channels[0].serviceCount == 2 && channels[2].outFrequency == 130.0f);
        QVERIFY(!readFile(path("station.rtf")).contains("354"));
        QVERIFY(m_f->ui().messages.isEmpty());
    }

    // After a Load the channel window reads the headend, and the check takes that read and adds
    // only the selections. A headend changed in between is shown with the offer to write back
    // what it held before, which is checked in turn.
    void loadIsCheckedWithTheOverviewsRead()
    {
        QVERIFY(startMenu(true));
        m_f->station().session.timing.sendPause = 0ms; // whole reads, many of them
        const QString lan = "127.0.0.1:" + m_f->sim.portText();
        QCOMPARE(runCtl({"--lan", lan, "save", path("x")}, withoutSendPause()).status, 0);
        m_chosen = {"x.kdr", "x.kdr", "x.kdr"};
        for (const bool frontPanel : {false, true}) {
            m_f->simChannel(0).serviceMode = servicemode::listed;
            m_f->simChannel(0).serviceIds = {1001};
            m_f->sim.headend.clearTranscript();
            m_f->ui().clear();
            m_f->ui().panels[1].clear();
            QTimer change;
            connect(&change, &QTimer::timeout, [&] {
                if (m_f->sim.framesAfter(0x8A, 0x79) > 0) {
                    change.stop();
                    m_f->simChannel(2).outFrequency = 500.0f;
                }
            });
            if (frontPanel)
                change.start(1);
            {
                OnNextModal reply([](QWidget *dialog) {
                    dialog->findChild<QPushButton *>("Command_Yes")->click();
                });
                m_f->window->item("Load")->trigger();
            }
            QTRY_VERIFY2(m_f->ui().panels[1] == heldText,
                         qPrintable(m_f->ui().texts().join(" / ") + QString::number(frontPanel)));
            QCOMPARE(m_f->sim.framesAfter(0x8A, 0x79), frontPanel ? 2 : 1);
            // Written back, the headend holds its selection again.
            QCOMPARE(m_f->simChannel(0).serviceIds,
                     frontPanel ? QList<quint16>{1001} : QList<quint16>{});
            QCOMPARE(m_f->simChannel(2).outFrequency, 130.0f);
            const QDir backups(standardBackupFolder());
            const QString backup = QDir::toNativeSeparators(
                backups.filePath(backups.entryList({"*.kdr"}, QDir::Files, QDir::Name).last()));
            QCOMPARE(m_f->ui().texts(),
                     frontPanel ? QStringList{heldOtherwiseText +
                                              "\rChannel 3\r  Output Frequency: 130.00 MHz -> "
                                              "500.00 MHz\rWhat it held before is saved in " +
                                              backup + ".\rWrite back the settings it held before?"}
                                : QStringList{});
            QVERIFY(m_f->child<ChannelOverview>()->holdsHeadend());
        }
    }

    // A refused file opens nothing. A good one opens for the chosen model with no word to the
    // connected headend; the field still being typed reaches the file, and closing asks only
    // while something is unsaved.
    void offlineOpenEditSave()
    {
        for (const bool refused : {true, false}) {
            QVERIFY(startMenu(true));
            std::array<ChannelRecord, channelCount> channels{};
            for (int ch = 0; ch < channelCount; ++ch) {
                channels[ch] = {.inFrequency = qint16(11000 + ch), .loMode = 0, .reserved = {7}};
                channels[ch].outFrequency = float(114.25 + 8 * ch);
                channels[ch].outSymbolrate = 6900;
                channels[ch].outputOn = 1;
            }
            const QByteArray image = encodeSettings(channels);
            QVERIFY(writeFile(path("x.kdr"), refused ? image.left(100) : image));
            m_chosen = {"x.kdr"};
            OnNextModal model([](QWidget *dialog) {
                dialog->findChild<QComboBox *>("Combo_Model")->setCurrentIndex(0);
                static_cast<QDialog *>(dialog)->accept();
            });

            m_f->window->item("Open_File")->trigger();

            auto *overview = m_f->child<ChannelOverview>();
            QCOMPARE(m_f->ui().messages.size(), int(refused));
            if (refused) {
                QVERIFY(!overview && m_f->ui().texts().first().contains("has 100 bytes"));
                continue;
            }
            QTRY_VERIFY(m_f->window->item("Save_As")->isVisible());
            QCOMPARE(overview->columnCount(), 8);
            QCOMPARE(m_f->fixture.stored("Offline-Model"), "8");
            QVERIFY(overview->windowTitle().endsWith("Offline - x.kdr"));
            QCOMPARE(m_f->ui().panels[2], "Offline");
            auto *frequency = m_f->widget<QLineEdit>("Text_outfrequenz_2");
            m_f->window->activateWindow(); // the model dialog had it
            frequency->setFocus();
            QTRY_COMPARE(frequency->selectedText(), frequency->text());
            QTest::keyClicks(frequency, "354");
            QVERIFY(!m_f->widget("Command_Set_2")->isEnabled());
            m_f->ui().answers = {Answer::Cancel};
            QVERIFY(!m_f->window->closeAllChildWindows());

            m_f->window->item("Save")->trigger();

            QCOMPARE(frequency->text(), "354.00");
            channels[2].outFrequency = 354;
            QCOMPARE(readFile(path("x.kdr")), encodeSettings(channels));
            QVERIFY(QFile::exists(path("x.rtf")));
            QVERIFY(m_f->window->closeAllChildWindows());
            QCOMPARE(m_f->ui().messages.size(), 1);
            QVERIFY(m_f->sim.headend.transcript().isEmpty());
            QCOMPARE(m_f->ui().panels[2], "Online");
        }
    }

    // The LAN window shows the gateway from 1.03 on; a refused box takes the focus back.
    void lanReadingFillsTheBoxes()
    {
        for (const auto &[version, gateway] : {std::pair{"1.02", false}, {"1.03", true}}) {
            ConnectedStation s;
            QVERIFY(s.start());
            s.station().unit.controllerVersion = version;
            s.sim.headend.state().lan.ip = {10, 0, 7, 1};
            LanSettingsDialog form(s.station(), *s.window);
            form.show();
            QVERIFY(QTest::qWaitForWindowActive(&form));
            QTRY_COMPARE(s.ui().messages.size(), 1);
            const auto box = [&](const QString &n) {
                return form.findChild<QLineEdit *>(n);
            };
            QStringList boxes;
            for (const char *row : {"Text_IP", "Text_Subnet", "Text_Gateway"})
                for (int i = 0; i < 4; ++i)
                    boxes.append(box(QStringLiteral("%1_%2").arg(row).arg(i))->text());
            QCOMPARE(boxes.mid(0, 8), QString("010 000 007 001 255 255 255 000").split(' '));
            QCOMPARE(box("Text_Port")->text(), s.sim.portText());
            QVERIFY(form.findChild<QLabel *>("Label_Gateway")->isVisible() == gateway &&
                    box("Text_Gateway_0")->isVisible() == gateway);
            QCOMPARE(boxes.mid(8), gateway ? QString("192 168 001 001").split(' ') : boxes.mid(8));
            box("Text_IP_2")->setFocus(Qt::TabFocusReason);
            box("Text_IP_2")->clear();
            box("Text_Subnet_0")->setFocus(Qt::TabFocusReason);
            QCOMPARE(s.ui().messages.size(), 2);
            QTRY_COMPARE(QApplication::focusWidget(), box("Text_IP_2"));
        }
    }

    // The headend restarts with the new LAN settings and is found again where they point.
    void lanSaveRestartReconnect()
    {
        ConnectedStation s;
        QVERIFY(s.start());
        s.station().unit.controllerVersion = "1.05";
        sim::DeviceState &state = s.sim.headend.state();
        state.lan.ip = {127, 0, 0, 1};
        const quint16 newPort = freePort();
        s.setRestartDelay(300ms);
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

        QVERIFY(state.lan.port == newPort &&
                state.lan.mask == (std::array<quint8, 4>{255, 255, 255, 128}));
        QCOMPARE(s.station().shell.activeHeadendPort, QString::number(newPort));
        QTRY_COMPARE(s.overviews, 1);
        QCOMPARE(s.sim.count(sim::TranscriptEntry::Kind::Open), 1);
        QCOMPARE(s.ui().progressLabels.value(0),
                 "Headend is now initializing with new LAN-Settings, please wait...");
        QCOMPARE(s.ui().messages.size(), 1);
        QTRY_COMPARE(s.window->mdiArea()->subWindowList().size(), 1);
    }

    // The proxy check box acts at once; OK stores it with the texts, which stay when it is off.
    void proxyStoresItsKeys()
    {
        for (const int use : {0, 1}) {
            StationFixture f;
            f.station.shell.proxyUse = qint16(use);
            f.station.shell.proxyPort = "3128";
            ProxyDialog form(f.station);
            form.show();
            auto *ip = form.findChild<QLineEdit *>("Text_IP");
            QCOMPARE(ip->isEnabled(), use == 1);
            form.findChild<QCheckBox *>("Check_Proxy")->click();
            QCOMPARE(f.station.shell.proxyUse, qint16(1 - use));
            QVERIFY(ip->isEnabled() == (use == 0) && f.stored("Proxy-Use").isEmpty());
            ip->setText("127.0.0.9");
            form.findChild<QPushButton *>("Command_OK")->click();
            QCOMPARE(
                QStringList({f.stored("Proxy-Use"), f.stored("Proxy-IP"), f.stored("Proxy-Port")}),
                QStringList({QString::number(1 - use), "127.0.0.9", "3128"}));
        }
    }

    // The newest image is shown and sent; menu and Update rest while it runs (the backup reading
    // gives the menu back); the window goes and the headend is connected again.
    void uploadRestartReconnect()
    {
        for (const auto &[item, image] :
             {std::pair{QString("Update_µC"), QString("KELDOR_FW_%1.UC3")},
              {QString("Update_QAM"), QString("KELDOR_FPGA_%1.RBF")}}) {
            QVERIFY(startMenu());
            writeImage(image.arg(2), 300, -2);
            writeImage(image.arg(1), 5 * 1024 + 77, -1);
            m_f->window->item(item)->trigger();
            QTRY_COMPARE(m_f->widget<QLineEdit>("Text_Filename")->text(),
                         QDir::toNativeSeparators(programFile(image.arg(1))));
            QVERIFY(button(4)->isEnabled() && !button(7)->isEnabled() && !button(3)->isVisible());
            int running = 0, usable = false;
            QTimer watch;
            connect(&watch, &QTimer::timeout, [&] {
                auto *title = m_f->widget<QLabel>("Label_title");
                if (title && title->text() == "Running" && ++running)
                    usable =
                        usable || m_f->window->menuBar()->isEnabled() || button(4)->isEnabled();
            });
            watch.start(1);

            button(4)->trigger();

            QVERIFY(running > 0 && !usable && m_f->window->menuBar()->isEnabled());
            QStringList sent; // where the headend took the newest image to
            for (const sim::TranscriptEntry &entry : m_f->sim.headend.transcript())
                if (entry.kind == Kind::UploadDone &&
                    entry.sha256 == fileHash(programFile(image.arg(1))))
                    sent.append(entry.what);
            QCOMPARE(sent, QStringList{item == "Update_QAM" ? "fpga" : "controller"});
            QCOMPARE(QDir(standardBackupFolder()).entryList({"backup-*.kdr"}, QDir::Files).size(),
                     1);
            QVERIFY(standardBackupFolder().startsWith(m_f->fixture.folder.path()));
            QTRY_VERIFY(!m_f->child<UpdateWindow>());
            QTRY_COMPARE(m_f->sim.count(Kind::Open), 1);
            QTRY_VERIFY(!m_f->ui().progressShown);
            QCOMPARE(m_f->ui().progressLabels.value(0),
                     "Headend is now initializing with new software , please wait...");
            QVERIFY2(m_f->ui().messages.isEmpty(), qPrintable(m_f->ui().texts().join(" | ")));
            QVERIFY(m_f->station().session.lan.isConnected());
        }
    }

    // Cancel asks first; going on keeps sending, stopping closes the link and the window, and
    // nothing waits for a restart.
    void cancelBetweenBlocks()
    {
        QVERIFY(startMenu());
        writeImage("KELDOR_FW_3.UC3", 40 * 1024);
        m_f->window->item("Update_µC")->trigger();
        QTRY_VERIFY(!m_f->widget<QLineEdit>("Text_Filename")->text().isEmpty());
        m_f->ui().answers = {Answer::Cancel, Answer::Ok};
        int presses = 0;
        QTimer press;
        connect(&press, &QTimer::timeout, [&] {
            QAction *cancel = button(7);
            if (cancel && !m_f->sim.frames(0x84).isEmpty() && cancel->isEnabled() && ++presses)
                cancel->trigger();
        });
        press.start(1);

        button(4)->trigger();

        QCOMPARE(presses, 2);
        QCOMPARE(m_f->ui().messages.size(), 3);
        QCOMPARE(m_f->ui().messages.constLast().title, "Update Cancelled");
        QCOMPARE(m_f->sim.count(Kind::UploadDone), 0);
        QTRY_VERIFY(!m_f->child<UpdateWindow>());
        QVERIFY(!m_f->station().session.lan.isOpen() && m_f->window->menuBar()->isEnabled());
        QCOMPARE(m_f->sim.count(Kind::Open), 0);
    }

    // An added image replaces one of its name only when allowed, in one step: a copy that fails
    // leaves the old one as it was.
    void addedImage()
    {
        for (const auto &[answer, readable, after] : {std::tuple{Answer::Ok, true, "new"},
                                                      {Answer::Cancel, true, "old"},
                                                      {Answer::Ok, false, "old"}}) {
            QVERIFY(startMenu());
            QVERIFY(writeFile(programFile("KELDOR_FW_9.UC3"), "old"));
            QTemporaryDir elsewhere;
            const QString source = elsewhere.filePath("KELDOR_FW_9.UC3");
            QVERIFY(readable ? writeFile(source, "new") : QDir().mkdir(source));
            m_f->window->item("Update_µC")->trigger();
            OnNextModal login([](QWidget *modal) {
                modal->findChild<QLineEdit *>("txtPassword")->setText("41806");
                modal->findChild<QPushButton *>("cmdOK")->click();
            });
            button(5)->trigger();
            m_f->child<UpdateWindow>()->setFileChooser(
                [&](QWidget *, auto &, auto &) { return source; });
            m_f->ui().answers = {answer};

            button(3)->trigger();

            QCOMPARE(m_f->ui().messages.first().text, "File already exists! Overwrite?");
            QCOMPARE(m_f->ui().messages.size(), readable ? 1 : 2);
            QCOMPARE(readFile(programFile("KELDOR_FW_9.UC3")), after);
            QCOMPARE(QDir(programFolder()).entryList({"*_9*"}, QDir::Files | QDir::Hidden).size(),
                     1);
        }
    }

    void editorFlows_data() { addRows(flows); }
    void editorFlows()
    {
        const Flow &flow = fetchRow(flows);
        QVERIFY(m_d->writeDirectory(rows(flow.count)));
        m_d->ui.answers = {flow.answer};
        DirectoryEditor &editor = openEditor();
        QCOMPARE(editor.findChild<QWidget *>("Data1")->isEnabled(), flow.count > 0);
        using E = DirectoryEditor;
        const QStringList moveNames{"first", "previous", "next", "last"};
        const std::array moves{&E::moveFirst, &E::movePrevious, &E::moveNext, &E::moveLast};
        const QString steps = flow.steps;
        for (const QString &step : steps.split('|')) {
            if (step.contains('='))
                editor.findChild<QLineEdit *>(step.section('=', 0, 0))
                    ->setText(step.section('=', 1));
            else if (moveNames.contains(step))
                (editor.*moves[moveNames.indexOf(step)])();
            else
                editor.findChild<QPushButton *>("Command_" + step)->click();
        }

        QCOMPARE(m_d->directoryRows(), flow.after);
        QCOMPARE(editor.positionCaption(), flow.caption);
        QCOMPARE(editor.findChild<QWidget *>("Data1")->isEnabled(), !flow.after.isEmpty());
        QCOMPARE(m_d->ui.texts(),
                 steps.contains("Del") ? QStringList{"Are you sure ?"} : QStringList());
    }

    // The refused entry keeps the row, the text, the window and the program open until it fits.
    void overLongEntryStaysOnTheRow()
    {
        QVERIFY(m_d->writeDirectory(rows(5)));
        DirectoryEditor &editor = openEditor();
        m_window->show();
        editor.findChild<QPushButton *>("Command_Modify")->click();
        auto *port = editor.findChild<QLineEdit *>("Text_Port");
        port->setText("654321");
        editor.moveNext();
        QCOMPARE(m_d->ui.texts(), QStringList{"Port is longer than 5 characters."});
        QCOMPARE(editor.positionCaption(), "Headend (1/5)");
        QVERIFY(!m_window->close());
        QVERIFY(port->text() == "654321" && port->isEnabled());
        QCOMPARE(m_d->directoryRows(), rows(5));
        port->setText("65432");
        QVERIFY(m_window->close());
        QCOMPARE(m_d->directoryRows(), rows(5, 0, "65432"));
    }

    // A row the file holds with a text too long for its column is shown marked and can't be
    // chosen; the others can. The editor shows what is wrong and stores the row only mended.
    void markedRow()
    {
        QVERIFY(m_d->writeDirectory(rows(2)) &&
                insertRawRows(directoryPath(m_d->folder.path()),
                              {{"C", "Hall C", "10.0.0.1", "400200"}}));
        {
            HeadendPicker selection(m_d->station);
            const QAbstractItemModel *shown = selection.grid()->model();
            QVERIFY(shown->flags(shown->index(2, 0)) == Qt::NoItemFlags &&
                    shown->index(2, 3).data() == QString::fromUtf16(u"40020\u2026") &&
                    shown->flags(shown->index(1, 0)).testFlag(Qt::ItemIsEnabled));
            selection.choose(2);
            selection.choose(1);
            QCOMPARE(m_d->ui.texts(), {"Headend number 3 can't be selected: Port is longer than 5 "
                                       "characters.\rMend it under Control › Edit Headends."});
            QCOMPARE(m_d->station.shell.activeHeadendName, "B");
        }
        m_d->ui.clear();
        DirectoryEditor &editor = openEditor();
        m_window->show();
        editor.moveLast();
        const auto *problem = editor.findChild<QLabel *>("Label_Problem");
        QVERIFY(problem->isVisibleTo(&editor));
        QCOMPARE(problem->text(), "Port is longer than 5 characters. Shorten it with Modify, or "
                                  "delete this headend.");
        editor.findChild<QPushButton *>("Command_Modify")->click();
        editor.findChild<QLineEdit *>("Text_Location")->setText("Hall D");
        editor.save();
        QCOMPARE(m_d->ui.texts(), QStringList{"Port is longer than 5 characters."});
        editor.findChild<QLineEdit *>("Text_Port")->setText("4002");
        editor.save();
        const Rows mended = rows(2) << HeadendEntry{"C", "Hall D", "10.0.0.1", "4002"};
        QCOMPARE(m_d->directoryRows(), mended);
    }

    void selection()
    {
        QVERIFY(m_d->writeDirectory({}));
        delete new HeadendPicker(m_d->station);
        QCOMPARE(m_d->ui.texts(), {"   Selection not possible.\rPlease edit a headend first!"});
        QVERIFY(QFile::remove(directoryPath(m_d->folder.path())));
        QVERIFY(m_d->writeDirectory({{"R1", "", "10.0.0.1", "4001"}, {"R2", "", "10.0.0.2", "4"}}));
        HeadendPicker selection(m_d->station);
        selection.show();
        QVERIFY(QTest::qWaitForWindowExposed(&selection));
        const QPoint cell =
            selection.grid()->visualRect(selection.grid()->model()->index(1, 2)).center();
        QTest::mouseClick(selection.grid()->viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(selection.grid()->viewport(), Qt::LeftButton, {}, cell);
        const ShellState &shell = m_d->station.shell;
        QCOMPARE(
            QStringList({shell.activeHeadendName, shell.activeHeadendIp, shell.activeHeadendPort}),
            QStringList({"R2", "10.0.0.2", "4"}));
        QCOMPARE(m_d->ui.panels[1], "Active Headend: R2");
        QCOMPARE(selection.result(), int(QDialog::Accepted));
    }

private:
    bool startMenu(bool realOverview = false)
    {
        m_f.emplace();
        m_titles.clear();
        if (!m_f->start(12, realOverview))
            return false;
        m_f->station().session.timing.reconnectLimit = 10s;
        SettingsMenu::of(*m_f->window)->setFileChooser([this](auto, const QString &title) {
            m_titles.append(title);
            return path(m_chosen.value(m_titles.size() - 1));
        });
        return true;
    }

    QString path(const QString &n) const
    {
        return n.isEmpty() ? n : m_f->fixture.folder.filePath(n);
    }

    // Aged by days, so that only the times can tell the newest.
    static void writeImage(const QString &name, int size, int days = 0)
    {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + size) % 251);
        QVERIFY(writeFile(programFile(name), bytes, QDateTime::currentDateTime().addDays(days)));
    }
    QAction *button(int index) const
    {
        return m_f->widget<QAction>(QString("Toolbar1_Button%1").arg(index));
    }
    DirectoryEditor &openEditor()
    {
        m_window = std::make_unique<MainWindow>(m_d->station, WindowRegistry());
        auto *editor = new DirectoryEditor(m_d->station, *m_window);
        m_window->addChildWindow(editor);
        return *editor;
    }

    std::optional<ConnectedStation> m_f;
    std::optional<StationFixture> m_d;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_chosen;
    QStringList m_titles;
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
