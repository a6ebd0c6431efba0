#include "core/features/directory/directoryfile.h"
#include "core/features/directory/headenddirectory.h"
#include "core/features/shell/programfolder.h"
#include "core/features/shell/shellstate.h"
#include "core/model/settingsfile.h"

#include "datarows.h"
#include "files.h"
#include "rawdirectory.h"
#include "recordingui.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

namespace {

// Keeps the order of the writes, which the INI file itself doesn't show.
class RecordingStore : public SettingsStore {
public:
    using SettingsStore::SettingsStore;
    void setText(const QString &key, const QString &value) override
    {
        written.append(key + '=' + value);
        SettingsStore::setText(key, value);
    }
    QStringList written;
};

ChannelRecord sampleRecord(int seed)
{
    // clang-format off
    ChannelRecord r{4, static_cast<qint16>(10744 + seed), 9750, 27500, 346.0f + static_cast<float>(seed), 1, 5, 6900, 1, 12, 2, 1, 1, 3, 128};
    // clang-format on
    r.reserved[0] = 0xAB;
    r.reserved[25] = 0xCD;
    r.serviceIds = {1000, -2};
    r.serviceIds[99] = 0x1234;
    return r;
}

// sampleRecord(0) as the file holds it: little-endian, packed, 248 bytes.
const QByteArray goldenRecord =
    QByteArray::fromHex("04F82916266C6B0000AD430105F41A010C0201010380AB") + QByteArray(24, '\0') +
    QByteArray::fromHex("CDE803FEFF") + QByteArray(194, '\0') + QByteArray::fromHex("3412");

// Every row but "empty" holds the proxy's address before its own lines.
const QByteArray storedProxy = "[Settings]\nProxy-IP=192.168.0.9\nProxy-Port=3128\n";
constexpr auto lan = ConnectionMode::Lan, usb = ConnectionMode::Usb;
// clang-format off
struct StoredRow { const char *name; QByteArray ini; ConnectionMode mode; int proxyUse; } const storedRows[]{
    {"empty", "", usb, 0}, {"LAN True", "LAN-Control=True\nUSB-Control=False", lan, 0},
    {"lower case", "LAN-Control=true\nUSB-Control=fALSE", lan, 0}, {"LAN 1", "LAN-Control=1\nUSB-Control=0", lan, 0},
    {"LAN 0", "LAN-Control=0", usb, 0}, {"both", "LAN-Control=True\nUSB-Control=True", usb, 0},
    {"nonsense", "LAN-Control=maybe\nUSB-Control=maybe", usb, 0}, {"list", "LAN-Control=1,1", usb, 0},
    {"use 1", "Proxy-Use=1", usb, 1}, {"banana", "Proxy-Use=banana", usb, 0}, {"binary junk", "\x01\xff[=\n=\x80", usb, 0}};
// clang-format on

HeadendEntry headend(int n)
{
    const QString number = QString::number(n);
    return {"Head " + number, "Rack " + number, "10.0.0." + number, "80" + number};
}

} // namespace

