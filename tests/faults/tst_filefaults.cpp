// Every way a file the program reads or writes can be damaged, foreign or out of reach. Each row
// says what the operator reads; afterwards nothing claims success, the file on disk is exactly
// as it was, nothing else was left in its folder, and the next operations work.
#include "directory/directoryfile.h"
#include "directory/headenddirectory.h"
#include "model/settingsfile.h"
#include "protocol/parameters.h"
#include "report/rtfreport.h"
#include "shell/settingsstore.h"
#include "shell/shellstate.h"
#include "update/upload.h"

#include "files.h"
#include "recordingupdateview.h"
#include "sessionfixture.h"
#include "unwritable.h"

#include <QDir>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace keldor;

namespace {

enum class Setup { None, Bytes, Sql, Folder, Fifo, Directory };
enum class Op {
    Load,
    Save,
    SaveAndReport,
    Open,
    OpenAndCreate,
    Create,
    Change,
    Upload,
    Store,
    Switch
};

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
const QString notSaved =
    "Save Settings: The settings could not be saved as %1:\r*\rAn existing file of "
    "that name is unchanged.";
const QString notDirectory = "\"%1\" is not a headend directory: ";
const QString notChanged = "The headend directory \"%1\" could not be changed: ";
const QByteArray table = "CREATE TABLE KELDOR_Headend (Name, Location, \"IP-Adress\", Port)\n";

QList<Row> rows()
{
    QList<Row> out;
    for (int size : {0, 239, 241, 3967, 3969})
        out.append({"size", "x.kdr", Setup::Bytes, QByteArray(size, 1), Op::Load,
                    "Load Settings: %1 is no usable KELDOR settings file: it has " +
                        QString::number(size) +
                        " bytes; a settings file has 3968 bytes (240 in the old form)." + sent});
    const QList<std::tuple<int, int, QByteArray, const char *>> fields{
        {2, 20, "\x65", "3 lists 101 services, a channel holds at most 100."},
        {15, 7, QByteArray::fromHex("0000C07F"),
         "16 has out_frequency nan, which is no frequency."},
        {0, 7, QByteArray::fromHex("000080FF"), "1 has out_frequency -inf, which is no frequency."},
        {3, 0, "\x05", "4 has polarisation 5, outside its list (0 to 4)."},
        {4, 11, "\x02", "5 has bandwidth 2, outside its list (0 to 1)."},
        {5, 12, "\x06", "6 has qam 6, outside its list (0 to 5)."},
        {6, 15, "\x02", "7 has spectrum 2, outside its list (0 to 1)."},
        {7, 16, "\x0D", "8 has attenuation 13, outside its list (0 to 12)."},
        {8, 17, "\x03", "9 has opmode 3, outside its list (0 to 2)."},
        {11, -1, "\xFF", "12 has qam 255, outside its list (0 to 5)."}, // in the old form
    };
    for (const auto &[channel, offset, bytes, problem] : fields)
        out.append(
            {problem, "x.kdr", Setup::Bytes,
             offset < 0 ? patched(channel, 12, bytes, true) : patched(channel, offset, bytes),
             Op::Load, damaged + problem + sent});
    const QString unreadable = "Load Settings: The settings file %1 can't be read:\r";
    const QList<std::pair<const char *, QByteArray>> foreign{
        {"it has no table KELDOR_Headend.", "CREATE TABLE invoices (number INTEGER, total REAL)\n"
                                            "INSERT INTO invoices VALUES (1, 9.5)"},
        {"its table KELDOR_Headend has no column \"Port\".",
         "CREATE TABLE KELDOR_Headend (Name, Location, \"IP-Adress\")"},
        {"it has triggers.", table + "CREATE TRIGGER t AFTER UPDATE ON KELDOR_Headend BEGIN UPDATE "
                                     "KELDOR_Headend SET \"IP-Adress\" = '10.6.6.6'; END"},
        // An untrusted schema may not read the database's own tables in a view.
        {"it has no table KELDOR_Headend.",
         "CREATE VIEW KELDOR_Headend AS SELECT file AS Name, 1 AS "
         "Location, 2 AS \"IP-Adress\", 3 AS Port FROM "
         "pragma_database_list"},
    };
    for (const auto &[problem, statements] : foreign)
        out.append({"foreign headend.mdb", "headend.mdb", Setup::Sql, statements, Op::Open,
                    notDirectory + problem});
    return out +
           QList<Row>{
               {"foreign .kdr", "photo.kdr", Setup::Bytes, QByteArray(settingsFileSize, char(0xFF)),
                Op::Load, damaged + "1 lists 255 services, a channel holds at most 100." + sent},
               {"missing .kdr", "gone.kdr", Setup::None, {}, Op::Load, unreadable + '*' + sent},
               {".kdr is a folder",
                "f.kdr",
                Setup::Folder,
                {},
                Op::Load,
                unreadable + "it is not a regular file." + sent},
               // A loader that opened it would wait for a writer for ever.
               {".kdr is a pipe",
                "p.kdr",
                Setup::Fifo,
                {},
                Op::Load,
                unreadable + "it is not a regular file." + sent},
               {"save below a regular file", "blocker", Setup::Bytes, "x", Op::Save,
                QString(notSaved).replace("%1", "%1/rack.kdr"), "/rack.kdr"},
               {"save onto a folder", "rack.kdr", Setup::Folder, {}, Op::Save, notSaved},
               {"save into a read-only folder", "rack.kdr", Setup::Bytes, QByteArray(3968, 7),
                Op::Save, notSaved, "", "."},
               {"full disk: settings and report", "rack.kdr", Setup::Bytes, QByteArray(3968, 0),
                Op::SaveAndReport, notSaved + "\nError: The report could not be written as %2:\r*",
                "", nullptr, true},
               {"program folder below a regular file", "program", Setup::Bytes, "x", Op::Create,
                "The headend directory \"%1/keldor/headend.mdb\" could not be created: the folder "
                "\"%1/keldor\" does not exist.",
                "/keldor"},
               {"corrupt headend.mdb", "headend.mdb", Setup::Bytes,
                "Standard Jet DB\n" + QByteArray(4096, 'J'), Op::OpenAndCreate,
                notDirectory + "file is not a database.\nThe headend directory \"%1\" could not be "
                               "created: a file of this name is already there."},
               {"headend.mdb text longer than its column", "headend.mdb", Setup::Sql,
                table + "INSERT INTO KELDOR_Headend VALUES ('A', 'Hall', '10.0.0.1', '4001')\n"
                        "INSERT INTO KELDOR_Headend VALUES ('B', 'Hall', '10.0.0.2', '400200')",
                Op::Open,
                "The headend directory \"%1\" could not be read: headend number 2: Port is longer "
                "than 5 "
                "characters."},
               {"read-only program folder",
                "headend.mdb",
                Setup::Directory,
                {},
                Op::Change,
                notChanged + "its folder is read-only.",
                "",
                "."},
               {"read-only headend.mdb",
                "headend.mdb",
                Setup::Directory,
                {},
                Op::Change,
                notChanged + "the file is read-only.",
                "",
                "headend.mdb"},
               {"full disk: headend.mdb",
                "headend.mdb",
                Setup::Directory,
                {},
                Op::Change,
                notChanged + '*',
                "",
                nullptr,
                true},
               {"empty firmware image",
                "KELDOR_FW_0.00.UC3",
                Setup::Bytes,
                {},
                Op::Upload,
                "Update Error: The image file %1 is empty." + sent},
               {"settings store holding nonsense", "station.ini", Setup::Bytes,
                "[Settings]\nProxy-Use=1\nProxy-IP=the usual "
                "one\nProxy-Port=-8080x\nUSB-Control=perhaps\n"
                "LAN-Control=True\n",
                Op::Store, "Download Error: Connection to proxy server could not be established!"},
               // The switch holds for this run all the same.
               {"unwritable settings store", "config", Setup::Bytes, "x", Op::Switch,
                "The settings could not be stored in \"%1/station.ini\".", "/station.ini"},
           };
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
        unit.channel(3).out_frequency = 306.0f;
        unit.settings_file_name = QStringLiteral("before.kdr");
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
                datenbank_anlegen(dir.path()) && directory.open(dir.path()) &&
                directory.update(directory.appendEmpty(), {"Rack 7", "Hall", "10.0.0.7", "5000"});
        else if (r.setup == Setup::Sql) {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
            db.setDatabaseName(path);
            ready = db.open();
            for (const QByteArray &statement : r.content.split('\n'))
                ready = QSqlQuery(db).exec(QString::fromUtf8(statement)) && ready;
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
        QVERIFY(ready);
        const QByteArray hash = QFileInfo(path).isFile() ? fileHash(path) : QByteArray();
        const QStringList files = QDir(dir.path()).entryList(QDir::AllEntries);

        const QString target = path + QLatin1String(r.below);
        const auto work = [&]() -> std::pair<bool, QString> {
            QString error;
            switch (r.op) {
            case Op::Load:
                return {load_settings_file(f.ui, target, unit).has_value(), error};
            case Op::Save:
                return {save_settings_file(f.ui, target, unit), error};
            case Op::SaveAndReport:
                unit.device_variant = 3; // a report without service lists needs no headend
                return {save_settings_file(f.ui, target, unit) |
                            (Print_RTF(f.exchange(), report_file_name(target), {}, unit) ==
                             ReportResult::Written),
                        error};
            case Op::Open:
                return {directory.open(dir.path()), directory.lastError()};
            case Op::OpenAndCreate:
                return {directory.open(dir.path()) || datenbank_anlegen(dir.path(), &error),
                        directory.lastError() + '\n' + error};
            case Op::Create:
                return {datenbank_anlegen(target, &error), error};
            case Op::Change: {
                HeadendDirectory other;
                const bool changed = !other.open(dir.path()) ||
                                     other.update(0, {"Rack 8", "Hall", "10.0.0.8", "5000"}) ||
                                     other.remove(0) || other.appendEmpty() >= 0 ||
                                     other.count() != 1;
                return {changed, other.lastError()};
            }
            case Op::Upload: {
                RecordingUpdateView view;
                return {update_fw(f.session, view, target) != UploadResult::NotStarted ||
                            !f.sim.frames(0x84).isEmpty(),
                        error};
            }
            case Op::Store: {
                QSettings ini(target, QSettings::IniFormat);
                ShellState state;
                loadSettings(state, SettingsStore(ini));
                return {
                    lan_connect(f.session, {"sim", "127.0.0.1", f.sim.portText(), state.proxy_use,
                                            state.proxy_ip, state.proxy_port}) ||
                        state.connection_mode != ConnectionMode::Lan,
                    error};
            }
            case Op::Switch:
                QSettings ini(target, QSettings::IniFormat);
                SettingsStore store(ini);
                ShellState state;
                return {switchConnectionMode(state, store, ConnectionMode::Lan) ||
                            state.connection_mode != ConnectionMode::Lan,
                        store.lastError()};
            }
            return {true, error};
        };
        const auto shown = [&](const std::pair<bool, QString> &outcome) {
            QStringList out;
            for (const RecordingUi::Message &m : f.ui.messages)
                out.append(m.title + QStringLiteral(": ") + m.text);
            return QByteArray(outcome.first ? "1" : "0") +
                   (out.isEmpty() ? outcome.second : out.join('\n')).toUtf8();
        };
        QByteArray outcome;
        if (r.fullDisk) {
            outcome = onFullDisk([&] { return shown(work()); });
        } else {
            std::optional<Unwritable> unwritable;
            if (r.unwritable)
                QVERIFY(unwritable.emplace(dir.filePath(r.unwritable)).ok());
            outcome = shown(work());
        }
        QCOMPARE(outcome.left(1), "0");
        QStringList pattern;
        for (const QString &part : QString(r.expected)
                                       .replace("%1", path)
                                       .replace("%2", report_file_name(path))
                                       .split('*'))
            pattern.append(QRegularExpression::escape(part));
        const QRegularExpression expected(QRegularExpression::anchoredPattern(pattern.join(".*")),
                                          QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(expected.match(QString::fromUtf8(outcome.mid(1))).hasMatch(), outcome.constData());
        QCOMPARE(QFileInfo(path).isFile() ? fileHash(path) : QByteArray(), hash);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries), files);
        QCOMPARE(unit.settings_file_name, before.settings_file_name);
        QCOMPARE(encode_settings(unit.channels), encode_settings(before.channels));
        QVERIFY(!f.ui.progressShown);
        QCOMPARE(f.ui.busyDepth, 0);

        // The next operations work: a settings file, a directory, the store and the headend.
        f.ui.clear();
        const QString next = dir.filePath(QStringLiteral("next"));
        QSettings ini(next + "/station.ini", QSettings::IniFormat);
        SettingsStore store(ini);
        ShellState state;
        HeadendDirectory fresh;
        ParamValue serial;
        QVERIFY(QDir().mkpath(next) && save_settings_file(f.ui, next + "/next.kdr", unit) &&
                load_settings_file(f.ui, next + "/next.kdr", unit) == SettingsFormat::Current);
        QVERIFY(datenbank_anlegen(next) && fresh.open(next) && fresh.appendEmpty() == 0);
        QVERIFY(switchConnectionMode(state, store, ConnectionMode::Lan));
        QVERIFY(f.session.lan.isConnected() || f.sim.connect(f.session));
        QVERIFY(read_parameter(f.exchange(), 0, 0x7A, 0, serial) && serial.toInt() == 123456);
        QCOMPARE(f.ui.texts(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestFileFaults)
#include "tst_filefaults.moc"
