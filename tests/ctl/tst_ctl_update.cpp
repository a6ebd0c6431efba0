#include "ctlcommand.h"
#include "link/session.h"

#include "recordingui.h"
#include "simfixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace keldor;
using Kind = sim::TranscriptEntry::Kind;

// keldor-ctl's controller update: where the configuration is saved before the first block,
// and how SIGINT and SIGTERM stop it.
class TestCtlUpdate : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_work = std::make_unique<QTemporaryDir>();
        m_data = std::make_unique<QTemporaryDir>();
        m_previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_work->path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->path()));
        m_ui = std::make_unique<RecordingUi>();
        m_session = std::make_unique<Session>(*m_ui, Timing::fast());
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
        QVERIFY(m_sim->connect(*m_session));
        m_ui->clear();
    }

    void cleanup()
    {
        m_session.reset();
        m_sim.reset();
        QDir::setCurrent(m_previous);
    }

    void backupFolder_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("folder"); // "data", "named" or none
        QTest::newRow("per-user data folder") << QStringList{} << "data";
        QTest::newRow("--backup-dir") << QStringList{"--backup-dir", "named"} << "named";
        QTest::newRow("--no-backup") << QStringList{"--no-backup"} << QString();
    }
    void backupFolder()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, folder);
        const QString named = m_data->filePath(QStringLiteral("named"));
        options.replaceInStrings(QStringLiteral("named"), named);
        const QByteArray image(2500, 'u');

        QCOMPARE(update(writeImage(image), options), int(ExitSuccess));

        QCOMPARE(uploaded(), QCryptographicHash::hash(image, QCryptographicHash::Sha256));
        QCOMPARE(backups(m_work->path()), QStringList());
        const QStringList saved = backups(m_data->path());
        if (folder.isEmpty()) {
            QCOMPARE(saved, QStringList());
            return;
        }
        QCOMPARE(saved.size(), 1);
        const QDir where = QFileInfo(saved.first()).dir();
        if (folder == QLatin1String("named"))
            QCOMPARE(where.path(), named);
        else
            QCOMPARE(where.dirName(), QStringLiteral("backups"));
    }

    // A signal stops the upload at the next block without asking: the link closes at once and
    // the command fails.
    void signalStopsTheUpload_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void signalStopsTheUpload()
    {
        QFETCH(int, signal);
        bool raised = false;
        QTimer operatorAtTheKeyboard;
        connect(&operatorAtTheKeyboard, &QTimer::timeout, [&] {
            if (!raised && m_sim->count(Kind::Raw) >= 2) {
                raised = true;
                std::raise(signal);
            }
        });
        operatorAtTheKeyboard.start(1);

        QCOMPARE(update(writeImage(QByteArray(40 * 1024, 'u')), {"--no-backup"}), int(ExitFailure));

        QVERIFY(raised);
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Update Cancelled"));
        QVERIFY(m_ui->messages.first().text.contains(
            QStringLiteral("still waiting for the rest of the image")));
        QVERIFY(!m_session->lan.isOpen());
        QCOMPARE(m_sim->count(Kind::UploadDone), 0);
        QCOMPARE(m_sim->headend.transcript().constLast().kind, Kind::Raw);
    }

private:
    QString writeImage(const QByteArray &image)
    {
        QFile file(m_work->filePath(QStringLiteral("KELDOR_FW_5.UC3")));
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
            return {};
        return file.fileName();
    }

    int update(const QString &image, const QStringList &options)
    {
        const QStringList args = QStringList{image} + options;
        const CtlCommand &command = ctl_commands().at("update-fw");
        if (!command.check(args).isEmpty())
            return ExitUsage;
        QString out;
        QTextStream stream(&out);
        return command.run(*m_session, args, stream);
    }

    QByteArray uploaded() const
    {
        for (const auto &entry : m_sim->headend.transcript()) {
            if (entry.kind == Kind::UploadDone)
                return entry.sha256;
        }
        return {};
    }

    static QStringList backups(const QString &root)
    {
        QStringList found;
        QDirIterator it(root, {QStringLiteral("backup-*.kdr")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found.append(it.next());
        return found;
    }

    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QTemporaryDir> m_data;
    QString m_previous;
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SimHeadend> m_sim;
};

QTEST_GUILESS_MAIN(TestCtlUpdate)
#include "tst_ctl_update.moc"
