// Every way a file the program reads or writes can be damaged, foreign or out of reach. Each row
// says what the operator reads; afterwards nothing claims success, the file on disk is exactly
// as it was, nothing else was left in its folder, and the next operations work.
#include "core/common/fileaccess.h"
#include "core/features/directory/directoryfile.h"
#include "core/features/directory/headenddirectory.h"
#include "core/features/report/rtfreport.h"
#include "core/features/shell/settingsstore.h"
#include "core/features/shell/shellstate.h"
#include "core/features/update/backup.h"
#include "core/features/update/upload.h"
#include "core/model/headendsettings.h"
#include "core/model/settingsfile.h"

#include "fleet.h"

#include "files.h"
#include "rawdirectory.h"
#include "recordingupdateview.h"
#include "sessionfixture.h"
#include "unwritable.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace keldor;

namespace {

// Link: a symbolic link to content, a file beside it that holds "kept" when content is a name.
// Unfinished: a directory file with the journal of a change that was never finished.
enum class Setup { None, Bytes, Sql, Folder, Fifo, Directory, Link, Unfinished };
// Read: the directory as only a reader opens it. List: a fleet's list file. Trace: a new trace
// file, and one that may replace an existing file.
// clang-format off
enum class Op { Load, Save, SaveReport, Backup, Open, Read, OpenCreate, Create, Change, Upload, Store, Switch, List,
                Trace, TraceReplace };
// clang-format on

struct Row {
    const char *name;
    const char *file; // in the test's folder; %1 in the expected text, %2 its report
    Setup setup;
    QByteArray content; // the file's bytes, or SQL statements one a line
    Op op;
    QString expected; // message boxes as "Title: text" or the error text, "*" the system's reason
    const char *below = ""; // the operation's path below the file
    const char *unwritable = nullptr;
    bool fullDisk = false;
};

// A settings image of empty channels but for some bytes at an offset of one record.
QByteArray patched(int channel, int offset, const QByteArray &bytes, bool oldForm = false)
{
    QByteArray image(oldForm ? oldSettingsFileSize : settingsFileSize, '\0');
    return image.replace(channel * (oldForm ? oldRecordSize : settingsRecordSize) + offset,
                         bytes.size(), bytes);
}

const QString damaged =
    "Load Settings: %1 is no usable KELDOR settings file: it is damaged: channel ";
const QString sent = "\rNothing was sent to the headend.";
const QString notSaved = "Save Settings: The settings could not be saved as %1:\r*\rAn existing "
                         "file of that name is unchanged.";
const QString notDirectory = "\"%1\" is not a headend directory: ";
const QString notChanged = "The headend directory \"%1\" could not be changed: ";
const QByteArray table = "CREATE TABLE KELDOR_Headend (Name, Location, \"IP-Adress\", Port)\n";

QList<Row> rows()
{
    QList<Row> out;
    const auto load = [&](const QByteArray &bytes, const QString &problem) {
        out.append({"damaged .kdr", "x.kdr", Setup::Bytes, bytes, Op::Load, problem + sent});
    };
    for (int size : {0, 239, 241, 3967, 3969})
        load(QByteArray(size, 1),
             "Load Settings: %1 is no usable KELDOR settings file: it has " +
                 QString::number(size) +
                 " bytes; a settings file has 3968 bytes (240 in the old form).");
    load(patched(2, 20, "\x65"), damaged + "3 lists 101 services, a channel holds at most 100.");
    load(QByteArray(settingsFileSize, char(0xFF)),
         damaged + "1 lists 255 services, a channel holds at most 100.");
    for (const auto &[channel, hex, text] : {std::tuple{15, "0000C07F", "16 has out_frequency nan"},
                                             std::tuple{0, "000080FF", "1 has out_frequency -inf"}})
        load(patched(channel, 7, QByteArray::fromHex(hex)),
             damaged + text + ", which is no frequency.");
    const QString unreadable = "Load Settings: The settings file %1 can't be read:\r";
    const QString noDirectory = "The headend directory \"%1\" could not be ";
    const QString notRegular = unreadable + "it is not a regular file." + sent;
    // A pipe: a loader that opened it would wait for a writer for ever. The unwritable settings
    // store: the switch holds for this run all the same.
    // clang-format off
    return out + QList<Row>{
        {"missing .kdr", "gone.kdr", Setup::None, {}, Op::Load, unreadable + '*' + sent},
        {".kdr is a folder", "f.kdr", Setup::Folder, {}, Op::Load, notRegular},
        {".kdr is a pipe", "p.kdr", Setup::Fifo, {}, Op::Load, notRegular},
        {"save below a regular file", "blocker", Setup::Bytes, "x", Op::Save, QString(notSaved).replace("%1", "%1/rack.kdr"), "/rack.kdr"},
        {"save onto a folder", "rack.kdr", Setup::Folder, {}, Op::Save, notSaved},
        {"save into a read-only folder", "rack.kdr", Setup::Bytes, QByteArray(3968, 7), Op::Save, notSaved, "", "."},
        {"full disk: settings and report", "rack.kdr", Setup::Bytes, QByteArray(3968, 0), Op::SaveReport, notSaved + "\nError: The report could not be written as %2:\r*", "", nullptr, true},
        // A backup leaves both of its files or neither.
        {"backup into a read-only folder", "backups", Setup::Folder, {}, Op::Backup, "%1/backup-*.kdr could not be written: *", "", "backups"},
        {"full disk: backup", "backups", Setup::Folder, {}, Op::Backup, "%1/backup-* could not be written: *", "", nullptr, true},
        {"program folder below a regular file", "program", Setup::Bytes, "x", Op::Create, "The headend directory \"%1/keldor/headend.mdb\" could not be created: the folder \"%1/keldor\" does not exist.", "/keldor"},
        {"corrupt headend.mdb", "headend.mdb", Setup::Bytes, "Standard Jet DB\n" + QByteArray(4096, 'J'), Op::OpenCreate, notDirectory + "file is not a database.\n" + noDirectory + "created: a file of this name is already there."},
        {"foreign headend.mdb", "headend.mdb", Setup::Sql, "CREATE TABLE invoices (number INTEGER, total REAL)\nINSERT INTO invoices VALUES (1, 9.5)", Op::Open, notDirectory + "it has no table KELDOR_Headend."},
        {"headend.mdb without a column", "headend.mdb", Setup::Sql, "CREATE TABLE KELDOR_Headend (Name, Location, \"IP-Adress\")", Op::Open, notDirectory + "its table KELDOR_Headend has no column \"Port\"."},
        {"headend.mdb with triggers", "headend.mdb", Setup::Sql, table + "CREATE TRIGGER t AFTER UPDATE ON KELDOR_Headend BEGIN UPDATE KELDOR_Headend SET \"IP-Adress\" = '10.6.6.6'; END", Op::Open, notDirectory + "it has triggers."},
        // A view that never ends would hold the selection for ever.
        {"headend.mdb recursive view", "headend.mdb", Setup::Sql, "CREATE VIEW KELDOR_Headend AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i AS Name, 1 AS Location, 2 AS \"IP-Adress\", 3 AS Port FROM n", Op::Read, notDirectory + "KELDOR_Headend is a view, not a table."},
        {"headend.mdb generated column", "headend.mdb", Setup::Sql, "CREATE TABLE KELDOR_Headend (Name, Location, \"IP-Adress\", Port AS (substr(Name, 1, 5)))", Op::Open, notDirectory + "its table KELDOR_Headend has generated or hidden columns."},
        {"headend.mdb larger than any directory", "headend.mdb", Setup::Sql, table + "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 120000) INSERT INTO KELDOR_Headend SELECT 'H' || i, '', '10.0.0.1', '5000' FROM n", Op::Read, noDirectory + "read: it asks for more work than any headend directory needs."},
        {"headend.mdb change never finished, read", "headend.mdb", Setup::Unfinished, {}, Op::Read, noDirectory + "read: it holds a change that was never finished, which Edit Headends takes back when it opens the file."},
        {"read-only program folder", "headend.mdb", Setup::Directory, {}, Op::Change, notChanged + "its folder is read-only.", "", "."},
        {"read-only headend.mdb", "headend.mdb", Setup::Directory, {}, Op::Change, notChanged + "the file is read-only.", "", "headend.mdb"},
        {"full disk: headend.mdb", "headend.mdb", Setup::Directory, {}, Op::Change, notChanged + '*', "", nullptr, true},
        {"empty firmware image", "KELDOR_FW_0.00.UC3", Setup::Bytes, {}, Op::Upload, "Update Error: The image file %1 is empty." + sent},
        {"settings store holding nonsense", "station.ini", Setup::Bytes,
         "[Settings]\nProxy-Use=1\nProxy-IP=the usual one\nProxy-Port=-8080x\nUSB-Control=perhaps\nLAN-Control=True\n", Op::Store, "Download Error: Connection to proxy server could not be established!"},
        {"unwritable settings store", "config", Setup::Bytes, "x", Op::Switch, "The settings could not be stored in \"%1/station.ini\".", "/station.ini"},
        {"list is a pipe", "sites.list", Setup::Fifo, {}, Op::List, "%1 can't be read: it is not a regular file."},
        {"list is /dev/zero", "sites.list", Setup::Link, "/dev/zero", Op::List, "%1 can't be read: it is not a regular file."},
        {"list larger than any fleet", "sites.list", Setup::Bytes, QByteArray(1024 * 1024 + 1, '#'), Op::List, "%1 is larger than a list of headends may be (1048576 bytes)"},
        {"trace onto a file", "t.jsonl", Setup::Bytes, "kept", Op::Trace, "the file exists."},
        {"trace onto a link", "t.jsonl", Setup::Link, "elsewhere", Op::Trace, "it is a symbolic link."},
        {"trace replacing through a link", "t.jsonl", Setup::Link, "elsewhere", Op::TraceReplace, "it is a symbolic link."},
        {"trace replacing a pipe", "t.jsonl", Setup::Fifo, {}, Op::TraceReplace, "it is not a regular file."},
        {"trace replacing /dev/zero", "t.jsonl", Setup::Link, "/dev/zero", Op::TraceReplace, "it is a symbolic link."},
    };
    // clang-format on
}

// Copies the directory file at source to target in the middle of a change, with the journal
// that undoes it; the change is then taken back at source.
bool unfinishedChange(const QString &source, const QString &target)
{
    return onRawDatabase(source, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        // A cache of one page spills the change into the file before it is committed.
        const bool copied =
            query.exec("PRAGMA cache_size = 1") && db.transaction() &&
            query.exec("INSERT INTO KELDOR_Headend (Name) WITH RECURSIVE n(i) AS (SELECT 1 "
                       "UNION ALL SELECT i + 1 FROM n WHERE i < 2000) SELECT hex(i) FROM n") &&
            QFile::copy(source, target) && QFile::copy(source + "-journal", target + "-journal");
        return db.rollback() && copied;
    });
}

} // namespace

