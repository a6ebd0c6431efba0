#include "core/features/update/backup.h"
#include "core/model/headendsettings.h"
#include "core/model/settingsfile.h"
#include "ctlfixture.h"
#include "files.h"
#include "gitrepository.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>
#include <unistd.h>

using namespace keldor;

// fleet backup in a folder others may have prepared: planted links, a second run, pruning
// among headends that share a name, and the history kept in git.
class TestFleetBackup : public CtlTest {
    Q_OBJECT

    CtlRun backup(const QStringList &options = {})
    {
        return runCtl(QStringList{"fleet", "backup", path("b"), "--list", path("fleet.list")} +
                      options);
    }
    static Configuration configuration(qint32 serial)
    {
        Configuration config;
        config.unit.identity.serialNumber = serial;
        config.unit.identity.fromHeadend = true;
        return config;
    }

private slots:
    void init()
    {
        QVERIFY(start());
        m_sim->headend.state().identity.variant = 1;
        QVERIFY(writeFile(path("fleet.list"), "rack-a 127.0.0.1:" + m_sim->portText().toLatin1()));
        QVERIFY(QDir().mkpath(path("outside")) && writeFile(path("outside/victim"), "victim"));
    }

    // Whatever was planted in the folder, nothing is written or removed outside it: a link is
    // refused where a folder is expected and passed over where a file would be written.
    void plantedNames_data()
    {
        QTest::addColumn<int>("plant");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addRow("DIR is a link") << 0 << 1 << "b is a symbolic link";
        QTest::addRow("DIR/NAME is a link") << 1 << 1 << "rack-a is a symbolic link";
        QTest::addRow("the next names are links") << 2 << 0 << "";
        QTest::addRow("DIR/NAME others may write") << 3 << 1 << "may be written by others";
    }
    void plantedNames()
    {
        QFETCH(int, plant);
        QFETCH(int, status);
        QFETCH(QString, said);
        const QByteArray outside = QFile::encodeName(path("outside"));
        QVERIFY(QDir().mkpath(path(plant == 0 ? "." : "b")));
        if (plant == 0)
            QCOMPARE(::symlink(outside.constData(), QFile::encodeName(path("b")).constData()), 0);
        if (plant == 1)
            QCOMPARE(
                ::symlink(outside.constData(), QFile::encodeName(path("b/rack-a")).constData()), 0);
        if (plant == 2) {
            // The names of this second and the next few, settings files and reports alike.
            QVERIFY(QDir().mkpath(path("b/rack-a")));
            const QDateTime now = QDateTime::currentDateTimeUtc();
            for (int s = 0; s < 5; ++s) {
                const QString name = "b/rack-a/" + backupFileName("rack-a", now.addSecs(s));
                for (const QString &file : {name, reportFileName(name)})
                    QCOMPARE(::symlink(QFile::encodeName(path("outside/victim")).constData(),
                                       QFile::encodeName(path(file)).constData()),
                             0);
            }
        }
        if (plant == 3) {
            const QByteArray folder = QFile::encodeName(path("b/rack-a"));
            QVERIFY(QDir().mkpath(path("b/rack-a")));
            if (::chown(folder.constData(), 65534, gid_t(-1)) != 0)
                QSKIP("only root can give a folder to another user");
            QCOMPARE(::chmod(folder.constData(), 0777), 0);
        }

        const CtlRun run = backup({"--keep", "1"});

        QVERIFY2(run.status == status && run.err.contains(said), qPrintable(run.err + run.out));
        QCOMPARE(filesIn(path("outside")), QStringList{"victim"});
        QCOMPARE(readFile(path("outside/victim")), QByteArray("victim"));
        if (plant == 2)
            QVERIFY2(run.out.contains(QRegularExpression("rack-a-\\d{8}-\\d{6}_2\\.kdr")),
                     qPrintable(run.out));
    }

    // A run finds the folder held by another and says by whom; it writes nothing there.
    void secondRunWaitsItsTurn()
    {
        {
            const auto opened = BackupFolder::open(path("b"));
            const BackupFolder &held = std::get<BackupFolder>(opened);
            QCOMPARE(held.lock("the nightly run"), QString());
            const CtlRun run = backup();
            QCOMPARE(run.status, 1);
            QCOMPARE(run.err, "keldor-ctl: " + path("b") +
                                  " is in use by another backup run (the nightly run)\n");
            QCOMPARE(filesIn(path("b")), QStringList{".keldor-lock"});
        }
        QCOMPARE(backup().status, 0);
    }

