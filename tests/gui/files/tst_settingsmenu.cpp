#include "files/settingsmenu.h"

#include "connectedstation.h"
#include "files.h"
#include "model/settingsfile.h"

#include <QMdiArea>

using namespace keldor;

// Save and Load of the settings menu through the main window, with the file dialogs answered by
// the test. File names, layouts and damaged files are tested at core level.
class TestSettingsMenu : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_f.emplace();
        QVERIFY(m_f->start());
        m_titles.clear();
        SettingsMenu::of(*m_f->window)->setFileChooser([this](auto, const QString &title) {
            m_titles.append(title);
            return path(m_chosen.value(m_titles.size() - 1));
        });
    }

    void cleanup() { m_f.reset(); }

    void saveAsksBeforeReplacing_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QStringList>("chosen"); // an empty name cancels the dialog
        QTest::addColumn<bool>("saved");
        QTest::addRow("new name") << false << QStringList{"abc"} << true;
        QTest::addRow("dialog cancelled") << false << QStringList{""} << false;
        QTest::addRow("Cancel asks again") << true << QStringList{"abc", ""} << false;
        QTest::addRow("OK replaces") << true << QStringList{"abc"} << true;
    }

    void saveAsksBeforeReplacing()
    {
        QFETCH(bool, exists);
        QFETCH(QStringList, chosen);
        QFETCH(bool, saved);
        m_f->simChannel(4).inFrequency = 11222;
        QVERIFY(!exists || writeFile(path("abc.kdr"), "old"));
        m_f->ui().answers = {chosen.size() == 1 ? UserInterface::Answer::Ok
                                                : UserInterface::Answer::Cancel};
        m_chosen = chosen;

        m_f->window->item("Save")->trigger();

        QCOMPARE(m_titles, QStringList(chosen.size(), "Save Settings"));
        QCOMPARE(m_f->ui().texts(),
                 exists ? QStringList{"File already exists! Overwrite?"} : QStringList());
        const QByteArray file = readFile(path("abc.kdr"));
        QCOMPARE(file.size(), saved ? settingsFileSize : exists ? 3 : 0);
        // Without a channel window the headend is read, so file and report hold what it has now.
        std::array<ChannelRecord, channelCount> channels{};
        QCOMPARE(!decode_settings(file, channels) && channels[4].in_frequency == 11222, saved);
        QCOMPARE(readFile(path("abc.rtf")).contains("11222"), saved);
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
        std::array<ChannelRecord, channelCount> channels{};
        for (int ch = 0; ch < channelCount; ++ch)
            channels[ch].in_frequency = static_cast<qint16>(11000 + ch);
        channels[3].service_mode = 1;
        channels[3].service_count = 2;
        channels[3].service_ids[1] = 4003;
        QByteArray image = encode_settings(channels);
        if (old) {
            image.clear();
            for (int ch = 0; ch < oldRecordCount; ++ch)
                image += encode_settings_record(channels[ch]).left(oldRecordSize);
            m_f->sim.headend.state().identity.variant = *sim::variantForChannelCount(8);
        }
        QVERIFY(writeFile(path("x.kdr"), image));
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
        QCOMPARE(m_f->simChannel(3).serviceIds.value(1), old ? 0 : 4003);
        QCOMPARE(m_f->simChannel(8).inFrequency == 11008, !old);
        QCOMPARE(m_f->overviews, 1);
        // The child window that was open went; the channel window is the only one now.
        QTRY_COMPARE(m_f->window->mdiArea()->subWindowList().size(), 1);
    }

private:
    QString path(const QString &name) const
    {
        return name.isEmpty() ? QString() : m_f->fixture.folder.filePath(name);
    }

    std::optional<ConnectedStation> m_f;
    QStringList m_chosen;
    QStringList m_titles;
};

QTEST_MAIN(TestSettingsMenu)
#include "tst_settingsmenu.moc"
