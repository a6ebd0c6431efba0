#include "shell/programfolder.h"
#include "shell/shellstate.h"

#include "files.h"

#include <QCoreApplication>
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

} // namespace

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void init() { m_ini = m_dir.filePath("keldor.ini"); }
    void cleanup() { QFile::remove(m_ini); }

    void overrideBeatsEnvironmentBeatsExecutableFolder()
    {
        // The build folder is writable, so a portable copy keeps its files beside itself.
        QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());
        qputenv("KELDOR_PROGRAM_DIR", "/tmp/keldor-env/");
        QCOMPARE(programFolder(), "/tmp/keldor-env");
        setProgramFolderOverride("/tmp/keldor-override");
        QCOMPARE(programFile("headend.mdb"), "/tmp/keldor-override/headend.mdb");
        setProgramFolderOverride({});
        QCOMPARE(programFile("sat.ico"), "/tmp/keldor-env/sat.ico");
        qunsetenv("KELDOR_PROGRAM_DIR");
    }

    void storedValuesAreRead_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<ConnectionMode>("mode");
        QTest::addColumn<int>("proxyUse");
        const auto lan = ConnectionMode::Lan;
        const auto usb = ConnectionMode::Usb;
        const QByteArray proxy = "[Settings]\nProxy-IP=192.168.0.9\nProxy-Port=3128\n";
        // clang-format off
        QTest::newRow("empty") << QByteArray() << usb << 0;
        QTest::newRow("LAN True") << proxy + "LAN-Control=True\nUSB-Control=False" << lan << 0;
        QTest::newRow("lower case") << proxy + "LAN-Control=true\nUSB-Control=fALSE" << lan << 0;
        QTest::newRow("LAN 1") << proxy + "LAN-Control=1\nUSB-Control=0" << lan << 0;
        QTest::newRow("LAN 0") << proxy + "LAN-Control=0" << usb << 0;
        QTest::newRow("both") << proxy + "LAN-Control=True\nUSB-Control=True" << usb << 0;
        QTest::newRow("nonsense") << proxy + "LAN-Control=maybe\nUSB-Control=maybe" << usb << 0;
        QTest::newRow("list") << proxy + "LAN-Control=1,1" << usb << 0;
        QTest::newRow("use 1") << proxy + "Proxy-Use=1" << usb << 1;
        QTest::newRow("banana") << proxy + "Proxy-Use=banana" << usb << 0;
        QTest::newRow("binary junk") << proxy + "\x01\xff[=\n=\x80" << usb << 0;
        // clang-format on
    }

    void storedValuesAreRead()
    {
        QFETCH(QByteArray, ini);
        QFETCH(ConnectionMode, mode);
        QFETCH(int, proxyUse);
        QVERIFY(writeFile(m_ini, ini + '\n'));
        ShellState state;
        state.proxy_use = 1;
        state.proxy_ip = "10.1.1.1";
        QSettings settings(m_ini, QSettings::IniFormat);
        loadSettings(state, SettingsStore(settings));
        QCOMPARE(state.connection_mode, mode);
        QCOMPARE(state.proxy_use, proxyUse);
        QCOMPARE(state.proxy_ip, ini.isEmpty() ? "" : "192.168.0.9");
        QCOMPARE(state.proxy_port, ini.isEmpty() ? "" : "3128");
        QCOMPARE(state.active_headend_name, "non");
    }

    void settingsAreStoredInOrder()
    {
        ShellState state;
        state.proxy_ip = "10.0.0.1";
        state.proxy_port = "8080";
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
            state.proxy_use = 1;
            QVERIFY(saveProxySettings(state, store));
        }
        QCOMPARE(readFile(m_ini), "[Settings]\nLAN-Control=True\nProxy-IP=10.0.0.1\nProxy-Port="
                                  "8080\nProxy-Use=1\nUSB-Control=False\n");
        ShellState next;
        QSettings settings(m_ini, QSettings::IniFormat);
        loadSettings(next, SettingsStore(settings));
        QCOMPARE(next.connection_mode, ConnectionMode::Lan);
        QCOMPARE(next.proxy_use, 1);
    }

private:
    QTemporaryDir m_dir;
    QString m_ini;
};

QTEST_GUILESS_MAIN(TestShell)
#include "tst_shell.moc"
