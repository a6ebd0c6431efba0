#include "files/settingsmenu.h"

#include "model/settingsfile.h"
#include "protocol/fullwrite.h"
#include "shell/mdiform1.h"
#include "simfixture.h"
#include "stationfixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QTest>

using namespace keldor;

namespace {

QByteArray file_content(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write_file(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

// Save and Load of the main window's settings menu against the simulated headend, with the
// file dialogs answered by the test.
class TestSettingsMenu : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<StationFixture>();
        m_fixture->settings.setValue("Settings/LAN-Control", "True");
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
        m_overviews = 0;
        WindowRegistry registry;
        registry.add(HeadendWindow::Program, [this](Station &, MDIForm1 &) {
            ++m_overviews;
            return new QWidget;
        });
        m_window = std::make_unique<MDIForm1>(m_fixture->station, registry);
        m_menu = SettingsMenu::of(*m_window);
        QVERIFY(m_menu);
        m_chosen.clear();
        m_dialogs.clear();
        m_menu->setFileChooser([this](SettingsMenu::FileDialog kind, const QString &title) {
            m_dialogs.append({kind, title});
            return m_chosen.isEmpty() ? QString() : m_chosen.takeFirst();
        });

        ShellState &shell = m_fixture->station.shell;
        shell.active_headend_name = QStringLiteral("Sim");
        shell.active_headend_ip = QStringLiteral("127.0.0.1");
        shell.active_headend_port = m_sim->portText();
        QVERIFY(lan_connect(m_fixture->station.session, m_fixture->station.lanTarget()));
        m_sim->headend.clearTranscript();
    }

    void cleanup()
    {
        m_window.reset();
        m_sim.reset();
        m_fixture.reset();
    }

    void saveWritesFileAndReport_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("settingsFile");
        QTest::addColumn<QString>("reportFile");
        QTest::newRow("extension added") << "abc"
                                         << "abc.kdr"
                                         << "abc.rtf";
        QTest::newRow("extension kept") << "abc.kdr"
                                        << "abc.kdr"
                                        << "abc.rtf";
        QTest::newRow("case counts") << "abc.KDR"
                                     << "abc.KDR.kdr"
                                     << "abc.KDR.rtf";
    }

