#include "shell/shellstate.h"

#include <QFile>
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

class TestShellSettings : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_iniPath = m_dir->filePath("keldor.ini");
    }

    void emptyStoreStartsInUsbWithoutProxy()
    {
        ShellState state;
        state.proxy_use = 1;
        state.proxy_ip = "10.1.1.1";
        QSettings settings(m_iniPath, QSettings::IniFormat);
        loadSettings(state, SettingsStore(settings));
        QCOMPARE(state.connection_mode, ConnectionMode::Usb);
        QCOMPARE(state.proxy_use, 0);
        QCOMPARE(state.proxy_ip, QString());
        QCOMPARE(state.proxy_port, QString());
        QCOMPARE(state.active_headend_name, "non");
    }

    void storedValuesAreRead_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<ConnectionMode>("mode");
        QTest::addColumn<int>("proxyUse");
        const auto lan = ConnectionMode::Lan;
        const auto usb = ConnectionMode::Usb;
        QTest::newRow("LAN True") << QByteArray("LAN-Control=True\nUSB-Control=False") << lan << 0;
        QTest::newRow("lower case")
            << QByteArray("LAN-Control=true\nUSB-Control=fALSE") << lan << 0;
        QTest::newRow("LAN 1") << QByteArray("LAN-Control=1\nUSB-Control=0") << lan << 0;
        QTest::newRow("LAN 0") << QByteArray("LAN-Control=0") << usb << 0;
        QTest::newRow("both") << QByteArray("LAN-Control=True\nUSB-Control=True") << usb << 0;
        QTest::newRow("nonsense") << QByteArray("LAN-Control=maybe\nUSB-Control=maybe") << usb << 0;
        QTest::newRow("list") << QByteArray("LAN-Control=1,1") << usb << 0;
        QTest::newRow("use 1") << QByteArray("Proxy-Use=1") << usb << 1;
        QTest::newRow("banana") << QByteArray("Proxy-Use=banana") << usb << 0;
        QTest::newRow("binary junk") << QByteArray("\x01\xff[=\n=\x80") << usb << 0;
    }

    void storedValuesAreRead()
    {
        QFETCH(QByteArray, ini);
        QFETCH(ConnectionMode, mode);
        QFETCH(int, proxyUse);
        QFile file(m_iniPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Settings]\nProxy-IP=192.168.0.9\nProxy-Port=3128\n" + ini + '\n');
        file.close();

        ShellState state;
        QSettings settings(m_iniPath, QSettings::IniFormat);
        loadSettings(state, SettingsStore(settings));
        QCOMPARE(state.connection_mode, mode);
        QCOMPARE(state.proxy_use, proxyUse);
        QCOMPARE(state.proxy_ip, "192.168.0.9");
        QCOMPARE(state.proxy_port, "3128");
    }

    void switchesStoreBothKeysSwitchedFirst()
    {
        ShellState state;
        {
            QSettings settings(m_iniPath, QSettings::IniFormat);
            RecordingStore store(settings);
            QVERIFY(switchConnectionMode(state, store, ConnectionMode::Lan));
            QCOMPARE(state.connection_mode, ConnectionMode::Lan);
            QCOMPARE(store.written, QStringList({"LAN-Control=True", "USB-Control=False"}));
            QCOMPARE(iniContent(), "[Settings]\nLAN-Control=True\nUSB-Control=False\n");

            store.written.clear();
            QVERIFY(switchConnectionMode(state, store, ConnectionMode::Usb));
            QCOMPARE(store.written, QStringList({"USB-Control=True", "LAN-Control=False"}));
            QVERIFY(switchConnectionMode(state, store, ConnectionMode::Lan));
        }
        ShellState next;
        QSettings settings(m_iniPath, QSettings::IniFormat);
        loadSettings(next, SettingsStore(settings));
        QCOMPARE(next.connection_mode, ConnectionMode::Lan);
    }

    void proxyIsStoredInOrder()
    {
        ShellState state;
        state.proxy_ip = "10.0.0.1";
        state.proxy_port = "8080";
        QSettings settings(m_iniPath, QSettings::IniFormat);
        RecordingStore store(settings);
        // Unchecked keeps whatever address the disabled boxes show.
        QVERIFY(saveProxySettings(state, store));
        QCOMPARE(store.written,
                 QStringList({"Proxy-Use=0", "Proxy-IP=10.0.0.1", "Proxy-Port=8080"}));
        state.proxy_use = 1;
        QVERIFY(saveProxySettings(state, store));
        QCOMPARE(iniContent(), "[Settings]\nProxy-IP=10.0.0.1\nProxy-Port=8080\nProxy-Use=1\n");
    }

private:
    QByteArray iniContent() const
    {
        QFile file(m_iniPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_iniPath;
};

QTEST_GUILESS_MAIN(TestShellSettings)
#include "tst_shell_settings.moc"
