#include "ctlcommand.h"
#include "link/session.h"

#include "recordingui.h"
#include "simfixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

// keldor-ctl's controller update saves the configuration where the operator works before the
// first block goes out.
class TestCtlUpdate : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        m_session = std::make_unique<Session>(m_ui, Timing::fast());
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
        QVERIFY(m_sim->connect(*m_session));
    }

    void cleanup()
    {
        m_session.reset();
        m_sim.reset();
        QDir::setCurrent(m_previous);
    }

    void backupLandsInTheWorkingFolder()
    {
        const QByteArray image(2500, 'u');
        QFile file(m_dir.filePath(QStringLiteral("KELDOR_FW_5.UC3")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(image), image.size());
        file.close();
        QString out;
        QTextStream stream(&out);

        const int code = ctl_commands().at("update-fw").run(*m_session, {file.fileName()}, stream);

        QCOMPARE(code, int(ExitSuccess));
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("backup-*.kdr")}).size(), 1);
        bool uploaded = false;
        for (const auto &entry : m_sim->headend.transcript()) {
            uploaded =
                uploaded ||
                (entry.kind == sim::TranscriptEntry::Kind::UploadDone &&
                 entry.sha256 == QCryptographicHash::hash(image, QCryptographicHash::Sha256));
        }
        QVERIFY(uploaded);
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
    RecordingUi m_ui;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SimHeadend> m_sim;
};

QTEST_GUILESS_MAIN(TestCtlUpdate)
#include "tst_ctl_update.moc"
