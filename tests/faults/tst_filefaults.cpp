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
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace keldor;

namespace {

struct Case {
    QTemporaryDir dir;
    SessionFixture f;
    UnitData unit;
    QString path(const QString &name) const { return dir.filePath(name); }
};

struct Outcome {
    bool succeeded = false;
    QString shown; // message boxes as "Title: text", or the error text, one a line
};

using Prepare = std::function<bool(Case &, const QString &path)>;
using Run = std::function<Outcome(Case &, const QString &path)>;

struct Row {
    QString name;
    QString file; // in the case's folder; %1 in the expected text
    Prepare prepare;
    Run run;
    QString expected; // %2: the report beside it; "*" stands for the system's own reason
};

QString boxes(const RecordingUi &ui)
{
    QStringList out;
    for (const RecordingUi::Message &m : ui.messages)
        out.append(m.title + QStringLiteral(": ") + m.text);
    return out.join('\n');
}

Prepare bytes(const QByteArray &content)
{
    return [content](Case &, const QString &path) {
        return writeFile(path, content);
    };
}

// Statements one a line, run through a connection of the test's own.
Prepare sql(const QString &statements)
{
    return [statements](Case &, const QString &path) {
        bool ok = true;
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
            db.setDatabaseName(path);
            ok = db.open();
            for (const QString &statement : statements.split('\n'))
                ok = QSqlQuery(db).exec(statement) && ok;
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
        return ok;
    };
}

Prepare directoryWithOneHeadend()
{
    return [](Case &c, const QString &) {
        HeadendDirectory directory;
        return datenbank_anlegen(c.dir.path()) && directory.open(c.dir.path()) &&
               directory.update(directory.appendEmpty(), {"Rack 7", "Hall", "10.0.0.7", "5000"});
    };
}

Prepare isFolder()
{
    return [](Case &, const QString &path) {
        return QDir().mkpath(path);
    };
}

Outcome load(Case &c, const QString &path)
{
    return {load_settings_file(c.f.ui, path, c.unit).has_value(), boxes(c.f.ui)};
}

Outcome save(Case &c, const QString &path)
{
    return {save_settings_file(c.f.ui, path, c.unit), boxes(c.f.ui)};
}

Outcome openDirectory(Case &c, const QString &)
{
    HeadendDirectory directory;
    return {directory.open(c.dir.path()), directory.lastError()};
}

// Every change to a directory that can be read but not written fails alike.
Outcome changeDirectory(Case &c, const QString &)
{
    HeadendDirectory directory;
    if (!directory.open(c.dir.path()))
        return {true, directory.lastError()};
    const bool changed = directory.update(0, {"Rack 8", "Hall", "10.0.0.8", "5000"}) ||
                         directory.remove(0) || directory.appendEmpty() >= 0;
    return {changed || directory.count() != 1, directory.lastError()};
}

template<typename Work> Run whileUnwritable(const QString &name, Work work)
{
    return [name, work](Case &c, const QString &path) {
        const Unwritable unwritable(c.path(name));
        return unwritable.ok() ? work(c, path) : Outcome{true, QStringLiteral("not protected")};
    };
}

// A settings image of empty channels but for one change.
QByteArray imageWith(int channel, void (*change)(ChannelRecord &), bool oldForm = false)
{
    std::array<ChannelRecord, channelCount> channels{};
    change(channels.at(channel));
    const QByteArray image = encode_settings(channels);
    QByteArray old;
    for (int ch = 0; ch < oldRecordCount; ++ch)
        old.append(image.mid(ch * settingsRecordSize, oldRecordSize));
    return oldForm ? old : image;
}

QList<Row> rows()
{
    const QString unusable =
        QStringLiteral("Load Settings: %1 is no usable KELDOR settings file: ");
    const QString sent = QStringLiteral("\rNothing was sent to the headend.");
    const QString damaged = unusable + QStringLiteral("it is damaged: channel ");
    const QString notSaved = QStringLiteral("Save Settings: The settings could not be saved as "
                                            "%1:\r*\rAn existing file of that name is unchanged.");
    const QString notDirectory = QStringLiteral("\"%1\" is not a headend directory: ");
    const QString notChanged =
        QStringLiteral("The headend directory \"%1\" could not be changed: ");
    const QString table = QStringLiteral("CREATE TABLE KELDOR_Headend (Name, Location, "
                                         "\"IP-Adress\", Port)\n");
    QList<Row> out;
    for (int size : {0, 239, 241, 3967, 3969})
        out.append({QStringLiteral("%1 bytes").arg(size), "x.kdr", bytes(QByteArray(size, 1)), load,
                    unusable +
                        QStringLiteral("it has %1 bytes; a settings file has 3968 bytes (240 "
                                       "in the old form).")
                            .arg(size) +
                        sent});
    const auto field = [&](const char *name, int ch, void (*change)(ChannelRecord &),
                           const QString &problem, bool oldForm = false) {
        out.append({name, "x.kdr", bytes(imageWith(ch, change, oldForm)), load,
                    damaged + QString::number(ch + 1) + ' ' + problem + sent});
    };
    field(
        "101 services", 2, [](ChannelRecord &r) { r.service_count = 101; },
        "lists 101 services, a channel holds at most 100.");
    field(
        "frequency NaN", 15, [](ChannelRecord &r) { r.out_frequency = qQNaN(); },
        "has out_frequency nan, which is no frequency.");
    field(
        "frequency -inf", 0, [](ChannelRecord &r) { r.out_frequency = -qInf(); },
        "has out_frequency -inf, which is no frequency.");
    field(
        "polarisation 5", 3, [](ChannelRecord &r) { r.polarisation = 5; },
        "has polarisation 5, outside its list (0 to 4).");
    field(
        "bandwidth 2", 4, [](ChannelRecord &r) { r.bandwidth = 2; },
        "has bandwidth 2, outside its list (0 to 1).");
    field(
        "qam 6", 5, [](ChannelRecord &r) { r.qam = 6; }, "has qam 6, outside its list (0 to 5).");
    field(
        "spectrum 2", 6, [](ChannelRecord &r) { r.spectrum = 2; },
        "has spectrum 2, outside its list (0 to 1).");
    field(
        "attenuation 13", 7, [](ChannelRecord &r) { r.attenuation = 13; },
        "has attenuation 13, outside its list (0 to 12).");
    field(
        "opmode 3", 8, [](ChannelRecord &r) { r.opmode = 3; },
        "has opmode 3, outside its list (0 to 2).");
    field(
        "old form, qam 255", 11, [](ChannelRecord &r) { r.qam = 255; },
        "has qam 255, outside its list (0 to 5).", true);
    const QString unreadable =
        QStringLiteral("Load Settings: The settings file %1 can't be read:\r");
    out += QList<Row>{
        {"foreign .kdr", "photo.kdr", bytes(QByteArray(settingsFileSize, char(0xFF))), load,
         damaged + QStringLiteral("1 lists 255 services, a channel holds at most 100.") + sent},
        {"missing .kdr", "gone.kdr", {}, load, unreadable + '*' + sent},
        {".kdr is a folder", "folder.kdr", isFolder(), load,
         unreadable + QStringLiteral("it is not a regular file.") + sent},
        {"save below a regular file", "blocker", bytes("x"),
         [](Case &c, const QString &path) { return save(c, path + "/rack.kdr"); },
         QString(notSaved).replace("%1", "%1/rack.kdr")},
        {"save onto a folder", "rack.kdr", isFolder(), save, notSaved},
        {"save into a read-only folder", "rack.kdr", bytes(QByteArray(3968, 7)),
         whileUnwritable(".", save), notSaved},
        {"full disk: settings and report", "rack.kdr", bytes(QByteArray(3968, 0)),
         [](Case &c, const QString &path) {
             c.unit.device_variant = 3; // a report without service lists needs no headend
             const QByteArray shown = onFullDisk([&] {
                 const bool saved = save_settings_file(c.f.ui, path, c.unit);
                 const bool written = Print_RTF(c.f.exchange(), report_file_name(path), {},
                                                c.unit) == ReportResult::Written;
                 return QByteArray(saved || written ? "1" : "0") + boxes(c.f.ui).toUtf8();
             });
             return Outcome{!shown.startsWith('0'), QString::fromUtf8(shown.mid(1))};
         },
         notSaved + "\nError: The report could not be written as %2:\r*"},
        {"program folder below a regular file", "program", bytes("x"),
         [](Case &, const QString &path) {
             QString error;
             return Outcome{datenbank_anlegen(path + "/keldor", &error), error};
         },
         "The headend directory \"%1/keldor/headend.mdb\" could not be created: the folder "
         "\"%1/keldor\" does not exist."},
        {"corrupt headend.mdb", "headend.mdb", bytes("Standard Jet DB\n" + QByteArray(4096, 'J')),
         [](Case &c, const QString &path) {
             QString error;
             const Outcome opened = openDirectory(c, path);
             return Outcome{opened.succeeded || datenbank_anlegen(c.dir.path(), &error),
                            opened.shown + '\n' + error};
         },
         notDirectory + "file is not a database.\nThe headend directory \"%1\" could not be "
                        "created: a file of this name is already there."},
        {"foreign headend.mdb", "headend.mdb",
         sql("CREATE TABLE invoices (number INTEGER, total REAL)\nINSERT INTO invoices VALUES (1, "
             "9.5)"),
         openDirectory, notDirectory + "it has no table KELDOR_Headend."},
        {"headend.mdb without Port", "headend.mdb",
         sql("CREATE TABLE KELDOR_Headend (Name, Location, \"IP-Adress\")"), openDirectory,
         notDirectory + "its table KELDOR_Headend has no column \"Port\"."},
        {"headend.mdb with a trigger", "headend.mdb",
         sql(table + "CREATE TRIGGER t AFTER UPDATE ON KELDOR_Headend BEGIN UPDATE KELDOR_Headend "
                     "SET \"IP-Adress\" = '10.6.6.6'; END"),
         openDirectory, notDirectory + "it has triggers."},
        // An untrusted schema may not read the database's own tables in a view.
        {"headend.mdb view over pragma_database_list", "headend.mdb",
         sql("CREATE VIEW KELDOR_Headend AS SELECT file AS Name, 1 AS Location, 2 AS "
             "\"IP-Adress\", 3 AS Port FROM pragma_database_list"),
         openDirectory, notDirectory + "it has no table KELDOR_Headend."},
        {"headend.mdb text longer than its column", "headend.mdb",
         sql(table + "INSERT INTO KELDOR_Headend VALUES ('A', 'Hall', '10.0.0.1', '4001')\n"
                     "INSERT INTO KELDOR_Headend VALUES ('B', 'Hall', '10.0.0.2', '400200')"),
         openDirectory,
         "The headend directory \"%1\" could not be read: headend number 2: Port is longer than 5 "
         "characters."},
        {"read-only program folder", "headend.mdb", directoryWithOneHeadend(),
         whileUnwritable(".", changeDirectory), notChanged + "its folder is read-only."},
        {"read-only headend.mdb", "headend.mdb", directoryWithOneHeadend(),
         whileUnwritable("headend.mdb", changeDirectory), notChanged + "the file is read-only."},
        {"full disk: headend.mdb", "headend.mdb", directoryWithOneHeadend(),
         [](Case &c, const QString &path) {
             const QByteArray shown =
                 onFullDisk([&] { return changeDirectory(c, path).shown.toUtf8(); });
             return Outcome{!shown.startsWith("The headend"), QString::fromUtf8(shown)};
         },
         notChanged + '*'},
        {"empty firmware image", "KELDOR_FW_0.00.UC3", bytes({}),
         [](Case &c, const QString &path) {
             RecordingUpdateView view;
             const UploadResult result = update_fw(c.f.session, view, path);
             return Outcome{result != UploadResult::NotStarted || c.f.sim.frames(0x84).size() > 0,
                            boxes(c.f.ui)};
         },
         "Update Error: The image file %1 is empty.\rNothing was sent to the headend."},
        {"settings store holding nonsense", "station.ini",
         bytes("[Settings]\nProxy-Use=1\nProxy-IP=the usual one\nProxy-Port=-8080x\n"
               "USB-Control=perhaps\nLAN-Control=True\n"),
         [](Case &c, const QString &path) {
             QSettings ini(path, QSettings::IniFormat);
             ShellState state;
             loadSettings(state, SettingsStore(ini));
             const bool connected =
                 lan_connect(c.f.session, {"sim", "127.0.0.1", c.f.sim.portText(), state.proxy_use,
                                           state.proxy_ip, state.proxy_port});
             return Outcome{connected || state.connection_mode != ConnectionMode::Lan,
                            boxes(c.f.ui)};
         },
         "Download Error: Connection to proxy server could not be established!"},
        {"unwritable settings store", "config", bytes("x"),
         [](Case &, const QString &path) {
             QSettings ini(path + "/station.ini", QSettings::IniFormat);
             SettingsStore store(ini);
             ShellState state;
             const bool stored = switchConnectionMode(state, store, ConnectionMode::Lan);
             // The switch holds for this run all the same.
             return Outcome{stored || state.connection_mode != ConnectionMode::Lan,
                            store.lastError()};
         },
         "The settings could not be stored in \"%1/station.ini\"."},
    };
    return out;
}

} // namespace