class TestFileFaults : public QObject {
    Q_OBJECT

private slots:
    void faults_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < rows().size(); ++i)
            QTest::addRow("%d %s", i, rows().at(i).name) << i;
    }

    void faults()
    {
        QFETCH(int, row);
        const Row r = rows().at(row);
        QTemporaryDir dir;
        SessionFixture f;
        QVERIFY(f.start());
        UnitData unit;
        unit.channel(3).outFrequency = 306.0f;
        unit.settingsFileName = QStringLiteral("before.kdr");
        const UnitData before = unit;
        const QString path = dir.filePath(r.file);
        bool ready = true;
        HeadendDirectory directory;
        if (r.setup == Setup::Bytes)
            ready = writeFile(path, r.content);
        else if (r.setup == Setup::Folder)
            ready = QDir().mkpath(path);
        else if (r.setup == Setup::Fifo)
            ready = mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
        else if (r.setup == Setup::Directory)
            ready =
                createDirectoryFile(dir.path()) && directory.open(dir.path()) &&
                directory.update(directory.appendEmpty(), {"Rack 7", "Hall", "10.0.0.7", "5000"});
        else if (r.setup == Setup::Link) {
            const QString target = QString::fromUtf8(r.content);
            ready = (target.startsWith('/') || writeFile(dir.filePath(target), "kept")) &&
                    QFile::link(target, path);
        } else if (r.setup == Setup::Unfinished) {
            QTemporaryDir before;
            ready = createDirectoryFile(before.path()) &&
                    unfinishedChange(directoryPath(before.path()), path);
        } else if (r.setup == Setup::Sql) {
            ready = onRawDatabase(path, [&r](QSqlDatabase &db) {
                bool all = true;
                for (const QByteArray &statement : r.content.split('\n'))
                    all = QSqlQuery(db).exec(QString::fromUtf8(statement)) && all;
                return all;
            });
        }
        QVERIFY(ready);
        const QByteArray hash = QFileInfo(path).isFile() ? fileHash(path) : QByteArray();
        const QStringList files = QDir(dir.path()).entryList(QDir::AllEntries);
        const auto inside = [&] {
            return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        const QStringList filesInside = inside();
        Configuration config;

        const QString target = path + QLatin1String(r.below);
        QString error; // what an operation without a message box reports
        const auto work = [&]() -> bool {
            RecordingUpdateView view;
            HeadendDirectory other;
            switch (r.op) {
            case Op::Load:
                return loadSettingsFile(f.ui, target, unit).has_value();
            case Op::Save:
                return saveSettingsFile(f.ui, target, unit);
            case Op::SaveReport: {
                config.unit = unit;
                // Both are tried, whatever the first one gives.
                const bool saved = saveSettingsFile(f.ui, target, unit);
                const bool reported = printRtf(f.ui, reportFileName(target), config);
                return saved || reported;
            }
            case Op::Backup: {
                config.unit = unit;
                const BackupResult backup = writeBackup(config, target);
                error = backup.error;
                return !backup.path.isEmpty();
            }
            case Op::Open:
            case Op::Read:
                return directory.open(dir.path(), r.op == Op::Read
                                                      ? HeadendDirectory::Access::ReadOnly
                                                      : HeadendDirectory::Access::ReadWrite) ||
                       (error = directory.lastError(), false);
            case Op::List: {
                const FleetMembers members = readFleetList(target);
                return std::holds_alternative<QList<FleetMember>>(members) ||
                       (error = std::get<QString>(members), false);
            }
            case Op::Trace:
            case Op::TraceReplace: {
                QFile trace;
                error = createPrivateFile(trace, target,
                                          r.op == Op::Trace ? ExistingFile::Refuse
                                                            : ExistingFile::Replace);
                return error.isEmpty();
            }
            case Op::OpenCreate:
                return directory.open(dir.path()) || createDirectoryFile(dir.path(), &error) ||
                       (error.prepend(directory.lastError() + '\n'), false);
            case Op::Create:
                return createDirectoryFile(target, &error);
            case Op::Change:
                return !other.open(dir.path()) ||
                       other.update(0, {"Rack 8", "Hall", "10.0.0.8", "5000"}) || other.remove(0) ||
                       other.appendEmpty() >= 0 || other.count() != 1 ||
                       (error = other.lastError(), false);
            case Op::Upload:
                return updateFw(f.session, view, target) != UploadResult::NotStarted ||
                       !f.sim.frames(0x84).isEmpty();
            case Op::Store:
            case Op::Switch:
                break;
            }
            // The settings store: read as the program starts, or written by a mode switch.
            QSettings ini(target, QSettings::IniFormat);
            SettingsStore store(ini);
            ShellState state;
            if (r.op == Op::Store) {
                loadSettings(state, store);
                return lanConnect(f.session, {"sim", "127.0.0.1", f.sim.portText(), state.proxyUse,
                                              state.proxyIp, state.proxyPort}) ||
                       state.connectionMode != ConnectionMode::Lan;
            }
            return switchConnectionMode(state, store, ConnectionMode::Lan) ||
                   state.connectionMode != ConnectionMode::Lan ||
                   (error = store.lastError(), false);
        };
        const auto shown = [&] {
            const bool succeeded = work();
            QStringList out;
            for (const RecordingUi::Message &m : f.ui.messages)
                out.append(m.title + QStringLiteral(": ") + m.text);
            return QByteArray(succeeded ? "1" : "0") +
                   (out.isEmpty() ? error : out.join('\n')).toUtf8();
        };
        std::optional<Unwritable> unwritable;
        if (r.unwritable)
            QVERIFY(unwritable.emplace(dir.filePath(r.unwritable)).ok());
        const QByteArray outcome = r.fullDisk ? onFullDisk(shown) : shown();
        unwritable.reset();
        QCOMPARE(outcome.left(1), "0");
        QString expected = QRegularExpression::escape(
            QString(r.expected).replace("%1", path).replace("%2", reportFileName(path)));
        const QRegularExpression pattern(
            QRegularExpression::anchoredPattern(expected.replace("\\*", ".*")),
            QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(pattern.match(QString::fromUtf8(outcome.mid(1))).hasMatch(), outcome.constData());
        QCOMPARE(QFileInfo(path).isFile() ? fileHash(path) : QByteArray(), hash);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries), files);
        QCOMPARE(inside(), filesInside);
        QCOMPARE(unit.settingsFileName, before.settingsFileName);
        QCOMPARE(encodeSettings(unit.channels), encodeSettings(before.channels));
        QVERIFY(!f.ui.progressShown && f.ui.busyDepth == 0);

        // The next operations work: a settings file, a directory, the store and the headend.
        f.ui.clear();
        const QString next = dir.filePath(QStringLiteral("next"));
        QSettings ini(next + "/station.ini", QSettings::IniFormat);
        SettingsStore store(ini);
        ShellState state;
        HeadendDirectory fresh;
        QVERIFY(QDir().mkpath(next) && saveSettingsFile(f.ui, next + "/next.kdr", unit) &&
                loadSettingsFile(f.ui, next + "/next.kdr", unit) == SettingsFormat::Current);
        QVERIFY(createDirectoryFile(next) && fresh.open(next) && fresh.appendEmpty() == 0);
        QVERIFY(switchConnectionMode(state, store, ConnectionMode::Lan));
        QVERIFY(f.session.lan.isConnected() || f.sim.connect(f.session));
        QCOMPARE(f.ui.texts(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestFileFaults)
#include "tst_filefaults.moc"