    void saveWritesFileAndReport()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, settingsFile);
        QFETCH(QString, reportFile);
        m_sim->headend.state().channels[4].inFrequency = 11222;
        m_chosen = {path(chosen)};

        m_window->item("Save")->trigger();

        QCOMPARE(m_dialogs.size(), 1);
        QCOMPARE(m_dialogs.first().first, SettingsMenu::FileDialog::Save);
        QCOMPARE(m_dialogs.first().second, QStringLiteral("Save Settings"));
        QVERIFY(ui().messages.isEmpty());
        const QByteArray saved = file_content(path(settingsFile));
        QCOMPARE(saved.size(), settingsFileSize);
        // Without a channel window the headend is read, so the file holds what it has now.
        std::array<ChannelRecord, channelCount> channels{};
        QVERIFY(!decode_settings(saved, channels));
        QCOMPARE(channels[4].in_frequency, 11222);
        const QByteArray report = file_content(path(reportFile));
        QVERIFY(report.startsWith("{\\rtf1"));
        QVERIFY(report.contains("KELDOR QAM"));
        QVERIFY(report.contains("11222"));
        QCOMPARE(m_fixture->station.unit.settings_file_name, path(settingsFile));
    }

    void reportTakesTheChannelWindowTexts()
    {
        ReportTexts texts;
        texts.device.device_type = QStringLiteral("Shown Type");
        texts.device.controller_version = QStringLiteral("1.04");
        texts.channels[0].in_frequency = QStringLiteral("12345");
        m_menu->setReportTextsProvider([texts] { return std::optional<ReportTexts>(texts); });
        m_chosen = {path("shown")};

        m_window->item("Save")->trigger();

        QVERIFY(ui().messages.isEmpty());
        QCOMPARE(file_content(path("shown.kdr")).size(), settingsFileSize);
        const QByteArray report = file_content(path("shown.rtf"));
        QVERIFY(report.contains("Shown Type"));
        QVERIFY(report.contains("12345"));
        // Nothing was read from the headend for it.
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Frame), 0);
    }

    void existingFileIsOnlyReplacedOnOk_data()
    {
        QTest::addColumn<QList<UserInterface::Answer>>("answers");
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("Cancel asks again, then cancelled")
            << QList<UserInterface::Answer>{UserInterface::Answer::Cancel} << QStringList{"abc", ""}
            << false;
        QTest::newRow("Cancel asks again, other name")
            << QList<UserInterface::Answer>{UserInterface::Answer::Cancel}
            << QStringList{"abc", "other"} << false;
        QTest::newRow("OK replaces") << QList<UserInterface::Answer>{UserInterface::Answer::Ok}
                                     << QStringList{"abc"} << true;
    }

    void existingFileIsOnlyReplacedOnOk()
    {
        QFETCH(QList<UserInterface::Answer>, answers);
        QFETCH(QStringList, chosen);
        QFETCH(bool, replaced);
        QVERIFY(write_file(path("abc.kdr"), "old"));
        ui().answers = answers;
        for (const QString &name : chosen)
            m_chosen.append(name.isEmpty() ? QString() : path(name));

        m_window->item("Save")->trigger();

        QCOMPARE(m_dialogs.size(), chosen.size());
        QCOMPARE(ui().messages.size(), 1);
        const RecordingUi::Message &question = ui().messages.first();
        QCOMPARE(question.text, QStringLiteral("File already exists! Overwrite?"));
        QCOMPARE(question.icon, UserInterface::Icon::Question);
        QCOMPARE(question.buttons, UserInterface::Buttons::OkCancel);
        QCOMPARE(file_content(path("abc.kdr")).size(), replaced ? settingsFileSize : 3);
        QCOMPARE(QFile::exists(path("abc.rtf")), replaced);
        const bool otherSaved = chosen.last() == QLatin1String("other");
        QCOMPARE(QFile::exists(path("other.kdr")), otherSaved);
    }

    void cancelledDialogsDoNothing()
    {
        m_window->item("Save")->trigger();
        m_window->item("Load")->trigger();
        QCOMPARE(m_dialogs.size(), 2);
        QCOMPARE(m_dialogs.last().first, SettingsMenu::FileDialog::Open);
        QCOMPARE(m_dialogs.last().second, QStringLiteral("Load Settings"));
        QVERIFY(ui().messages.isEmpty());
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Frame), 0);
        QCOMPARE(QDir(m_fixture->folder.path()).entryList({"*.kdr", "*.rtf"}).size(), 0);
        QCOMPARE(m_overviews, 0);
    }

    void oldFileIsSentWithoutServices()
    {
        // An eight-channel headend gets eight channel frames, whatever the file holds.
        m_sim->headend.state().identity.variant = 1;
        m_sim->headend.state().channels[1].serviceMode = 1;
        m_sim->headend.state().channels[1].serviceIds = {2000};
        QByteArray image;
        for (int ch = 0; ch < oldRecordCount; ++ch) {
            ChannelRecord record;
            record.in_frequency = static_cast<qint16>(11000 + ch);
            record.out_frequency = 306.0f + 8.0f * ch;
            image += encode_settings_record(record).left(oldRecordSize);
        }
        QCOMPARE(image.size(), oldSettingsFileSize);
        QVERIFY(write_file(path("old.kdr"), image));
        const sim::Channel untouched = m_sim->headend.state().channels[8];
        m_window->addChildWindow(new QWidget);
        m_chosen = {path("old.kdr")};

        m_window->item("Load")->trigger();

        QVERIFY(ui().messages.isEmpty());
        QCOMPARE(bulkChannelFrames(), 8);
        for (int ch = 0; ch < 8; ++ch) {
            const sim::Channel &simChannel = m_sim->headend.state().channels[ch];
            QCOMPARE(simChannel.inFrequency, 11000 + ch);
            QCOMPARE(simChannel.outFrequency, 306.0f + 8.0f * ch);
            QCOMPARE(simChannel.serviceMode, 0);
            QVERIFY(simChannel.serviceIds.isEmpty());
        }
        QCOMPARE(m_sim->headend.state().channels[8].inFrequency, untouched.inFrequency);
        QCOMPARE(m_fixture->station.unit.max_channel, 7);
        QCOMPARE(m_overviews, 1);
        // The child window that was open went; the channel window is the only one now.
        QTRY_COMPARE(m_window->mdiArea()->subWindowList().size(), 1);
    }

    void currentFileKeepsItsServices()
    {
        std::array<ChannelRecord, channelCount> channels{};
        channels[3].service_mode = 1;
        channels[3].service_count = 2;
        channels[3].service_ids[0] = 4001;
        channels[3].service_ids[1] = 4003;
        QVERIFY(write_file(path("full.kdr"), encode_settings(channels)));
        m_chosen = {path("full.kdr")};

        m_window->item("Load")->trigger();

        QVERIFY(ui().messages.isEmpty());
        QCOMPARE(bulkChannelFrames(), 12);
        QCOMPARE(m_sim->headend.state().channels[3].serviceMode, 1);
        QCOMPARE(m_sim->headend.state().channels[3].serviceIds, (QList<quint16>{4001, 4003}));
        QCOMPARE(m_overviews, 1);
    }

    void usbLoadFindsTheHeadendFirst_data()
    {
        QTest::addColumn<bool>("writeFails");
        QTest::newRow("written") << false;
        QTest::newRow("write fails") << true;
    }

    void usbLoadFindsTheHeadendFirst()
    {
        QFETCH(bool, writeFails);
        QVERIFY(m_sim->openPty());
        m_fixture->station.session.lan.close();
        m_window->item("USB")->trigger();
        QVERIFY(m_window->usbChecked());
        m_fixture->station.session.usbPorts = [this] {
            return QStringList{m_sim->pty.slavePath()};
        };
        if (writeFails) {
            sim::FaultPlan plan;
            plan.fault = sim::Fault::DropAnswer;
            plan.code = bulkWriteCode;
            m_sim->headend.setFault(plan);
        }
        std::array<ChannelRecord, channelCount> channels{};
        channels[5].in_frequency = 12100;
        QVERIFY(write_file(path("full.kdr"), encode_settings(channels)));
        m_chosen = {path("full.kdr")};

        m_window->item("Load")->trigger();

        if (writeFails) {
            QVERIFY(!ui().messages.isEmpty());
            QCOMPARE(m_overviews, 0);
            // The port is free for the next try.
            QVERIFY(!m_fixture->station.session.serial.isOpen());
            return;
        }
        QVERIFY(ui().messages.isEmpty());
        QCOMPARE(bulkChannelFrames(), 12);
        QCOMPARE(m_sim->headend.state().channels[5].inFrequency, 12100);
        QCOMPARE(m_overviews, 1);
        // The channel window found the headend again on its own session.
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Open), 2);
        QVERIFY(m_fixture->station.session.serial.isOpen());
        m_fixture->station.session.serial.close();
    }

    void refusedFileSendsNothing()
    {
        QVERIFY(write_file(path("short.kdr"), QByteArray(100, '\x01')));
        const UnitData before = m_fixture->station.unit;
        m_chosen = {path("short.kdr")};

        m_window->item("Load")->trigger();

        QCOMPARE(ui().messages.size(), 1);
        QCOMPARE(ui().messages.first().title, QStringLiteral("Load Settings"));
        QCOMPARE(m_sim->count(sim::TranscriptEntry::Kind::Frame), 0);
        QVERIFY(m_fixture->station.unit.channels == before.channels);
        QCOMPARE(m_overviews, 0);
    }

    void failedConnectionEndsLoad()
    {
        m_fixture->station.session.lan.close();
        m_sim.reset();
        std::array<ChannelRecord, channelCount> channels{};
        channels[0].in_frequency = 12000;
        QVERIFY(write_file(path("full.kdr"), encode_settings(channels)));
        m_chosen = {path("full.kdr")};
        // The selection window comes first, as before every LAN connection.
        OnNextModal closeSelection([](QWidget *dialog) { dialog->close(); });

        m_window->item("Load")->trigger();

        QVERIFY(!ui().messages.isEmpty());
        QCOMPARE(m_overviews, 0);
        // The table keeps what was loaded.
        QCOMPARE(m_fixture->station.unit.channels[0].in_frequency, 12000);
    }

private:
    int bulkChannelFrames() const
    {
        int frames = 0;
        for (const auto &entry : m_sim->headend.transcript())
            frames += entry.kind == sim::TranscriptEntry::Kind::Raw &&
                      entry.what == QLatin1String("bulk-channel");
        return frames;
    }

    QString path(const QString &name) const { return m_fixture->folder.filePath(name); }
    RecordingUi &ui() { return m_fixture->ui; }

    std::unique_ptr<StationFixture> m_fixture;
    std::unique_ptr<SimHeadend> m_sim;
    std::unique_ptr<MDIForm1> m_window;
    SettingsMenu *m_menu = nullptr;
    QStringList m_chosen;
    QList<std::pair<SettingsMenu::FileDialog, QString>> m_dialogs;
    int m_overviews = 0;
};

QTEST_MAIN(TestSettingsMenu)
#include "tst_settingsmenu.moc"