class TestFileFaults : public QObject {
    Q_OBJECT

private slots:
    void faults_data()
    {
        QTest::addColumn<int>("row");
        const QList<Row> all = rows();
        for (int i = 0; i < all.size(); ++i)
            QTest::newRow(qPrintable(all[i].name)) << i;
    }

    void faults()
    {
        QFETCH(int, row);
        const Row r = rows().at(row);
        Case c;
        QVERIFY(c.f.start());
        c.unit.channel(3).out_frequency = 306.0f;
        c.unit.settings_file_name = QStringLiteral("before.kdr");
        const UnitData before = c.unit;
        const QString path = c.path(r.file);
        QVERIFY(!r.prepare || r.prepare(c, path));
        const QByteArray hash = fileHash(path);
        const QStringList files = QDir(c.dir.path()).entryList(QDir::AllEntries);

        const Outcome outcome = r.run(c, path);
        QVERIFY(!outcome.succeeded);
        const QStringList parts = QString(r.expected)
                                      .replace("%1", path)
                                      .replace("%2", report_file_name(path))
                                      .split('*');
        QStringList pattern;
        for (const QString &part : parts)
            pattern.append(QRegularExpression::escape(part));
        const QRegularExpression expected(QRegularExpression::anchoredPattern(pattern.join(".*")),
                                          QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(expected.match(outcome.shown).hasMatch(), qPrintable(outcome.shown));
        QCOMPARE(fileHash(path), hash);
        QCOMPARE(QDir(c.dir.path()).entryList(QDir::AllEntries), files);
        QCOMPARE(c.unit.settings_file_name, before.settings_file_name);
        QCOMPARE(encode_settings(c.unit.channels), encode_settings(before.channels));
        QVERIFY(!c.f.ui.progressShown);
        QCOMPARE(c.f.ui.busyDepth, 0);

        // The next operations work: a settings file, a directory, the store and the headend.
        c.f.ui.clear();
        const QString next = c.path(QStringLiteral("next"));
        QVERIFY(QDir().mkpath(next));
        QVERIFY(save_settings_file(c.f.ui, next + "/next.kdr", c.unit));
        QCOMPARE(load_settings_file(c.f.ui, next + "/next.kdr", c.unit), SettingsFormat::Current);
        QVERIFY(datenbank_anlegen(next));
        HeadendDirectory directory;
        QVERIFY(directory.open(next));
        QCOMPARE(directory.appendEmpty(), 0);
        QSettings ini(next + "/station.ini", QSettings::IniFormat);
        SettingsStore store(ini);
        ShellState state;
        QVERIFY(switchConnectionMode(state, store, ConnectionMode::Lan));
        if (!c.f.session.lan.isConnected())
            QVERIFY(c.f.sim.connect(c.f.session));
        ParamValue serial;
        QVERIFY(read_parameter(c.f.exchange(), 0, 0x7A, 0, serial));
        QCOMPARE(serial.toInt(), 123456);
        QCOMPARE(c.f.ui.texts(), QStringList());
    }

    void fifoIsNoSettingsFile()
    {
        // Its writer hands over a good image, so a loader that opened it and waited would take
        // it in.
        Case c;
        const QString path = c.path(QStringLiteral("pipe.kdr"));
        QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QProcess writer;
        writer.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("cat >\"$0\""), path});
        QVERIFY(writer.waitForStarted());
        writer.write(imageWith(0, [](ChannelRecord &r) { r.qam = 1; }));
        QVERIFY(writer.waitForBytesWritten());
        writer.closeWriteChannel();
        const Outcome outcome = load(c, path);
        writer.kill();
        writer.waitForFinished();
        QVERIFY(!outcome.succeeded);
        QCOMPARE(outcome.shown,
                 QStringLiteral("Load Settings: The settings file %1 can't be read:\rit "
                                "is not a regular file.\rNothing was sent to the "
                                "headend.")
                     .arg(path));
        QCOMPARE(c.unit.channel(0), ChannelRecord{});
    }
};

QTEST_GUILESS_MAIN(TestFileFaults)
#include "tst_filefaults.moc"
