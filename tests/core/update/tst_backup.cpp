#include "update/backup.h"

#include "link/session.h"
#include "model/settingsfile.h"

#include "recordingui.h"
#include "simfixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

// The configuration saved before an upload, read from a simulated headend.
class TestBackup : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
        m_session = std::make_unique<Session>(m_ui, Timing::fast());
        QVERIFY(m_sim->connect(*m_session));
        m_ui.clear();
    }

    void cleanup()
    {
        m_session.reset();
        m_sim.reset();
    }

    void nameSortsByTime()
    {
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
        QCOMPARE(backup_file_name(when), QStringLiteral("backup-20260304-050607.kdr"));
    }

    void savesTheHeadendsChannels()
    {
        m_sim->headend.state().channels[3].qam = 2;
        m_sim->headend.state().channels[5].outFrequency = 346.0f;
        // No QAM order carries it: the channel window would say so, a backup has no window.
        m_sim->headend.state().channels[6].tuner.dataRate = 70.0f;
        QTemporaryDir folder;

        const BackupResult result = backup_configuration(*m_session, folder.path());

        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
        QCOMPARE(QFileInfo(result.path).absolutePath(), QDir(folder.path()).absolutePath());
        QVERIFY(QFileInfo(result.path).fileName().startsWith(QStringLiteral("backup-")));
        std::array<ChannelRecord, channelCount> channels{};
        QVERIFY(std::holds_alternative<SettingsFormat>(read_settings_file(result.path, channels)));
        QCOMPARE(channels[3].qam, quint8(2));
        QCOMPARE(channels[5].out_frequency, 346.0f);
        QVERIFY(m_ui.messages.isEmpty());
    }

    void backupsNeverReplaceEachOther()
    {
        QTemporaryDir folder;
        // Backups of this second and the next are there already.
        const QDateTime now = QDateTime::currentDateTime();
        QStringList earlier;
        for (const QDateTime &when : {now, now.addSecs(1)}) {
            QFile file(QDir(folder.path()).filePath(backup_file_name(when)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("earlier");
            earlier.append(file.fileName());
        }

        const BackupResult result = backup_configuration(*m_session, folder.path());

        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
        QVERIFY(!earlier.contains(result.path));
        for (const QString &path : earlier) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("earlier"));
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 3);
    }

    void silentHeadendWritesNothing()
    {
        sim::FaultPlan silent;
        silent.fault = sim::Fault::Silent;
        m_sim->headend.setFault(silent);
        QTemporaryDir folder;

        const BackupResult result = backup_configuration(*m_session, folder.path());

        QVERIFY(result.path.isEmpty());
        QVERIFY(!result.error.isEmpty());
        QVERIFY(QDir(folder.path()).entryList(QDir::Files).isEmpty());
    }

    void unwritableFolderIsReported()
    {
        QTemporaryDir folder;
        const QString missing = folder.filePath(QStringLiteral("gone/deeper"));

        const BackupResult result = backup_configuration(*m_session, missing);

        QVERIFY(result.path.isEmpty());
        QVERIFY(result.error.contains(QStringLiteral("could not be written")));
    }

private:
    RecordingUi m_ui;
    std::unique_ptr<SimHeadend> m_sim;
    std::unique_ptr<Session> m_session;
};

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