    // --keep counts the backups of one headend: those whose reports name its serial number, in
    // the order of their time stamps and sequence numbers (_10 after _2). Another headend's
    // backups under the same name, and a backup without a serial number, stay.
    void pruneCountsOneHeadend()
    {
        const auto opened = BackupFolder::open(path("b"));
        const BackupFolder &folder = std::get<BackupFolder>(opened);
        const QDateTime second(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc());
        for (int i = 1; i <= 10; ++i)
            QVERIFY(!writeBackup(configuration(7), folder, "rack", second).path.isEmpty());
        QVERIFY(!writeBackup(configuration(8), folder, "rack", second.addSecs(-60)).path.isEmpty());
        QVERIFY(writeFile(path("b/rack-20250101-000000.kdr"), "by hand") &&
                writeFile(path("b/rack-20250101-000000.rtf"), "{\\rtf1 by hand}"));
        const QString current =
            QFileInfo(writeBackup(configuration(7), folder, "rack", second.addSecs(60)).path)
                .fileName();

        QStringList stuck;
        const QStringList removed = pruneBackups(folder, "rack", current, 3, stuck);

        QCOMPARE(removed.size(), 8);
        QVERIFY(stuck.isEmpty());
        QCOMPARE(
            QDir(path("b")).entryList({"*.kdr"}, QDir::Files, QDir::Name),
            QStringList({"rack-20250101-000000.kdr", "rack-20260102-030305.kdr",
                         "rack-20260102-030405_10.kdr", "rack-20260102-030405_9.kdr", current}));
        QCOMPARE(QDir(path("b")).entryList({"*.rtf"}, QDir::Files).size(), 5);
    }

    // With --git only a change makes a commit, named after what changed; history, diff and
    // load reach the stored versions, the commands hear of changes and failures, and fleet
    // check warns of a headend without a recent backup.
    void gitKeepsChangesOnly()
    {
        m_sim->headend.state().identity.serialNumber = 4711;
        const QStringList hooks{"--git", "--on-change",
                                "cat > " + path("changed") + "; env > " + path("env"), "--on-fail",
                                "cat > " + path("failed")};
        const auto commits = [&] {
            return runProgram("git", {"-C", path("b"), "rev-list", "--count", "HEAD"}, {},
                              std::chrono::seconds(10))
                .out.trimmed();
        };
        QVERIFY2(backup(hooks).out.contains("rack-a.kdr (committed: first backup)"),
                 qPrintable(readFile(path("env"))));
        QVERIFY(QFile::remove(path("changed")));
        QVERIFY(backup(hooks).out.contains("rack-a.kdr (unchanged)"));
        QCOMPARE(commits(), "1");
        QVERIFY(!QFile::exists(path("changed")));

        m_sim->headend.state().channels[2].qam = 3;
        QVERIFY(backup(hooks).out.contains("(committed: Channel 3 QAM: QAM-256 -> QAM-64)"));
        QCOMPARE(commits(), "2");
        QCOMPARE(readFile(path("changed")), "Channel 3\n  QAM: QAM-256 -> QAM-64\n");
        for (const char *variable :
             {"KELDOR_NAME=rack-a\n", "KELDOR_SERIAL=4711\n", "KELDOR_ADDRESS=127.0.0.1:"})
            QVERIFY(readFile(path("env")).contains(variable));
        const QString history = runCtl({"history", "rack-a", "--dir", path("b")}).out;
        QVERIFY2(history.count('\n') == 2 && history.contains("rack-a: first backup\n") &&
                     history.contains("  rack-a: Channel 3 QAM: QAM-256 -> QAM-64\n"),
                 qPrintable(history));
        const CtlRun diff = runCtl({"diff", "rack-a@HEAD~1", "rack-a@HEAD", "--dir", path("b")});
        QCOMPARE(diff.out, "Channel 3\n  QAM: QAM-256 -> QAM-64\n");
        QVERIFY(runCtl({"diff", "rack-a@HEAD~2", "rack-a", "--dir", path("b")})
                    .err.contains("rack-a@HEAD~2 is no stored version in"));

        // A headend out of reach: the command hears why, and its last success stays.
        m_sim.reset();
        const CtlRun failed = backup(hooks);
        QVERIFY(failed.status == 1 && readFile(path("failed")).contains("Connection"));
        m_sim.emplace();
        m_sim->headend.state().identity.variant = 1;
        QVERIFY(m_sim->listen());
        const QByteArray address = "127.0.0.1:" + m_sim->portText().toLatin1();
        QVERIFY(writeFile(path("fleet.list"), "rack-a " + address + "\nrack-b " + address));
        const CtlRun check = runCtl({"fleet", "check", "--list", path("fleet.list"), "--jobs", "1",
                                     "--max-backup-age", "1", "--backup-dir", path("b")});
        QVERIFY2(check.out.contains("rack-a  OK - ") && check.out.contains("rack-b  WARNING - ") &&
                     check.out.contains(", no successful backup\n"),
                 qPrintable(check.out));
    }
};

QTEST_GUILESS_MAIN(TestFleetBackup)
#include "tst_fleetbackup.moc"