// What the program keeps on disk: its folder, the INI file, the headend directory, settings files.
class TestShell : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_folder = m_dir->path();
        m_ini = m_dir->filePath("keldor.ini");
        QVERIFY(createDirectoryFile(m_folder));
        QVERIFY(m_directory.open(m_folder));
    }
    void cleanup() { m_directory.close(); }

    void overrideBeatsEnvironmentBeatsExecutableFolder()
    {
        // The build folder is writable, so a portable copy keeps its files beside itself.
        QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());
        qputenv("KELDOR_PROGRAM_DIR", "/tmp/keldor-env/");
        setProgramFolderOverride("/tmp/keldor-override");
        QCOMPARE(programFile("headend.mdb"), "/tmp/keldor-override/headend.mdb");
        setProgramFolderOverride({});
        QCOMPARE(programFile("sat.ico"), "/tmp/keldor-env/sat.ico");
        qunsetenv("KELDOR_PROGRAM_DIR");
        // An installed copy's bin/ is writable for root, yet its files go to the user's folder.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_folder + "/data"));
        QVERIFY(QDir(m_folder).mkpath("share/keldor-station") && QDir(m_folder).mkpath("bin"));
        QCOMPARE(programFolderBeside(m_folder + "/bin"),
                 QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        qunsetenv("XDG_DATA_HOME");
    }

    void storedValuesAreRead_data() { addRows(storedRows); }
    void storedValuesAreRead()
    {
        const StoredRow &r = fetchRow(storedRows);
        const QByteArray ini = r.ini.isEmpty() ? QByteArray() : storedProxy + r.ini;
        QVERIFY(writeFile(m_ini, ini + '\n'));
        ShellState state;
        state.proxyUse = 1;
        state.proxyIp = "10.1.1.1";
        QSettings settings(m_ini, QSettings::IniFormat);
        loadSettings(state, SettingsStore(settings));
        QCOMPARE(state.connectionMode, r.mode);
        QCOMPARE(state.proxyUse, r.proxyUse);
        QCOMPARE(state.proxyIp, ini.isEmpty() ? "" : "192.168.0.9");
        QCOMPARE(state.proxyPort, ini.isEmpty() ? "" : "3128");
        QCOMPARE(state.activeHeadendName, "non");
    }

    void settingsAreStoredInOrder()
    {
        ShellState state;
        state.proxyIp = "10.0.0.1";
        state.proxyPort = "8080";
        {
            QSettings settings(m_ini, QSettings::IniFormat);
            RecordingStore store(settings);
            QVERIFY(switchConnectionMode(state, store, ConnectionMode::Usb));
            QVERIFY(switchConnectionMode(state, store, ConnectionMode::Lan));
            // Unchecked keeps whatever address the disabled boxes show.
            QVERIFY(saveProxySettings(state, store));
            QCOMPARE(store.written,
                     QStringList({"USB-Control=True", "LAN-Control=False", "LAN-Control=True",
                                  "USB-Control=False", "Proxy-Use=0", "Proxy-IP=10.0.0.1",
                                  "Proxy-Port=8080"}));
            state.proxyUse = 1;
            QVERIFY(saveProxySettings(state, store));
        }
        QCOMPARE(readFile(m_ini), "[Settings]\nLAN-Control=True\nProxy-IP=10.0.0.1\nProxy-Port="
                                  "8080\nProxy-Use=1\nUSB-Control=False\n");
    }

    void currentFileRoundTrips()
    {
        UnitData unit;
        for (int ch = 0; ch < channelCount; ++ch)
            unit.channels[ch] = sampleRecord(ch);
        const QString path = m_dir->filePath("full.kdr");
        QVERIFY(saveSettingsFile(m_ui, path, unit));
        const QByteArray file = readFile(path);
        QCOMPARE(file.size(), 3968);
        QCOMPARE(file.left(248), goldenRecord);
        QCOMPARE(unit.settingsFileName, path);
        UnitData loaded;
        QCOMPARE(loadSettingsFile(m_ui, path, loaded), SettingsFormat::Current);
        QVERIFY(loaded.channels == unit.channels);

        // A fresh table is a file of zeros that loads back over anything.
        UnitData fresh;
        QVERIFY(saveSettingsFile(m_ui, path, fresh));
        QCOMPARE(readFile(path), QByteArray(3968, '\0'));
        QCOMPARE(loadSettingsFile(m_ui, path, loaded), SettingsFormat::Current);
        QVERIFY(loaded.channels == fresh.channels);
        QVERIFY(m_ui.messages.isEmpty());
    }

    void oldFileFillsTwelveChannelsWithoutServices()
    {
        QByteArray image;
        for (int ch = 0; ch < 12; ++ch)
            image.append(encodeSettingsRecord(sampleRecord(ch)).left(20));
        const QString path = m_dir->filePath("old.kdr");
        QVERIFY(writeFile(path, image));

        ChannelRecord stale;
        stale.inFrequency = 11111;
        stale.serviceCount = 7;
        stale.serviceMode = 1;
        UnitData unit;
        unit.channels.fill(stale);
        QCOMPARE(loadSettingsFile(m_ui, path, unit), SettingsFormat::Old);
        for (int ch = 0; ch < channelCount; ++ch) {
            ChannelRecord expected = ch < 12 ? sampleRecord(ch) : stale;
            expected.reserved = {};
            expected.serviceIds = {};
            expected.serviceCount = expected.serviceMode = 0;
            QCOMPARE(unit.channels[ch], expected);
        }
        QVERIFY(m_ui.messages.isEmpty());
    }

    void fileNames()
    {
        // clang-format off
        const std::array<QString, 3> rows[]{{"abc", "abc.kdr", "abc.rtf"}, {"abc.KDR", "abc.KDR.kdr", "abc.KDR.rtf"},
                                            {"/x/rack.kdr", "/x/rack.kdr", "/x/rack.rtf"}, {"rack.txt", "rack.txt.kdr", "rack.txt.rtf"}};
        // clang-format on
        for (const auto &[chosen, settings, report] : rows) {
            QCOMPARE(settingsFileName(chosen), settings);
            QCOMPARE(reportFileName(settingsFileName(chosen)), report);
        }
    }

    void creationNeverReplacesADirectory()
    {
        const QString path = directoryPath(m_folder);
        QVERIFY(directoryFileExists(path) && !directoryFileExists(m_folder));
        QStringList columns;
        QVERIFY(onRawDatabase(path, [&columns](QSqlDatabase &db) {
            QSqlQuery query("SELECT name || ' ' || type FROM pragma_table_info('KELDOR_Headend')",
                            db);
            while (query.next())
                columns.append(query.value(0).toString());
            return true;
        }));
        QCOMPARE(columns, QStringList({"Name VARCHAR(100)", "Location VARCHAR(100)",
                                       "IP-Adress VARCHAR(50)", "Port VARCHAR(5)"}));
        QVERIFY(m_directory.update(m_directory.appendEmpty(), headend(1)));
        QVERIFY(!createDirectoryFile(m_folder));
        QCOMPARE(directoryRows(m_folder), QList{headend(1)});

        HeadendDirectory gone;
        QVERIFY(!gone.open(m_folder + "/gone"));
        QVERIFY(gone.lastError().endsWith("/gone/headend.mdb\" does not exist."));
        QCOMPARE(gone.appendEmpty(), -1);
        QCOMPARE(gone.lastError(), "The headend directory is not open.");
    }

    void editing()
    {
        // Add New and Save without typing leaves an empty row; it can be deleted as the only one.
        QCOMPARE(m_directory.appendEmpty(), 0);
        QCOMPARE(directoryRows(m_folder), QList{HeadendEntry{}});
        QVERIFY(m_directory.remove(0));
        QCOMPARE(directoryRows(m_folder), QList<HeadendEntry>{});

        // Duplicates are rows of their own; deleting the third of five keeps the order.
        for (int n : {1, 2, 3, 2, 5})
            QVERIFY(m_directory.update(m_directory.appendEmpty(), headend(n)));
        QVERIFY(m_directory.remove(2));
        const QList expected{headend(1), headend(2), headend(2), headend(5)};
        QVERIFY(!m_directory.remove(4));
        QCOMPARE(m_directory.lastError(), "There is no headend number 5 in the directory.");
        QVERIFY(!m_directory.update(-1, headend(1)));
        QCOMPARE(directoryRows(m_folder), expected);

        const HeadendEntry sqlish{R"(x'); DROP TABLE "KELDOR_Headend";--)", "O'Brien; \"A\"",
                                  "?1 :name %s", "'--;"};
        QVERIFY2(m_directory.update(1, sqlish), qPrintable(m_directory.lastError()));
        QCOMPARE(directoryRows(m_folder).value(1), sqlish);
    }

    void overLongValuesAreRefused()
    {
        QVERIFY(m_directory.update(m_directory.appendEmpty(), headend(1)));
        const std::array<QString HeadendEntry::*, 4> fields{
            &HeadendEntry::name, &HeadendEntry::location, &HeadendEntry::ip, &HeadendEntry::port};
        const std::array limits{100, 100, 50, 5};
        const QStringList errors{
            "Name is longer than 100 characters.", "Location is longer than 100 characters.",
            "IP-Adress is longer than 50 characters.", "Port is longer than 5 characters."};
        for (size_t i = 0; i < fields.size(); ++i) {
            // Characters, not UTF-16 units: a symbol outside the basic plane counts once.
            HeadendEntry fits = headend(2);
            fits.*fields[i] = QString(limits[i] - 1, 'x') + QString::fromUcs4(U"\U0001F4E1");
            QVERIFY(m_directory.update(0, fits));
            HeadendEntry tooLong = headend(3);
            tooLong.*fields[i] = fits.*fields[i] + "x";
            QVERIFY(!m_directory.update(0, tooLong));
            QCOMPARE(m_directory.lastError(), errors.at(int(i)));
            QCOMPARE(directoryRows(m_folder), QList{fits});
        }
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
    QString m_ini;
    HeadendDirectory m_directory;
    RecordingUi m_ui;
};

QTEST_GUILESS_MAIN(TestShell)
#include "tst_shell.moc"
